// Kelvaro: configuration resources kept as sea text files.
// The umbrella header: including it gives the whole public API — entries and
// list cursors, seas with their lookup family and table interface, the sea
// registry, output routing and module loading, and the platform layer they
// speak (strings, files, paths).
#pragma once

#include "kelvaro/platform/Types.h"
#include "kelvaro/platform/CString.h"
#include "kelvaro/platform/Format.h"
#include "kelvaro/platform/FastVector.h"
#include "kelvaro/platform/Object.h"
#include "kelvaro/platform/ObList.h"
#include "kelvaro/platform/MapStringToOb.h"
#include "kelvaro/platform/Pages.h"
#include "kelvaro/platform/CodePage.h"
#include "kelvaro/platform/Utf.h"
#include "kelvaro/platform/Lock.h"
#include "kelvaro/platform/File.h"
#include "kelvaro/platform/FileIO.h"
#include "kelvaro/platform/UnicodeFile.h"
#include "kelvaro/platform/CoreLib.h"
#include "kelvaro/platform/Window.h"
#include "kelvaro/platform/Thread.h"
#include "kelvaro/platform/MessageBox.h"
#include "kelvaro/platform/SharedLibrary.h"
#include "kelvaro/platform/ExtensionModule.h"
#include "kelvaro/platform/WinApp.h"

#include "kelvaro/output/PrWin.h"
#include "kelvaro/output/PrWinHelper.h"

#include "kelvaro/entry/ResourceSeaException.h"
#include "kelvaro/entry/SeaArena.h"
#include "kelvaro/entry/ResValueReservoir.h"
#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ResourceSeaStreams.h"
#include "kelvaro/entry/ResSeaTableInterface.h"

#include "kelvaro/sea/Lookup.h"
#include "kelvaro/sea/ResourceSea.h"
#include "kelvaro/sea/ResourceList.h"

#include "kelvaro/seabase/SeaBase.h"

#include "kelvaro/app/StatusBarInfo.h"
#include "kelvaro/app/ModuleLoader.h"
