// PNG stills through libpng, written into a hidden folder beside the one asked for and put in its
// place only once the whole capture has succeeded.
#include "stills.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "outputs.h"
#include "report.h"

namespace {
char target[PATH_MAX];  // the folder asked for, without trailing slashes
char work[PATH_MAX];    // the hidden folder beside it that the stills are written into, or empty
int64_t nstills;        // stills in work
bool replacing;         // target existed when the run began: it is replaced at the end

constexpr int name_digits = 6;  // 000000.png: a whole show at 100 fps has 11601 frames

void name(char* out, size_t len, const char* dir, int64_t n)
{
    if (std::snprintf(out, len, "%s/%06lld.png", dir, static_cast<long long>(n)) >= static_cast<int>(len))
        out[0] = 0;  // cannot happen: stills_open leaves room for the name
}

// A name the capture gives its stills: six digits, then .png.
bool still_name(const char* n)
{
    for (int i = 0; i < name_digits; i++)
        if (n[i] < '0' || n[i] > '9')
            return false;
    return !std::strcmp(n + name_digits, ".png");
}

// The first entry of dir that is no still, into odd ("" when every one is); false with errno
// when dir cannot be read.
bool first_other(const char* dir, char* odd, size_t len)
{
    odd[0] = 0;
    DIR* d = opendir(dir);
    if (!d)
        return false;
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..") && !still_name(e->d_name)) {
            std::snprintf(odd, len, "%s", e->d_name);
            break;
        }
    closedir(d);
    return true;
}

// Removes the stills in dir (those of a capture: numbered names only), then dir itself if that
// leaves it empty. False if anything of it stays.
bool remove_stills(const char* dir)
{
    DIR* d = opendir(dir);
    if (!d)
        return false;
    char path[PATH_MAX + 16];
    while (dirent* e = readdir(d))
        if (still_name(e->d_name)) {
            if (std::snprintf(path, sizeof path, "%s/%s", dir, e->d_name) < static_cast<int>(sizeof path))
                unlink(path);
        }
    closedir(d);
    return rmdir(dir) == 0;
}

// libpng reports errors by longjmp; this keeps its message for ours.
char png_why[256];
void on_error(png_structp png, png_const_charp msg)
{
    std::snprintf(png_why, sizeof png_why, "%s", msg);
    png_longjmp(png, 1);
}

// Encodes the picture into f; false with png_why or errno telling why.
bool encode(FILE* f, const uint8_t* rgba, int w, int h)
{
    png_why[0] = 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows(static_cast<size_t>(h));
    for (int y = 0; y < h; y++)
        rows[y] = const_cast<png_bytep>(rgba + static_cast<size_t>(y) * w * 4);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_compression_level(png, 1);  // fast: stills are for looking at, not for keeping small
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_STRIP_FILLER_AFTER, nullptr);  // alpha is not part of the picture
    png_destroy_write_struct(&png, &info);
    return true;
}
}

bool stills_open(const char* dir)
{
    size_t n = std::strlen(dir);
    while (n > 1 && dir[n - 1] == '/')
        n--;
    if (n >= sizeof target - 32)
        return fail("--frames %s: %s", dir, std::strerror(ENAMETOOLONG));
    std::snprintf(target, sizeof target, "%.*s", static_cast<int>(n), dir);
    char parent[PATH_MAX];
    const char* base = split_path(target, parent, sizeof parent);
    if (!*base || !std::strcmp(base, ".") || !std::strcmp(base, ".."))
        return fail("--frames %s: name the folder itself, not . or .. or /", dir);

    // The stills go into an existing folder only if it holds nothing but an earlier capture's
    // stills, which this run then replaces; anything else there is the user's.
    struct stat st;
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = 0777 & ~mask;
    replacing = stat(target, &st) == 0;
    char real[PATH_MAX];
    if (replacing && lstat(target, &st) == 0 && S_ISLNK(st.st_mode) && realpath(target, real)) {
        // A link to the folder: the stills replace the folder it leads to, and the link stays.
        std::snprintf(target, sizeof target, "%s", real);
        base = split_path(target, parent, sizeof parent);
        stat(target, &st);
    }
    if (replacing) {
        if (!S_ISDIR(st.st_mode))
            return fail("cannot make the stills directory %s: %s", dir, std::strerror(ENOTDIR));
        if (!(st.st_mode & S_IWUSR))
            return fail("--frames %s: the folder is read-only: make it writable (chmod u+w) or name another", dir);
        char odd[NAME_MAX + 1];
        if (!first_other(target, odd, sizeof odd))
            return fail("cannot read the stills directory %s: %s", dir, std::strerror(errno));
        if (odd[0])
            return fail("--frames %s: the folder holds other files than stills (%s); "
                        "name a new or empty folder, or one of an earlier capture's stills", dir, odd);
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return fail("cannot make the stills directory %s: %s", dir, std::strerror(errno));
    }
    if (std::snprintf(work, sizeof work, "%s/.%s.XXXXXX", parent, base) >= static_cast<int>(sizeof work) - 16) {
        work[0] = 0;
        return fail("--frames %s: %s", dir, std::strerror(ENAMETOOLONG));
    }
    if (!mkdtemp(work)) {
        int err = errno;
        work[0] = 0;
        if (err == EACCES || err == EPERM)
            return fail("cannot make the stills directory %s: no permission to create folders in %s, where it "
                        "is made before taking its place", dir, parent);
        return fail("cannot make the stills directory %s: %s", dir, std::strerror(err));
    }
    chmod(work, mode);  // mkdtemp's folder is private; the stills' is an ordinary one
    return true;
}

bool still_write(int64_t n, const uint8_t* rgba, int w, int h)
{
    char path[PATH_MAX + 16], shown[PATH_MAX + 16];
    name(path, sizeof path, work, n);
    name(shown, sizeof shown, target, n);  // the name it will have, for messages
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    FILE* f = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (!f) {
        int err = errno;
        if (fd >= 0) {
            close(fd);
            unlink(path);
        }
        return fail("cannot write %s: %s", shown, std::strerror(err));
    }
    errno = 0;
    bool ok = encode(f, rgba, w, h);
    ok = std::fflush(f) == 0 && ok;
    int err = errno;  // a failed write's reason, which libpng's own message ("Write Error") lacks
    ok = std::fclose(f) == 0 && ok;
    if (!err)
        err = errno;
    if (!ok) {
        unlink(path);
        const char* why = err ? std::strerror(err) : png_why[0] ? png_why : "unknown error";
        return fail("cannot write %s: %s", shown, why);
    }
    nstills = n + 1;
    return true;
}

bool stills_commit()
{
    if (!replacing) {
        if (rename(work, target) != 0)
            return fail("cannot put the stills in %s: %s", target, std::strerror(errno));
        work[0] = 0;
        return true;
    }
    // The new folder and the old trade places in one step; then the old stills go.
    if (renameat2(AT_FDCWD, work, AT_FDCWD, target, RENAME_EXCHANGE) != 0)
        return fail("cannot put the stills in %s: %s", target, std::strerror(errno));
    if (!remove_stills(work))
        note("the earlier stills of %s are left in %s", target, work);
    work[0] = 0;
    return true;
}

void stills_discard()
{
    if (!work[0])
        return;
    char path[PATH_MAX + 16];
    for (int64_t n = 0; n < nstills; n++) {
        name(path, sizeof path, work, n);
        unlink(path);
    }
    nstills = 0;
    rmdir(work);
    work[0] = 0;
}
