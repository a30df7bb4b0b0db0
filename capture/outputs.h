#pragma once
// Output files written under a temporary name beside their final one and renamed into place
// only once the whole capture has succeeded, so a failure or an interrupt leaves no partial
// file behind. A link is followed: the file it names is replaced, in that file's folder. A
// character device, a FIFO and standard output ("-") cannot be replaced: they are written
// straight into.
#include <climits>
#include <cstddef>

inline constexpr int max_outputs = 3;  // the video, the music handed to the encoder, the WAV asked for

struct output {
    char path[PATH_MAX];  // final name; empty for a scratch file removed at the end
    char tmp[PATH_MAX];   // name while being written; empty when written straight into
    bool direct;          // written straight into (a device, a FIFO, standard output): nothing to rename
};
extern output outs[max_outputs];  // the outputs created so far, in their order of creation

// Creates the temporary file for `path` (a scratch file beside `near` when `path` is null) and
// returns its open descriptor, or -1 after reporting why. The temporary name is outs[i].tmp for
// the returned index i in *index. A device, a FIFO or "-" (standard output) is opened as it is
// (outs[i].direct); an existing file its owner made read-only is refused.
int out_create(const char* path, const char* near, int* index);

// Puts the directory part of path ("." when it has none) into dir; returns the name part.
const char* split_path(const char* path, char* dir, size_t len);

// Whether a and b name the same file: the one file, if both exist (links followed), or the same
// name in the same directory.
bool same_file(const char* a, const char* b);

// Whether path names standard output ("-"), a character device or a FIFO: what cannot be
// replaced, nor read back or gone back over.
bool is_stream(const char* path);

// Whether path lies inside the folder dir, at any depth, however either is spelt (links followed,
// folders not made yet included).
bool inside(const char* dir, const char* path);

// Renames every output to its final name and removes the scratch files. False if a rename fails.
bool out_commit();

// Removes every temporary file; nothing of this run is left.
void out_discard();

// Writes all of buf, retrying short writes. False (errno set) on an error or a stop signal.
bool write_all(int fd, const void* buf, size_t len);
