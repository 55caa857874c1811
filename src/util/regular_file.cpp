#include "util/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE *open_regular_file(const char *path, OpenFailure *failure)
{
    *failure = OPEN_MISSING;
    // Not even opened when it is known to be no regular file: opening a
    // device can have effects of its own.
    struct stat named {};
    if (stat(path, &named) == 0 && !S_ISREG(named.st_mode)) {
        *failure = OPEN_NOT_REGULAR;
        return nullptr;
    }
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        *failure = OPEN_NOT_REGULAR;
        close(fd);
        return nullptr;
    }
    std::FILE *f = fdopen(fd, "rb");
    if (f == nullptr)
        close(fd);
    return f;
}

FileStamp file_stamp(const char *path)
{
    struct stat st {};
    if (stat(path, &st) != 0)
        return FileStamp{0, 0, 0, 0};
    return FileStamp{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                     static_cast<int64_t>(st.st_size),
                     int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
}

bool same_stamp(const FileStamp &a, const FileStamp &b)
{
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.writtenNs == b.writtenNs;
}
