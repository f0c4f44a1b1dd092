#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

// Opens a file for reading only when it is a regular file. Everything the
// instrument reads at start-up (key.db, modules.db, images, models) goes
// through here: a FIFO named like one of them would make a plain fopen wait
// for a writer for ever, and a device or a directory is no file to read
// either. Such a path is refused with one line on standard error naming it,
// and null is returned with *refused set (when given). A path that cannot be
// opened at all returns null with errno from the failed open and *refused
// false, so the caller reports it as it always did.
FILE* openRegularFile(const char* path, const char* mode, bool* refused = nullptr);

// A whole small text file (a map, a scene) read through openRegularFile:
// Read with text filled; Missing when it cannot be opened (errno tells);
// Refused when it is no regular file (its line said so); TooBig when it holds
// more than maxBytes (text is then cleared; nothing said).
enum class SmallFile { Read, Missing, Refused, TooBig };
SmallFile readSmallFile(const char* path, size_t maxBytes, std::string& text);
