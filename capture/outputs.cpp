// Output files under temporary names, committed by rename; streams written straight into.
#include "outputs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "report.h"
#include "stop.h"

output outs[max_outputs];

namespace {
int nouts;  // outputs created so far

constexpr int max_links = 40;  // links followed in a row before giving up, as the kernel does

// Creates and opens (close-on-exec) a file named from the template (ending in XXXXXX) with the
// given mode rather than mkstemp's private one; -1 with errno on failure.
int temp_file(char* tmpl, mode_t mode)
{
    int fd = mkostemp(tmpl, O_CLOEXEC);
    if (fd >= 0)
        fchmod(fd, mode);
    return fd;
}

mode_t new_file_mode()
{
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The absolute name, without links, of the file path names, whether it exists or not: a link at
// the end is followed to what it names, the longest part that exists is resolved, and the rest is
// kept as spelt. False when no name results (too long, a loop of links).
bool resolve(const char* path, char* out)
{
    char cur[PATH_MAX], to[PATH_MAX], dir[PATH_MAX];
    if (std::snprintf(cur, sizeof cur, "%s", path) >= static_cast<int>(sizeof cur))
        return false;
    struct stat st;
    for (int hop = 0; lstat(cur, &st) == 0 && S_ISLNK(st.st_mode); hop++) {
        ssize_t n = readlink(cur, to, sizeof to - 1);
        if (n < 0 || hop == max_links)
            return false;
        to[n] = 0;
        split_path(cur, dir, sizeof dir);
        char next[PATH_MAX];
        if (std::snprintf(next, sizeof next, "%s%s%s", to[0] == '/' ? "" : dir, to[0] == '/' ? "" : "/", to) >=
            static_cast<int>(sizeof next))
            return false;
        std::memcpy(cur, next, sizeof cur);
    }
    // cur[0, cut) is the longest leading part that exists.
    size_t cut = std::strlen(cur);
    for (;;) {
        char head[PATH_MAX];
        std::snprintf(head, sizeof head, "%.*s", static_cast<int>(cut), cur);
        if (realpath(cut ? head : ".", out))
            break;
        if (cut == 0)
            return false;
        size_t k = cut;
        while (k > 0 && cur[k - 1] != '/')
            k--;
        while (k > 0 && cur[k - 1] == '/')
            k--;
        if (k == 0 && cur[0] == '/')
            k = 1;
        if (k >= cut)
            return false;
        cut = k;
    }
    size_t len = std::strlen(out);
    for (const char* p = cur + cut; *p;) {
        while (*p == '/')
            p++;
        size_t n = std::strcspn(p, "/");
        if (n == 2 && p[0] == '.' && p[1] == '.') {
            while (len > 1 && out[len - 1] != '/')
                len--;
            if (len > 1)
                len--;
        } else if (n && !(n == 1 && p[0] == '.')) {
            if (len + 1 + n >= PATH_MAX)
                return false;
            if (len > 1)
                out[len++] = '/';
            std::memcpy(out + len, p, n);
            len += n;
        }
        out[len] = 0;
        p += n;
    }
    out[len] = 0;
    return true;
}

// An output written straight into, through fd.
int direct(output& o, const char* path, int fd, int* index)
{
    std::snprintf(o.path, sizeof o.path, "%s", path);
    o.tmp[0] = 0;
    o.direct = true;
    *index = nouts++;
    return fd;
}
}

const char* split_path(const char* path, char* dir, size_t len)
{
    const char* slash = std::strrchr(path, '/');
    if (!slash) {
        std::snprintf(dir, len, ".");
        return path;
    }
    std::snprintf(dir, len, "%.*s", static_cast<int>(slash == path ? 1 : slash - path), path);
    return slash + 1;
}

bool same_file(const char* a, const char* b)
{
    struct stat sa, sb;
    if (stat(a, &sa) == 0 && stat(b, &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    char ra[PATH_MAX], rb[PATH_MAX];
    if (resolve(a, ra) && resolve(b, rb))
        return std::strcmp(ra, rb) == 0;
    char da[PATH_MAX], db[PATH_MAX];
    const char* na = split_path(a, da, sizeof da);
    const char* nb = split_path(b, db, sizeof db);
    return std::strcmp(na, nb) == 0 && std::strcmp(da, db) == 0;
}

bool is_stream(const char* path)
{
    struct stat st;
    return !std::strcmp(path, "-") || (stat(path, &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)));
}

bool inside(const char* dir, const char* path)
{
    char rd[PATH_MAX], rp[PATH_MAX];
    if (!resolve(dir, rd) || !resolve(path, rp))
        return false;
    size_t n = std::strlen(rd);
    return !std::strncmp(rd, rp, n) && (rp[n] == '/' || (n == 1 && rp[1]));
}

int out_create(const char* path, const char* near, int* index)
{
    const char* named = path ? path : near;
    if (nouts == max_outputs)
        return fail("%s: too many output files", named), -1;
    output& o = outs[nouts];
    o.direct = false;
    if (path && !std::strcmp(path, "-")) {
        if (isatty(STDOUT_FILENO))
            return fail("standard output is a terminal: pipe it into a player, or name a file"), -1;
        int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return fail("cannot write standard output: %s", std::strerror(errno)), -1;
        return direct(o, path, fd, index);
    }
    struct stat st;
    bool exists = path && stat(path, &st) == 0;
    if (exists && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
        // Not replaced but written into; a FIFO waits here for its reader.
        int fd = open(path, O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return fail("cannot write %s: %s", path, std::strerror(errno)), -1;
        return direct(o, path, fd, index);
    }
    if (exists && S_ISDIR(st.st_mode))
        return fail("cannot write %s: %s", path, std::strerror(EISDIR)), -1;
    if (exists && !S_ISREG(st.st_mode))
        return fail("cannot write %s: it is no file, character device or FIFO", path), -1;
    if (exists && !(st.st_mode & S_IWUSR))
        return fail("%s is read-only: make it writable (chmod u+w) or name another file", path), -1;
    // A link stays a link: the file it names is the one replaced, from a hidden file in its folder.
    char file[PATH_MAX];
    if (!resolve(named, file))
        std::snprintf(file, sizeof file, "%s", named);
    char dir[PATH_MAX];
    const char* base = split_path(file, dir, sizeof dir);
    if (!*base)
        return fail("cannot write %s: no file name", named), -1;
    int n = std::snprintf(o.tmp, sizeof o.tmp, "%s/.%s%s.XXXXXX", dir, base, path ? "" : ".music");
    if (n < 0 || static_cast<size_t>(n) >= sizeof o.tmp)
        return fail("cannot write %s: %s", named, std::strerror(ENAMETOOLONG)), -1;
    // A file replaced keeps its permissions: a private one stays private.
    int fd = temp_file(o.tmp, exists ? st.st_mode & 07777 : new_file_mode());
    if (fd < 0 && (errno == EACCES || errno == EPERM))
        return fail("cannot write %s: no permission to create files in %s, where it is written before taking "
                    "its place", named, dir), -1;
    if (fd < 0)
        return fail("cannot write %s: %s", named, std::strerror(errno)), -1;
    std::snprintf(o.path, sizeof o.path, "%s", path ? file : "");
    *index = nouts++;
    return fd;
}

bool out_commit()
{
    for (int i = 0; i < nouts; i++) {
        output& o = outs[i];
        if (o.direct)
            continue;  // already where it goes
        // After a failed rename the rest are removed; those already renamed are complete.
        if (!o.path[0] || failed) {
            unlink(o.tmp);
        } else if (rename(o.tmp, o.path) != 0) {
            fail("cannot write %s: %s", o.path, std::strerror(errno));
            unlink(o.tmp);
        }
        o.tmp[0] = 0;
    }
    nouts = 0;
    return !failed;
}

void out_discard()
{
    for (int i = 0; i < nouts; i++)
        if (outs[i].tmp[0] && !outs[i].direct)
            unlink(outs[i].tmp);
    nouts = 0;
}

bool write_all(int fd, const void* buf, size_t len)
{
    const char* p = static_cast<const char*>(buf);
    while (len > 0) {
        if (stop_signal) {
            errno = EINTR;
            return false;
        }
        ssize_t n = write(fd, p, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}
