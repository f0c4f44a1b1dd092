#pragma once
#include <cstdlib>

#include "platform/Settings.h"

// Sets an environment variable for one scope; the settings are read anew on the way in and out.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) { setenv(name, value, 1); Settings::reloadForTests(); }
    ~ScopedVariable() { unsetenv(name_); Settings::reloadForTests(); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
};
