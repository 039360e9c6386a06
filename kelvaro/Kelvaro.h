// Kelvaro: configuration resources kept as sea text files.
// The umbrella header: including it gives the whole public API.
#pragma once

#include "kelvaro/platform/CString.h"
