// Kelvaro: how the sea's own reading and writing code reports a problem.
// Every report of a sea goes to the output handler with the library's category;
// the style tells reading problems from write-back failures.
#pragma once

#include <cstdarg>

namespace kelvaro::seareport {

inline constexpr unsigned kStyleReading = 3;    // syntax, duplicates, files not found or opened
inline constexpr unsigned kStyleWriteBack = 4;  // a sea file that cannot be written back

// Formats like CString::Format and hands the text to PrWin::Output (category 16).
void Report(unsigned style, const wchar_t* format, ...);

}  // namespace kelvaro::seareport
