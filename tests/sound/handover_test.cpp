// The wave output's lock-free hand-overs under real threads (ThreadSanitizer
// runs these in `make tsan`): nothing lost, nothing twice, order kept.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "sound/handover.h"

namespace koru {
namespace {

TEST(HandoverTest, NoticesFromTwoPostersArriveOnceEachInEachPostersOrder) {
    constexpr int PerPoster = 4000;
    NoticeQueue<8> queue;  // small, so that it fills and posters retry
    auto poster = [&](int first) {
        for (int i = 0; i < PerPoster; ++i) {
            while (!queue.Post(first + i)) std::this_thread::yield();
        }
    };
    std::thread a(poster, 0), b(poster, PerPoster);
    int next[2] = {0, PerPoster};
    for (int taken = 0; taken < 2 * PerPoster;) {
        int32_t value;
        if (!queue.Take(value)) {
            std::this_thread::yield();
            continue;
        }
        const int from = value >= PerPoster;
        ASSERT_EQ(value, next[from]) << "a notice lost, repeated or out of order";
        ++next[from];
        ++taken;
    }
    a.join();
    b.join();
    int32_t extra;
    EXPECT_FALSE(queue.Take(extra));
}

TEST(HandoverTest, FramesReachTheConsumerInOrderAndAFullRingRefusesMore) {
    constexpr uint32_t Frames = 40000;
    FrameRing<64> ring;
    std::thread producer([&] {
        for (uint32_t i = 0; i < Frames; ++i) {
            while (!ring.Push(i)) std::this_thread::yield();
        }
    });
    for (uint32_t expected = 0; expected < Frames;) {
        const uint32_t available = ring.Available();
        ASSERT_LE(available, 64u);
        for (uint32_t i = 0; i < available; ++i) ASSERT_EQ(ring.Peek(i), expected + i);
        ring.Drop(available);
        expected += available;
    }
    producer.join();
    for (uint32_t i = 0; i < 64; ++i) EXPECT_TRUE(ring.Push(i));
    EXPECT_FALSE(ring.Push(64));
}

}  // namespace
}  // namespace koru
