/* Runs a program with one system call refused (EPERM), as a hardened kernel might: no root
   needed, only no_new_privs and a seccomp filter that the program inherits.
   refuse memfd_create|execveat|write PROGRAM [ARGS...]; for write, standard error stays open. */
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

int main(int argc, char** argv) {
    long nr = argc < 3 ? -1
            : strcmp(argv[1], "memfd_create") == 0 ? SYS_memfd_create
            : strcmp(argv[1], "execveat") == 0 ? SYS_execveat
            : strcmp(argv[1], "write") == 0 ? SYS_write : -1;
    if (nr < 0) {
        fprintf(stderr, "usage: refuse memfd_create|execveat|write PROGRAM [ARGS...]\n");
        return 2;
    }
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, (unsigned)nr, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        /* the first argument's low half: file descriptor 2 may still be written */
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 2, nr == SYS_write ? 0 : 1, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
    };
    struct sock_fprog prog = {sizeof filter / sizeof filter[0], filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0) {
        perror("refuse: seccomp");
        return 2;
    }
    execv(argv[2], argv + 2);
    perror("refuse: exec");
    return 2;
}
