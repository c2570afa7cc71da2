// The four DMA channels.
#pragma once

namespace koru {

// Performs channel's whole transfer as its registers describe it.
void RunDma(int channel);

}  // namespace koru
