// Small scanning helpers for the entries' format-string parser.
// They stop at the terminating zero, so they never run past the end of a C string.
#pragma once

// The first white-space character (iswspace) or the terminating zero at or after p;
// null when p is null.
wchar_t* skip_non_white_space(wchar_t* p);
const wchar_t* skip_non_white_space(const wchar_t* p);
