// Opening the wave file: only a regular file, and never a wait on a fifo or
// a device that took its name.
#pragma once
#include <cstdint>
#include <cstdio>

enum OpenFailure {
    OPEN_MISSING,     // it can't be opened
    OPEN_NOT_REGULAR, // a directory, fifo, device or socket
};

// Opens path for binary reading. The open doesn't block (O_NONBLOCK), and
// what it opened is checked on the descriptor itself, so a file swapped for
// a fifo after any earlier check is refused rather than waited on. Returns
// nullptr, with the reason in *failure, when it can't.
std::FILE *open_regular_file(const char *path, OpenFailure *failure);

// What tells one version of a file from another: which file the name is,
// its size and the time it was last written.
struct FileStamp {
    uint64_t device;
    uint64_t inode;
    int64_t size;
    int64_t writtenNs;
};

// The stamp of the file path names now; all zero where there is none.
FileStamp file_stamp(const char *path);

bool same_stamp(const FileStamp &a, const FileStamp &b);
