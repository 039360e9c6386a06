// PrWin: the one road by which the library and the application's modules report text.
// The application installs a handler; every report reaches it with a category and a style,
// and the library never shows text itself. Used by every part of the library that reports.
#pragma once

#include <functional>
#include <utility>

namespace PrWin {

// What a text is for. An open set: modules may pass their own values; these are the library's.
enum Category : unsigned
{
    WindowCommand = 1,   // commands to the output window (ShowOutputWindow)
    LibraryMessage = 16, // every message the library itself produces
};

// How a text is to be shown. An open set like Category.
enum Style : unsigned
{
    Normal = 1,              // the style of Output(Category, format, ...); listings of sea contents
    ReadProblem = 3,         // syntax errors, duplicates, files that cannot be found or read
    WriteProblem = 4,        // write-back failures, modules that cannot be loaded
    ApplicationSeaProblem = 5, // the Application sea cannot be created
    ShowWindow = 64,         // with WindowCommand: show the output window
    HideWindow = 128,        // with WindowCommand: hide the output window
};

// Receives the category, the style and the finished text; the text lives only for the call.
using OutputHandler = std::function<void(Category, Style, const wchar_t*)>;

// The installed handler, empty at start. It has no lock: install and uninstall only while no
// other thread outputs.
extern OutputHandler g_outputHandler;

// Installs a copy of `handler` and returns the one installed before (empty when there was none).
// Installing an empty function leaves no handler.
OutputHandler InstallOutputHandler(OutputHandler handler);
void UninstallOutputHandler();

// Installs `handler` while it lives and puts the one before back when it goes;
// an empty handler keeps the reports off every output for that while.
class ScopedOutputHandler {
public:
    explicit ScopedOutputHandler(OutputHandler handler = {}) : m_previous(InstallOutputHandler(std::move(handler))) {}
    ~ScopedOutputHandler() { InstallOutputHandler(std::move(m_previous)); }
    ScopedOutputHandler(const ScopedOutputHandler&) = delete;
    ScopedOutputHandler& operator=(const ScopedOutputHandler&) = delete;

private:
    OutputHandler m_previous;
};

// Hands `text` to the handler on the calling thread; without a handler nothing happens.
// A null text reaches the handler as "".
void Output(const wchar_t* text, Category category, Style style);
// Formats like CString::Format ("%s" is a wide string) and hands the result to the handler.
void Output(Category category, Style style, const wchar_t* format, ...);
// The same with style Normal (1).
void Output(Category category, const wchar_t* format, ...);

// Asks the output window to show (category 1, style 64) or hide (style 128); the text is " ".
void ShowOutputWindow(bool show);

} // namespace PrWin
