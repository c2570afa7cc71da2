#include "libretro/machine_thread.h"

#include <system_error>

#include "cpu/cpu_state.h"
#include "cpu/run.h"
#include "machine/machine.h"

namespace koru::libretro {

bool MachineThread::Start() {
    Stop();
    machineTurn_ = stopping_ = ended_ = false;
    keys_ = 0;
    try {
        thread_ = std::thread([this] { Body(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void MachineThread::Body() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        turn_.wait(lock, [this] { return machineTurn_; });
        if (stopping_) {
            ended_ = true;
            machineTurn_ = false;
            turn_.notify_all();
            return;
        }
    }
    // What StartMachine does once start-up has succeeded.
    MachineStarted = 1;
    RunCpu(CpuState);
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    machineTurn_ = false;
    turn_.notify_all();
}

void MachineThread::RunFrame(uint32_t keys) {
    if (!thread_.joinable()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    if (ended_) return;
    keys_ = keys;
    machineTurn_ = true;
    turn_.notify_all();
    turn_.wait(lock, [this] { return !machineTurn_; });
}

uint32_t MachineThread::Park() {
    std::unique_lock<std::mutex> lock(mutex_);
    machineTurn_ = false;
    turn_.notify_all();
    turn_.wait(lock, [this] { return machineTurn_; });
    return keys_;
}

void MachineThread::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!ended_) {
            // Seen by the scanline routine as soon as PollInput returns.
            ExitRequest = 1;
            stopping_ = true;
            machineTurn_ = true;
            turn_.notify_all();
        }
    }
    thread_.join();
}

}  // namespace koru::libretro
