// Loading the application's extension modules: the Configuration sea lists them
// in its "LoadDll" list and names their folder in "LoadDllPath". The
// application calls LoadDll after the registry has started and UnloadDll
// before it cleans the registry up. The library's own extension-module record
// lives here too (see KelvaroModule()).
#pragma once

#include <vector>

#include "kelvaro/platform/ExtensionModule.h"

// Loads every module of the "LoadDll" list in list order, each from the
// "LoadDllPath" folder; a name gets ".dll" when it lacks it (case-sensitive
// test) and, with `debugNames`, a "D" before it. Failures are reported and the
// other modules still load. False when there is no Configuration sea, no
// "LoadDll" list, or a module failed. The modules of an earlier call are
// forgotten, not freed.
bool LoadDll(bool debugNames);

// Frees the remembered modules, last loaded first. False when one could not be
// freed (the others still are). The list is emptied, so a second call frees
// nothing twice.
bool UnloadDll();

// The modules LoadDll remembers, in load order.
const std::vector<HMODULE>& LoadedModules();

// The library's own record in the extension-module chain.
const AFX_EXTENSION_MODULE& KelvaroModule();
