// Qt's key codes as the virtual-key codes the logic knows.
#pragma once

namespace koru {

// The virtual key of a Qt key (Qt::Key); keypad tells whether it came from
// the numeric keypad; keyCode is the X keyboard's code of the physical key,
// 0 where the platform gives none. 0 for keys the program has no use for.
int VirtualKeyFromQt(int qtKey, bool keypad, unsigned keyCode = 0);

}  // namespace koru
