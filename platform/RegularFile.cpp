#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

FILE* openRegularFile(const char* path, const char* mode, bool* refused) {
    if (refused) *refused = false;
    if (!path) path = "";
    // O_NONBLOCK: opening a FIFO for reading then returns at once instead of
    // waiting for a writer. The type is taken from the opened descriptor, so
    // a file swapped between a check and the open cannot slip through.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        fflush(stdout);  // the line stands after the console lines before it
        fprintf(stderr, "Not a regular file, refused: %s\n", path);
        if (refused) *refused = true;
        errno = EINVAL;
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* file = fdopen(fd, mode);
    if (!file) {
        const int saved = errno;
        close(fd);
        errno = saved;
    }
    return file;
}

SmallFile readSmallFile(const char* path, size_t maxBytes, std::string& text) {
    text.clear();
    bool refused = false;
    FILE* file = openRegularFile(path, "rb", &refused);
    if (!file) return refused ? SmallFile::Refused : SmallFile::Missing;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() <= maxBytes) text.append(buffer, n);
    const int saved = errno;
    std::fclose(file);
    errno = saved;
    if (text.size() > maxBytes) {
        text.clear();
        return SmallFile::TooBig;
    }
    return SmallFile::Read;
}
