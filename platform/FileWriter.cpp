#include "platform/FileWriter.h"

#include <cstdio>

#include "platform/AtomicFile.h"

FileWriter::FileWriter() : thread_([this] { run(); }) {}

FileWriter::~FileWriter() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

uint64_t FileWriter::write(std::string path, std::string text, std::string done, std::string failed) {
    uint64_t ticket = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        ticket = ++issued_;
        queue_.push_back({std::move(path), std::move(text), std::move(done), std::move(failed), {}, ticket});
    }
    wake_.notify_one();
    return ticket;
}

uint64_t FileWriter::call(std::function<void()> work) {
    uint64_t ticket = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        ticket = ++issued_;
        queue_.push_back({{}, {}, {}, {}, std::move(work), ticket});
    }
    wake_.notify_one();
    return ticket;
}

void FileWriter::drain() {
    std::unique_lock<std::mutex> guard(lock_);
    const uint64_t last = issued_;
    drained_.wait(guard, [&] { return completed_.load() >= last; });
}

void FileWriter::run() {
    std::vector<Job> jobs;
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;  // stopping with nothing left
            jobs.swap(queue_);
        }
        for (const Job& job : jobs) {
            std::string error;
            if (job.work)
                job.work();
            else if (!writeFileAtomically(job.path, job.text, error))
                std::fprintf(stderr, "%s%s\n", job.failed.c_str(), error.c_str());
            else if (!job.done.empty())
                std::fprintf(stderr, "%s\n", job.done.c_str());
            {
                std::lock_guard<std::mutex> guard(lock_);
                completed_.store(job.ticket, std::memory_order_release);
            }
            drained_.notify_all();
        }
        jobs.clear();
    }
}

FileWriter& fileWriter() {
    static FileWriter writer;
    return writer;
}
