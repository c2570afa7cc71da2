// The four DMA channels.
#pragma once
#include <cstdint>

namespace koru {

// Performs channel's whole transfer as its registers describe it. The caller
// has decided that the channel is enabled and due; a channel that is already
// transferring (the call comes from inside its own transfer) is not started
// again.
void RunDma(int channel);

// True while any channel is transferring: the write under way comes from a
// transfer, not from the processor.
bool DmaRunning();

// Units that transfers started from inside other transfers may move in one
// frame (see dma.cpp).
constexpr uint32_t NestedDmaUnitsPerFrame = 1u << 20;
// Gives the transfers started from inside other transfers their budget for a
// new frame; called at the start of every vertical blank and at reset.
void RenewNestedDmaBudget();

// Writes to the source, destination, count and control registers; a control
// value that enables the channel with start timing 0 starts it at once.
void DmaRegisterWrite(uint32_t offset, uint16_t value);
void ResetDma();

}  // namespace koru
