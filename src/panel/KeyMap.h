// SPDX-License-Identifier: MIT
#pragma once

#include <Qt>

// The key-down handler's view of a key: a virtual key code and a modifier mask.
namespace KeyMap {
inline constexpr int ShiftMask = 1;
inline constexpr int CtrlMask = 2;
inline constexpr int AltMask = 4;
inline constexpr int ModifierBits = ShiftMask | CtrlMask | AltMask;
inline constexpr int KeyH = 72; // the virtual key code of H

// The virtual key code of a Qt key; 0 for keys that have none.
int virtualKeyCode(int qtKey);
int modifierMask(Qt::KeyboardModifiers modifiers);
} // namespace KeyMap
