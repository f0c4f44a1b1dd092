#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

// A fixed ring of bytes between one writing thread and one reading thread,
// without locks: the writer puts whole records in or nothing, the reader
// takes what is there in at most two spans. Neither side waits or allocates
// after construction.
class ByteRing {
public:
    // capacity: rounded up to a power of two.
    explicit ByteRing(size_t capacity) : capacity_(roundUp(capacity)), bytes_(new uint8_t[capacity_]) {}

    size_t capacity() const { return capacity_; }

    // Writer: all n bytes, or false (and nothing written) when they do not fit.
    bool push(const void* data, size_t n) {
        const size_t head = head_.load(std::memory_order_relaxed);
        const size_t tail = tail_.load(std::memory_order_acquire);
        if (n > capacity_ - (head - tail)) return false;
        const size_t at = head & (capacity_ - 1);
        const size_t first = n < capacity_ - at ? n : capacity_ - at;
        std::memcpy(bytes_.get() + at, data, first);
        std::memcpy(bytes_.get(), static_cast<const uint8_t*>(data) + first, n - first);
        head_.store(head + n, std::memory_order_release);
        return true;
    }

    // Writer: several pieces as one record, all or nothing.
    struct Piece {
        const void* data;
        size_t size;
    };
    bool push(const Piece* parts, int count) {
        size_t n = 0;
        for (int i = 0; i < count; ++i) n += parts[i].size;
        const size_t head = head_.load(std::memory_order_relaxed);
        if (n > capacity_ - (head - tail_.load(std::memory_order_acquire))) return false;
        size_t at = head;
        for (int i = 0; i < count; ++i) {
            if (parts[i].size == 0) continue;  // its data may be null
            const size_t offset = at & (capacity_ - 1);
            const size_t first = parts[i].size < capacity_ - offset ? parts[i].size : capacity_ - offset;
            std::memcpy(bytes_.get() + offset, parts[i].data, first);
            std::memcpy(bytes_.get(), static_cast<const uint8_t*>(parts[i].data) + first, parts[i].size - first);
            at += parts[i].size;
        }
        head_.store(head + n, std::memory_order_release);
        return true;
    }

    // Reader: copies out and consumes exactly n bytes, or false (nothing
    // taken) when fewer are readable.
    bool read(void* out, size_t n) {
        if (readable() < n) return false;
        size_t length = 0;
        const uint8_t* first = span(n, length);
        std::memcpy(out, first, length);
        if (length < n) std::memcpy(static_cast<uint8_t*>(out) + length, bytes_.get(), n - length);
        consume(n);
        return true;
    }

    // Reader: the bytes written so far and not yet consumed.
    size_t readable() const {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
    }
    // Reader: the first contiguous span of up to n readable bytes.
    const uint8_t* span(size_t n, size_t& length) const {
        const size_t at = tail_.load(std::memory_order_relaxed) & (capacity_ - 1);
        length = n < capacity_ - at ? n : capacity_ - at;
        return bytes_.get() + at;
    }
    void consume(size_t n) { tail_.store(tail_.load(std::memory_order_relaxed) + n, std::memory_order_release); }

private:
    static size_t roundUp(size_t n) {
        size_t c = 64;
        while (c < n) c <<= 1;
        return c;
    }

    const size_t capacity_;
    std::unique_ptr<uint8_t[]> bytes_;
    alignas(64) std::atomic<size_t> head_{0};  // written by the writer
    alignas(64) std::atomic<size_t> tail_{0};  // written by the reader
};
