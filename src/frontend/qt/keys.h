// Qt's key codes as the virtual-key codes the logic knows.
#pragma once

namespace koru {

// The virtual key of a Qt key (Qt::Key); keypad tells whether it came from
// the numeric keypad. 0 for keys the program has no use for.
int VirtualKeyFromQt(int qtKey, bool keypad);

}  // namespace koru
