#include "kelvaro/platform/Object.h"

const CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFFu, nullptr};

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* cls) const noexcept
{
    if (cls == nullptr)
        return false;
    for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass)
        if (c == cls)
            return true;
    return false;
}

CObject::~CObject() = default;

const CRuntimeClass* CObject::GetRuntimeClass() const
{
    return &classCObject;
}

bool CObject::IsKindOf(const CRuntimeClass* cls) const
{
    return GetRuntimeClass()->IsDerivedFrom(cls);
}

const CRuntimeClass* CObject::GetThisClass()
{
    return &classCObject;
}
