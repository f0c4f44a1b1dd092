#pragma once
#include <string>
#include <string_view>
#include <sys/types.h>

// Replaces the file at path by content so that a crash or a failing disk at
// any moment leaves either the old file or the new one, whole: the text goes
// to path + ".tmp", is flushed to the disk, and is then renamed over path
// (and the directory entry flushed). On failure the old file is untouched,
// the temporary file is removed, error says what went wrong and errno holds
// the cause.
bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error);

// Writes every byte to fd, going on after short writes and interruptions.
// False when write(2) fails.
bool writeAll(int fd, const void* data, size_t size);

// The write(2) writeFileAtomically uses; tests put in one that fails half-way.
using AtomicWriteCall = ssize_t (*)(int fd, const void* data, size_t size);
void setAtomicWriteCall(AtomicWriteCall call);  // null: write(2)
