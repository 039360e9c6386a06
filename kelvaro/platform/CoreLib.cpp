#include "kelvaro/platform/CoreLib.h"

#include <cwctype>

const wchar_t* skip_non_white_space(const wchar_t* p)
{
    if (p == nullptr)
        return nullptr;
    while (*p != L'\0' && !std::iswspace(static_cast<std::wint_t>(*p)))
        ++p;
    return p;
}

wchar_t* skip_non_white_space(wchar_t* p)
{
    return const_cast<wchar_t*>(skip_non_white_space(static_cast<const wchar_t*>(p)));
}
