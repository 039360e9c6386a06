// CResourceSeaException: the one exception type of the library. It carries a
// ready-to-show message and an error class (code); entries, seas and the
// registry throw it by value and callers catch it by type.
#pragma once

#include "kelvaro/platform/CString.h"

class CResourceSeaException {
public:
    // Code 0 and an empty message when default-constructed.
    explicit CResourceSeaException(unsigned code = 0);
    CResourceSeaException(const wchar_t* message, unsigned code);
    CResourceSeaException(const CResourceSeaException& other);
    CResourceSeaException& operator=(const CResourceSeaException& other);
    ~CResourceSeaException();

    // An exception whose message is `format` filled like CString::Format
    // (wide "%s" is a wide string). One formatter for every thrown message.
    static CResourceSeaException Formatted(unsigned code, const wchar_t* format, ...);

    CString m_message;  // may be empty
    unsigned m_code;    // error class; each operation documents its codes
};
