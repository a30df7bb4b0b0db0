/* A small program to pack and run: prints its process id, its arguments and one environment
   variable, then ends with the status its first argument names. */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
    printf("pid %d\n", (int)getpid());
    for (int i = 1; i < argc; i++) printf("arg %s\n", argv[i]);
    const char* env = getenv("VINTELO_PROBE");
    printf("env %s\n", env ? env : "(none)");
    return argc > 1 ? atoi(argv[1]) : 0;
}
