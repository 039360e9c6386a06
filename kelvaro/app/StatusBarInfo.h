// Posts status-bar texts and progress values to the calling thread's main window. A text
// travels as the address of one of 20 library-owned slots (255 characters each), so nothing
// is allocated per post and nothing has to be freed by the window.
//
// A slot is not overwritten while the window may still be reading it: from a post until the
// window calls TakeStatusBarText (or the window is destroyed), newer texts for that slot wait,
// and only the newest one is posted again once the window has taken the first. A window that
// reads the text through the address must therefore call TakeStatusBarText when it is done.
#pragma once

#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/Types.h"

namespace StatusBarInfo {

inline constexpr unsigned firstMessage = 0x8002; // slot k belongs to message 0x8002 + k
inline constexpr unsigned lastMessage = 0x8015;
inline constexpr unsigned progressMessage = 0x8003;
inline constexpr unsigned slotCount = 20;
inline constexpr int maxTextLength = 255; // longer texts are cut to their first 255 characters

// Puts the first 255 characters of `text` (null or empty: an empty text) into slot
// `message` - 0x8002 (clamped to 0..19) and posts `message` with `wParam` and the slot's
// address as lParam to the main window of the calling thread's thread object. Without such a
// window the slot keeps the text and nothing is posted; nothing is reported either way.
void PostStatusBarInfo(unsigned message, const wchar_t* text, unsigned wParam);

// Posts message 0x8003 with both values unchanged to the same main window.
void PostStatusBarProgress(unsigned wParam, unsigned lParam);

// For the window's thread, on a status-bar message: the text behind `lParam`, and the slot is
// released. A newer text that waited for the slot is posted now. An lParam that is no slot
// gives "".
CString TakeStatusBarText(LPARAM lParam);

} // namespace StatusBarInfo
