#include "support/TestSupport.h"

namespace testsupport {

fs::path DataDir() { return KELVARO_TEST_DATA; }

}  // namespace testsupport
