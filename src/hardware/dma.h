// The four DMA channels.
#pragma once

namespace koru {

// Performs channel's whole transfer as its registers describe it. The caller
// has decided that the channel is enabled and due; a channel that is already
// transferring (the call comes from inside its own transfer) is not started
// again.
void RunDma(int channel);

// True while any channel is transferring: the write under way comes from a
// transfer, not from the processor.
bool DmaRunning();

}  // namespace koru
