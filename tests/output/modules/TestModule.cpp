// A small extension module for the module-loading tests: it announces its
// initialisation and its clean-up through the output handler, so a test sees
// both and their order.
#include "kelvaro/output/PrWin.h"

#ifndef KELVARO_TEST_MODULE_NAME
#error "KELVARO_TEST_MODULE_NAME must name the module"
#endif

namespace {

struct Announcer {
    Announcer() { PrWin::Output(L"init " KELVARO_TEST_MODULE_NAME, PrWin::Category(99), PrWin::Normal); }
    ~Announcer() { PrWin::Output(L"exit " KELVARO_TEST_MODULE_NAME, PrWin::Category(99), PrWin::Normal); }
};

Announcer g_announcer;

}  // namespace
