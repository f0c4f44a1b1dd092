#pragma once

// Standard output goes to /dev/null while one of these lives (what is
// buffered is written out first, and what is written meanwhile is dropped):
// for work that repeats start-up steps whose console lines were printed
// already. Without a standard output to save it changes nothing.
class QuietStdout {
public:
    QuietStdout();
    ~QuietStdout();
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_ = -1;
};
