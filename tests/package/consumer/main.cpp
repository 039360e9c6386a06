// An outside program that sees only the installed umbrella header.
#include "kelvaro/Kelvaro.h"

#include <cstdio>

int main()
{
    CString text(L"installed");
    text += L" package";
    if (text != CString(L"installed package"))
        return 1;
    std::printf("consumer: %ls\n", text.GetString());
    return 0;
}
