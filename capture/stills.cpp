// PNG stills through libpng: written under a temporary name, then renamed.
#include "stills.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "outputs.h"
#include "report.h"

namespace {
char still_dir[4096];  // the directory given
int64_t nstills;       // stills written by this run
bool made_dir;         // this run created the directory

void name(char* out, size_t len, int64_t n)
{
    std::snprintf(out, len, "%s/%06lld.png", still_dir, static_cast<long long>(n));
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
    if (std::snprintf(still_dir, sizeof still_dir, "%s", dir) >= static_cast<int>(sizeof still_dir) - 16)
        return fail("--frames %s: %s", dir, std::strerror(ENAMETOOLONG));
    if (mkdir(dir, 0777) == 0) {
        made_dir = true;
        return true;
    }
    struct stat st;
    if (errno == EEXIST && stat(dir, &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    int err = errno == EEXIST ? ENOTDIR : errno;  // it exists, but is no directory
    return fail("cannot make the stills directory %s: %s", dir, std::strerror(err));
}

bool still_write(int64_t n, const uint8_t* rgba, int w, int h)
{
    char path[4200], tmp[4300];
    name(path, sizeof path, n);
    std::snprintf(tmp, sizeof tmp, "%s/.%06lld.png.XXXXXX", still_dir, static_cast<long long>(n));
    int fd = temp_file(tmp);
    if (fd < 0)
        return fail("cannot write %s: %s", path, std::strerror(errno));
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        unlink(tmp);
        return fail("cannot write %s: %s", path, std::strerror(errno));
    }
    errno = 0;
    bool ok = encode(f, rgba, w, h);
    ok = std::fflush(f) == 0 && ok;
    int err = errno;  // a failed write's reason, which libpng's own message ("Write Error") lacks
    ok = std::fclose(f) == 0 && ok;
    if (!err)
        err = errno;
    if (ok && rename(tmp, path) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(tmp);
        const char* why = err ? std::strerror(err) : png_why[0] ? png_why : "unknown error";
        return fail("cannot write %s: %s", path, why);
    }
    nstills = n + 1;
    return true;
}

void stills_discard()
{
    char path[4200];
    for (int64_t n = 0; n < nstills; n++) {
        name(path, sizeof path, n);
        unlink(path);
    }
    nstills = 0;
    if (made_dir)
        rmdir(still_dir);  // fails, as it should, if anything else was put there meanwhile
    made_dir = false;
}
