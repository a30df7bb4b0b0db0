// Output files under temporary names, committed by rename.
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

// Creates and opens (close-on-exec) a file named from the template (ending in XXXXXX), with the
// mode an ordinary new file gets rather than mkstemp's private one; -1 with errno on failure.
int temp_file(char* tmpl)
{
    int fd = mkostemp(tmpl, O_CLOEXEC);
    if (fd < 0)
        return -1;
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
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
    char da[PATH_MAX], db[PATH_MAX];
    const char* na = split_path(a, da, sizeof da);
    const char* nb = split_path(b, db, sizeof db);
    if (std::strcmp(na, nb) != 0)
        return false;
    if (stat(da, &sa) == 0 && stat(db, &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return std::strcmp(da, db) == 0;
}

int out_create(const char* path, const char* near, int* index)
{
    const char* named = path ? path : near;
    if (nouts == max_outputs)
        return fail("%s: too many output files", named), -1;
    struct stat st;
    if (path && stat(path, &st) == 0 && S_ISDIR(st.st_mode))
        return fail("cannot write %s: %s", path, std::strerror(EISDIR)), -1;
    char dir[PATH_MAX];
    const char* base = split_path(named, dir, sizeof dir);
    if (!*base)
        return fail("cannot write %s: no file name", named), -1;
    output& o = outs[nouts];
    int n = std::snprintf(o.tmp, sizeof o.tmp, "%s/.%s%s.XXXXXX", dir, base, path ? "" : ".music");
    if (n < 0 || static_cast<size_t>(n) >= sizeof o.tmp)
        return fail("cannot write %s: %s", named, std::strerror(ENAMETOOLONG)), -1;
    int fd = temp_file(o.tmp);
    if (fd < 0)
        return fail("cannot write %s: %s", named, std::strerror(errno)), -1;
    std::snprintf(o.path, sizeof o.path, "%s", path ? path : "");
    *index = nouts++;
    return fd;
}

bool out_commit()
{
    for (int i = 0; i < nouts; i++) {
        output& o = outs[i];
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
        if (outs[i].tmp[0])
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
