#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Writes whole files for the frame thread, which must never wait on the disk:
// scene stores and learnt mappings are handed over here and written, in the
// order given, by a thread of its own (each atomically: the old file or the
// new one, whole). Each write ends with one line on standard error: the
// `done` line, or what went wrong.
class FileWriter {
public:
    FileWriter();
    ~FileWriter();  // writes what is still queued first
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Queues text for path; returns its ticket (rising from 1). The frame's
    // side holds the queue's lock only for a push, and the writer only for a
    // swap: no disk work ever happens under it.
    // done: the line after a good write (empty: none); failed: the start of
    // the line after a failed one, before what went wrong.
    uint64_t write(std::string path, std::string text, std::string done, std::string failed);
    // Queues other disk work (reading and rewriting a file), done in order
    // with the writes.
    uint64_t call(std::function<void()> work);
    // The tickets written (or failed) so far: every ticket at or below it.
    uint64_t completed() const { return completed_.load(std::memory_order_acquire); }
    // Waits until everything queued so far is written (tests, shutdown).
    void drain();

private:
    struct Job {
        std::string path, text, done, failed;
        std::function<void()> work;  // instead of a write, when set
        uint64_t ticket = 0;
    };
    void run();

    std::mutex lock_;
    std::condition_variable wake_, drained_;
    std::vector<Job> queue_;
    uint64_t issued_ = 0;
    std::atomic<uint64_t> completed_{0};
    bool stopping_ = false;
    std::thread thread_;
};

// The process's one writer, made on first use.
FileWriter& fileWriter();
