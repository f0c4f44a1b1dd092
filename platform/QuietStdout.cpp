#include "platform/QuietStdout.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

QuietStdout::QuietStdout() {
    fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    if (saved_ < 0) return;
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0) {
        close(saved_);
        saved_ = -1;
    }
    if (null >= 0) close(null);
}

QuietStdout::~QuietStdout() {
    fflush(stdout);
    if (saved_ < 0) return;
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
}
