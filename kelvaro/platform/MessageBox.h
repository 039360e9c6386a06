// The framework's message box. The library shows exactly one text this way (a section of the
// settings store that cannot be read); everything else goes through the output handler. An
// application with a user interface installs its own box; by default the text goes to stderr.
#pragma once

#include "kelvaro/platform/Types.h"

#include <functional>

// Style bits and answers of the message box, as far as the library uses them.
inline constexpr UINT MB_OK = 0x00;
inline constexpr UINT MB_ICONSTOP = 0x10;
inline constexpr UINT MB_ICONERROR = MB_ICONSTOP;
inline constexpr int IDOK = 1;

// Shows `text` through the installed box and returns its answer. The default box writes the
// text and a line break to stderr as UTF-8 and answers IDOK. A null text shows "".
// Safe from any thread; the box runs on the calling thread.
int AfxMessageBox(const wchar_t* text, UINT type = MB_OK);

namespace kelvaro {

using MessageBoxHandler = std::function<int(const wchar_t* text, UINT type)>;

// Installs `handler` and returns the one installed before (empty while the default is in use).
// An empty handler restores the default box.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace kelvaro
