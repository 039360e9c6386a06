// Run-time class records: names, sizes and the IsKindOf chain that the library's casts use.
#include "kelvaro/platform/Object.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

// At global scope like the library's own classes (in an anonymous namespace each unused
// GetThisClass would draw a warning).
class CAnimalForTest : public CObject {
    KELVARO_DECLARE_DYNAMIC(CAnimalForTest)
    int legs = 4;
};

class CDogForTest : public CAnimalForTest {
    KELVARO_DECLARE_DYNAMIC(CDogForTest)
    double weight = 10.0;
};

class CPlantForTest : public CObject {
    KELVARO_DECLARE_DYNAMIC(CPlantForTest)
};

KELVARO_IMPLEMENT_DYNAMIC(CAnimalForTest, CObject, 1)
KELVARO_IMPLEMENT_DYNAMIC(CDogForTest, CAnimalForTest, 2)
KELVARO_IMPLEMENT_DYNAMIC(CPlantForTest, CObject, 0xFFFF)

namespace {

TEST(ObjectTest, ClassRecords)
{
    const struct {
        const CRuntimeClass* cls;
        const char* name;
        int size;
        unsigned schema;
        const CRuntimeClass* base;
    } cases[] = {
        {RUNTIME_CLASS(CObject), "CObject", static_cast<int>(sizeof(CObject)), 0xFFFFu, nullptr},
        {RUNTIME_CLASS(CAnimalForTest), "CAnimalForTest", static_cast<int>(sizeof(CAnimalForTest)), 1u,
         RUNTIME_CLASS(CObject)},
        {RUNTIME_CLASS(CDogForTest), "CDogForTest", static_cast<int>(sizeof(CDogForTest)), 2u,
         RUNTIME_CLASS(CAnimalForTest)},
        {RUNTIME_CLASS(CPlantForTest), "CPlantForTest", static_cast<int>(sizeof(CPlantForTest)), 0xFFFFu,
         RUNTIME_CLASS(CObject)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(c.cls->m_lpszClassName, c.name);
        EXPECT_EQ(c.cls->m_nObjectSize, c.size);
        EXPECT_EQ(c.cls->m_wSchema, c.schema);
        EXPECT_EQ(c.cls->m_pBaseClass, c.base);
    }
    EXPECT_EQ(CDogForTest::GetThisClass(), &CDogForTest::classCDogForTest);
    EXPECT_EQ(CAnimalForTest::GetThisClass(), RUNTIME_CLASS(CAnimalForTest));
    EXPECT_EQ(CPlantForTest::GetThisClass(), RUNTIME_CLASS(CPlantForTest));
    EXPECT_EQ(CObject::GetThisClass(), &CObject::classCObject);
}

TEST(ObjectTest, RuntimeClassIsTheDynamicType)
{
    std::unique_ptr<CObject> dog = std::make_unique<CDogForTest>();
    std::unique_ptr<CObject> plain = std::make_unique<CObject>();
    EXPECT_STREQ(dog->GetRuntimeClass()->m_lpszClassName, "CDogForTest");
    EXPECT_STREQ(plain->GetRuntimeClass()->m_lpszClassName, "CObject");
}

TEST(ObjectTest, IsKindOfFollowsTheBaseChain)
{
    const CDogForTest dog;
    const CAnimalForTest animal;
    const CPlantForTest plant;
    const CObject object;
    const struct {
        const char* what;
        const CObject* object;
        const CRuntimeClass* cls;
        bool expected;
    } cases[] = {
        {"dog is dog", &dog, RUNTIME_CLASS(CDogForTest), true},
        {"dog is animal", &dog, RUNTIME_CLASS(CAnimalForTest), true},
        {"dog is object", &dog, RUNTIME_CLASS(CObject), true},
        {"dog is not plant", &dog, RUNTIME_CLASS(CPlantForTest), false},
        {"animal is not dog", &animal, RUNTIME_CLASS(CDogForTest), false},
        {"plant is not animal", &plant, RUNTIME_CLASS(CAnimalForTest), false},
        {"object is object", &object, RUNTIME_CLASS(CObject), true},
        {"object is not dog", &object, RUNTIME_CLASS(CDogForTest), false},
        {"nothing is null", &dog, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.object->IsKindOf(c.cls), c.expected);
    }
    EXPECT_TRUE(RUNTIME_CLASS(CDogForTest)->IsDerivedFrom(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(RUNTIME_CLASS(CObject)->IsDerivedFrom(RUNTIME_CLASS(CDogForTest)));
    EXPECT_FALSE(RUNTIME_CLASS(CObject)->IsDerivedFrom(nullptr));
}

} // namespace
