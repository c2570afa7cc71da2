// The machine's run on a thread of its own, one frame at a time.
//
// The core runs a cartridge as one long call (RunCpu) that comes back to its
// host once a frame, in PollInput, and takes resets and state loads there,
// between two slices. A libretro front end instead calls the core once a
// frame and wants each call to end. So the run lives on a second thread that
// hands control back and forth with the front end's thread: exactly one of
// the two runs at any time, the machine from one PollInput to the next, the
// front end's thread between them. While the machine waits inside PollInput
// it is at the very point where the desktop program resets it and saves or
// loads its state, so the front end's thread may do the same there.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace koru::libretro {

class MachineThread {
public:
    // Creates the thread for a prepared machine; it starts running the
    // processor at the first RunFrame. False when no thread can be had.
    bool Start();
    // Hands the machine the keys for the frame ahead and lets it run until
    // its next PollInput. Returns at once when the run has ended.
    void RunFrame(uint32_t keys);
    // Makes the run end (ExitRequest) and waits for the thread. Safe to call
    // when it never started or already ended.
    void Stop();

    // On the machine's thread, from PollInput: hands control back and waits
    // for the next RunFrame; returns its keys.
    uint32_t Park();

    bool Started() const { return thread_.joinable(); }

private:
    void Body();

    std::mutex mutex_;
    std::condition_variable turn_;
    bool machineTurn_ = false;  // the machine runs (else the front end's thread)
    bool stopping_ = false;
    bool ended_ = false;
    uint32_t keys_ = 0;
    std::thread thread_;
};

}  // namespace koru::libretro
