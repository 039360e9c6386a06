// The library's exception type.
#include "kelvaro/entry/ResourceSeaException.h"

#include <cstdarg>

#include "kelvaro/platform/Format.h"

CResourceSeaException::CResourceSeaException(unsigned code) : m_code(code) {}

CResourceSeaException::CResourceSeaException(const wchar_t* message, unsigned code)
    : m_message(message), m_code(code) {}

CResourceSeaException::CResourceSeaException(const CResourceSeaException& other) = default;

CResourceSeaException& CResourceSeaException::operator=(const CResourceSeaException& other) = default;

CResourceSeaException::~CResourceSeaException() = default;

CResourceSeaException CResourceSeaException::Formatted(unsigned code, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    CResourceSeaException e(code);
    try {
        e.m_message = CString(kelvaro::FormatTextV(format, args));
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return e;
}
