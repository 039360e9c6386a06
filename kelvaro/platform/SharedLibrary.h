// Loading and freeing of dynamic libraries (the application's extension modules), with the
// system's text for the last failure. Module loading uses it; handles are counted, so a
// library is never freed more often than it was loaded.
#pragma once

#include "kelvaro/platform/CString.h"

using HMODULE = void*;
using HINSTANCE = HMODULE;

// Loads the library at `path` (a bare name is searched for the way the system searches) and
// resolves its symbols at once. Null on failure, with the reason in GetLastLoadError(); a null
// or empty path fails instead of handing out the program itself.
HMODULE AfxLoadLibrary(const wchar_t* path);

// Undoes one AfxLoadLibrary of `module`. False, with the reason in GetLastLoadError(), when the
// system refuses or when the handle does not come from an AfxLoadLibrary that is still unfreed;
// such a handle is never passed to the system.
bool AfxFreeLibrary(HMODULE module);

// The system's text for the last failed AfxLoadLibrary or AfxFreeLibrary of the calling
// thread; empty when none has failed.
CString GetLastLoadError();
