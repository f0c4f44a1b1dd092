#pragma once
#include <filesystem>

// Where the instrument writes files of its own (scenes, recordings): the
// working directory while it is writable, so a stage carries its own files;
// otherwise (an installed, read-only stage) the user's data directory
// $XDG_DATA_HOME/strata, by default ~/.local/share/strata. Callers add their
// own subdirectory and name files relative to the result.

// The directory for the current working directory and environment, created
// on demand. Empty when there is none (no writable working directory and no
// usable home, or it cannot be created): the caller then writes nothing and
// says so on standard error.
std::filesystem::path userFilesDirectory();

// The same decision for a given working directory and given values of
// XDG_DATA_HOME and HOME (either may be null). An XDG_DATA_HOME that is not
// an absolute path is ignored, as the XDG base directory rules ask.
std::filesystem::path userFilesDirectory(const std::filesystem::path& workingDirectory, const char* xdgDataHome,
                                         const char* home);

// Where a file the instrument writes (and reads back), named relative to the
// working directory, really goes: the name itself while the working directory
// is writable, else the same name under the user's data directory. Also the
// name itself when there is no such directory: writing there then fails and
// is reported by the writer.
std::filesystem::path userFilePath(const std::filesystem::path& relative);
std::filesystem::path userFilePath(const std::filesystem::path& relative, const std::filesystem::path& workingDirectory,
                                   const char* xdgDataHome, const char* home);
