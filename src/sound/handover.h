// The two lock-free hand-overs of the wave output, both fixed in size so
// that neither side ever allocates or waits for the other:
// - FrameRing carries direct-sound frames from the machine's thread (the one
//   producer) to the synthesis thread (the one consumer);
// - NoticeQueue carries the device's played-buffer notices to the synthesis
//   thread from whichever thread the device tells them on (an audio
//   callback must never block on a lock the mixing holds).
#pragma once
#include <atomic>
#include <cstdint>

namespace koru {

// Frames of 32 bits, N a power of two. Push and Reset belong to the
// producer, the rest to the consumer; Reset only while no consumer runs.
template <uint32_t N>
class FrameRing {
    static_assert((N & (N - 1)) == 0, "the ring's size must be a power of two");

public:
    // False, and the frame dropped, when the ring is full.
    bool Push(uint32_t frame) {
        const uint32_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) >= N) return false;
        slots_[head & (N - 1)].store(frame, std::memory_order_relaxed);
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    uint32_t Available() const {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
    }
    // Frame i counted from the oldest; i below Available().
    uint32_t Peek(uint32_t i) const {
        return slots_[(tail_.load(std::memory_order_relaxed) + i) & (N - 1)].load(std::memory_order_relaxed);
    }
    // Gives the oldest n frames (at most Available()) back to the producer.
    void Drop(uint32_t n) { tail_.store(tail_.load(std::memory_order_relaxed) + n, std::memory_order_release); }

    void Reset() {
        head_.store(0, std::memory_order_relaxed);
        tail_.store(0, std::memory_order_relaxed);
    }

    static constexpr uint32_t Capacity = N;

private:
    std::atomic<uint32_t> slots_[N] = {};
    std::atomic<uint32_t> head_{0};  // frames pushed, ever
    std::atomic<uint32_t> tail_{0};  // frames taken, ever
};

// A bounded queue of small integers with any number of posting threads and
// one taking thread, after the well-known scheme of a sequence number per
// cell: a poster claims a cell by its position and publishes it with the
// cell's sequence, so no poster waits for another.
template <uint32_t N>
class NoticeQueue {
    static_assert((N & (N - 1)) == 0, "the queue's size must be a power of two");

public:
    NoticeQueue() {
        for (uint32_t i = 0; i < N; ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
    }

    // False when the queue is full.
    bool Post(int32_t value) {
        uint32_t position = posted_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[position & (N - 1)];
            const uint32_t sequence = cell.sequence.load(std::memory_order_acquire);
            const int32_t lead = static_cast<int32_t>(sequence - position);
            if (lead == 0) {
                if (posted_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                    cell.value = value;
                    cell.sequence.store(position + 1, std::memory_order_release);
                    return true;
                }
            } else if (lead < 0) {
                return false;
            } else {
                position = posted_.load(std::memory_order_relaxed);
            }
        }
    }

    // The oldest notice; false when none is complete yet (a poster that has
    // claimed the oldest cell may still be writing it).
    bool Take(int32_t& value) {
        const uint32_t position = taken_;
        Cell& cell = cells_[position & (N - 1)];
        if (cell.sequence.load(std::memory_order_acquire) != position + 1) return false;
        value = cell.value;
        cell.sequence.store(position + N, std::memory_order_release);
        taken_ = position + 1;
        return true;
    }

private:
    struct Cell {
        std::atomic<uint32_t> sequence{0};
        int32_t value = 0;
    };
    Cell cells_[N];
    std::atomic<uint32_t> posted_{0};
    uint32_t taken_ = 0;  // the taking thread's own
};

}  // namespace koru
