#include "fuzz_guard.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cpu/cpu_state.h"
#include "hardware/backup.h"
#include "machine/machine.h"
#include "machine/savefiles.h"

namespace koru::fuzz {

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

// One block the page tables point into: the global that holds it, its size
// and, while guarded, the mapping around it.
struct Block {
    uint8_t** holder;
    uint32_t size;
    uint8_t* mapping = nullptr;
    size_t mappingSize = 0;
};

std::vector<Block> Blocks;
std::vector<uint8_t*> ReadSnapshot, WriteSnapshot;
std::vector<uint8_t> BiosCopy, RomCopy;
bool Guarded = false;

std::vector<Block> MachineBlocks() {
    std::vector<Block> blocks;
    for (const MemoryRegion& region : MemoryRegions) blocks.push_back({region.memory, region.size});
    blocks.push_back({&CartridgeRom, static_cast<uint32_t>(RomSize)});
    blocks.push_back({&DummyRam, PageSize});
    return blocks;
}

// Points every entry that pointed into from[i] at the same offset of to[i].
// Neighbouring pages mostly point into the same block: that one is tried
// first.
void Retarget(uint8_t** table, const std::vector<uint8_t*>& from, const std::vector<uint8_t*>& to) {
    size_t last = 0;
    for (uint32_t page = 0; page < PageCount; ++page) {
        uint8_t* const entry = table[page];
        if (entry >= from[last] && entry < from[last] + Blocks[last].size) {
            table[page] = to[last] + (entry - from[last]);
            continue;
        }
        for (size_t i = 0; i < from.size(); ++i) {
            if (entry >= from[i] && entry < from[i] + Blocks[i].size) {
                table[page] = to[i] + (entry - from[i]);
                last = i;
                break;
            }
        }
    }
}

void Move(const std::vector<uint8_t*>& to) {
    std::vector<uint8_t*> from;
    for (Block& block : Blocks) from.push_back(*block.holder);
    for (size_t i = 0; i < Blocks.size(); ++i) std::memcpy(to[i], from[i], Blocks[i].size);
    Retarget(ReadPageTable, from, to);
    Retarget(WritePageTable, from, to);
    for (size_t i = 0; i < Blocks.size(); ++i) *Blocks[i].holder = to[i];
    // The backup memories keep pointers of their own into the SRAM block
    // and the dummy page; their reset takes the new ones.
    if (FlashState.bank0 == from[7]) FlashState.bank0 = to[7];
    for (size_t i = 0; i < from.size(); ++i) {
        if (FlashState.storage == from[i]) FlashState.storage = to[i];
        if (EepromState.picture >= from[i] && EepromState.picture < from[i] + Blocks[i].size) {
            EepromState.picture = to[i] + (EepromState.picture - from[i]);
        }
    }
}

}  // namespace

void GuardRegions() {
    if (Guarded) return;
    Blocks = MachineBlocks();
    static_assert(MemoryRegions[7].memory == &CartridgeSram, "Move() finds the SRAM block at index 7");
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<uint8_t*> to;
    for (Block& block : Blocks) {
        block.mappingSize = block.size + 2 * page;
        void* mapping = mmap(nullptr, block.mappingSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) Fail("no memory for the guarded regions");
        block.mapping = static_cast<uint8_t*>(mapping);
        if (mprotect(block.mapping + page, block.size, PROT_READ | PROT_WRITE) != 0) Fail("mprotect");
        to.push_back(block.mapping + page);
    }
    std::vector<uint8_t*> heap;
    for (const Block& block : Blocks) heap.push_back(*block.holder);
    Move(to);
    // The machine allocated the blocks with malloc; they are no one's now.
    for (uint8_t* memory : heap) std::free(memory);
    ReadSnapshot.assign(ReadPageTable, ReadPageTable + PageCount);
    WriteSnapshot.assign(WritePageTable, WritePageTable + PageCount);
    BiosCopy.assign(BiosRom, BiosRom + BiosRomSize);
    RomCopy.assign(CartridgeRom, CartridgeRom + RomSize);
    Guarded = true;
}

