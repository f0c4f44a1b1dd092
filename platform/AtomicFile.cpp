#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {
AtomicWriteCall gWrite = nullptr;

ssize_t writeCall(int fd, const void* data, size_t size) {
    return gWrite ? gWrite(fd, data, size) : ::write(fd, data, size);
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
}  // namespace

void setAtomicWriteCall(AtomicWriteCall call) { gWrite = call; }

bool writeAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error) {
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = temporary + ": cannot create it: " + std::strerror(errno);
        return false;
    }
    // On failure the temporary file goes, and errno keeps the cause.
    auto removeTemporary = [&] {
        const int cause = errno;
        ::unlink(temporary.c_str());
        errno = cause;
        return false;
    };
    auto failWith = [&](const char* what) {
        error = temporary + ": " + what + ": " + std::strerror(errno);
        const int cause = errno;
        ::close(fd);
        errno = cause;
        return removeTemporary();
    };
    const char* data = content.data();
    size_t left = content.size();
    while (left > 0) {
        const ssize_t n = writeCall(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failWith("cannot write it");
        }
        if (n == 0) {
            errno = EIO;
            return failWith("cannot write it");
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) return failWith("cannot flush it to the disk");
    if (::close(fd) != 0) {
        error = temporary + ": cannot close it: " + std::strerror(errno);
        return removeTemporary();
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": cannot replace it: " + std::strerror(errno);
        return removeTemporary();
    }
    // The rename itself reaches the disk with the directory.
    const int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
