#include "kelvaro/output/PrWin.h"

#include "kelvaro/platform/CString.h"

#include <cstdarg>

namespace PrWin {

OutputHandler g_outputHandler;

OutputHandler InstallOutputHandler(OutputHandler handler)
{
    OutputHandler previous = std::move(g_outputHandler);
    g_outputHandler = std::move(handler);
    return previous;
}

void UninstallOutputHandler()
{
    g_outputHandler = nullptr;
}

void Output(const wchar_t* text, Category category, Style style)
{
    if (g_outputHandler)
        g_outputHandler(category, style, text != nullptr ? text : L"");
}

namespace {

void OutputV(Category category, Style style, const wchar_t* format, va_list args)
{
    // Without a handler the text would go nowhere; the formatting is not worth doing.
    if (!g_outputHandler)
        return;
    CString text;
    text.FormatV(format, args);
    g_outputHandler(category, style, text.GetString());
}

} // namespace

void Output(Category category, Style style, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    OutputV(category, style, format, args);
    va_end(args);
}

void Output(Category category, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    OutputV(category, Normal, format, args);
    va_end(args);
}

void ShowOutputWindow(bool show)
{
    Output(L" ", WindowCommand, show ? ShowWindow : HideWindow);
}

} // namespace PrWin