void UnguardRegions() {
    if (!Guarded) return;
    std::vector<uint8_t*> to;
    for (Block& block : Blocks) {
        uint8_t* memory = static_cast<uint8_t*>(std::malloc(block.size));
        if (!memory) Fail("no memory for the regions");
        to.push_back(memory);
    }
    std::vector<Block> guarded = Blocks;
    Move(to);
    for (Block& block : guarded) munmap(block.mapping, block.mappingSize);
    Guarded = false;
}

void CheckMachineIntact() {
    if (!Guarded) Fail("the regions are not guarded");
    // The FLASH window is the one part of the tables the machine changes
    // while it runs: a 128 KB chip shows either bank there.
    constexpr uint32_t WindowFirst = 0x0E000000 >> PageShift;
    constexpr uint32_t WindowPages = FlashBankSize >> PageShift;
    for (uint32_t page = WindowFirst; page < WindowFirst + WindowPages; ++page) {
        const uint32_t offset = (page - WindowFirst) * PageSize;
        for (uint8_t* entry : {ReadPageTable[page], WritePageTable[page]}) {
            if (entry != CartridgeSram + offset && entry != FlashBank1 + offset) Fail("FLASH window page table");
        }
    }
    // Everywhere else the tables are as they were.
    const auto same = [](uint8_t* const* table, const std::vector<uint8_t*>& snapshot, uint32_t first, uint32_t end) {
        return std::memcmp(table + first, snapshot.data() + first, (end - first) * sizeof *table) == 0;
    };
    constexpr uint32_t WindowEnd = WindowFirst + WindowPages;
    if (!same(ReadPageTable, ReadSnapshot, 0, WindowFirst) || !same(ReadPageTable, ReadSnapshot, WindowEnd, PageCount)) {
        Fail("read page table changed");
    }
    if (!same(WritePageTable, WriteSnapshot, 0, WindowFirst) ||
        !same(WritePageTable, WriteSnapshot, WindowEnd, PageCount)) {
        Fail("write page table changed");
    }
    if (std::memcmp(BiosRom, BiosCopy.data(), BiosRomSize) != 0) Fail("the BIOS image was written");
    if (std::memcmp(CartridgeRom, RomCopy.data(), RomCopy.size()) != 0) Fail("the cartridge image was written");
}

void ClearMachine() {
    for (const MemoryRegion& region : MemoryRegions) {
        if (region.writable) std::memset(*region.memory, 0, region.size);
    }
    std::memset(DummyRam, 0, PageSize);
    ClearEepromData();
    // The processor's reset keeps the banked registers; a new input must
    // not find the last one's there.
    std::memset(&CpuState, 0, sizeof CpuState);
    ResetHardware();
}

namespace {

std::optional<std::vector<uint8_t>> ReadFile(const char* name) {
    std::FILE* file = std::fopen(name, "rb");
    if (!file) return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

}  // namespace

void CheckInterruptedBatterySave(uint32_t delayMicroseconds) {
    if (!SavName) return;
    const auto before = ReadFile(SavName);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) Fail("fork");
    if (child == 0) {
        WriteBatterySave();
        _exit(0);
    }
    if (delayMicroseconds) usleep(delayMicroseconds);
    kill(child, SIGKILL);
    int status = 0;
    // libFuzzer's timer signal interrupts the wait now and then.
    pid_t waited;
    do {
        waited = waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited != child) Fail("waitpid");
    const auto left = ReadFile(SavName);
    WriteBatterySave();
    const auto after = ReadFile(SavName);
    const bool finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (finished && left != after) Fail("a finished battery save is not the new one");
    if (left != before && left != after) Fail("the battery save on disk is neither the old nor the new one");
}

}  // namespace koru::fuzz
