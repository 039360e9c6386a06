// Run-time class records: names, sizes and the IsKindOf chain that the library's casts use.
#include "kelvaro/platform/Object.h"

#include <gtest/gtest.h>

#include <memory>

// At global scope like the library's own classes (in an anonymous namespace each unused
// GetThisClass would draw a warning).
class CAnimalForTest : public CObject {
    KELVARO_DECLARE_DYNAMIC(CAnimalForTest)
};

class CDogForTest : public CAnimalForTest {
    KELVARO_DECLARE_DYNAMIC(CDogForTest)
};

class CPlantForTest : public CObject {
    KELVARO_DECLARE_DYNAMIC(CPlantForTest)
};

KELVARO_IMPLEMENT_DYNAMIC(CAnimalForTest, CObject, 1)
KELVARO_IMPLEMENT_DYNAMIC(CDogForTest, CAnimalForTest, 2)
KELVARO_IMPLEMENT_DYNAMIC(CPlantForTest, CObject, 0xFFFF)

namespace {

TEST(ObjectTest, IsKindOfFollowsTheBaseChain) {
    const CDogForTest dog;
    const CAnimalForTest animal;
    const CPlantForTest plant;
    const CObject object;
    const struct { const char* what; const CObject* object; const CRuntimeClass* cls; bool expected; } cases[] = {
        {"dog is animal", &dog, RUNTIME_CLASS(CAnimalForTest), true},
        {"dog is object", &dog, RUNTIME_CLASS(CObject), true},
        {"animal is not dog", &animal, RUNTIME_CLASS(CDogForTest), false},
        {"plant is not animal", &plant, RUNTIME_CLASS(CAnimalForTest), false},
        {"object is not dog", &object, RUNTIME_CLASS(CDogForTest), false},
        {"nothing is null", &dog, nullptr, false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.object->IsKindOf(c.cls), c.expected) << c.what;
    EXPECT_FALSE(RUNTIME_CLASS(CObject)->IsDerivedFrom(RUNTIME_CLASS(CDogForTest)));
    EXPECT_FALSE(RUNTIME_CLASS(CObject)->IsDerivedFrom(nullptr));
}

} // namespace
