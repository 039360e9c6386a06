// The framework's run-time class records: every class that the library asks "what are
// you?" at run time (IsKindOf) derives from CObject and names itself with the two macros.
// The lists and maps of the platform layer hold CObject pointers.
#pragma once

struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    unsigned m_wSchema;
    const CRuntimeClass* m_pBaseClass;

    // True when this class is cls or derives from it; false for a null cls.
    bool IsDerivedFrom(const CRuntimeClass* cls) const noexcept;
};

class CObject {
public:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
    virtual ~CObject();

    virtual const CRuntimeClass* GetRuntimeClass() const;
    // True when this object's class is cls or derives from it; false for a null cls.
    bool IsKindOf(const CRuntimeClass* cls) const;

    static const CRuntimeClass classCObject;
    static const CRuntimeClass* GetThisClass();
};

// In the class body, without a trailing semicolon: KELVARO_DECLARE_DYNAMIC(CFoo)
// Leaves the class body in public access.
#define KELVARO_DECLARE_DYNAMIC(cls)                       \
public:                                                    \
    static const CRuntimeClass class##cls;                 \
    static const CRuntimeClass* GetThisClass();            \
    const CRuntimeClass* GetRuntimeClass() const override;

// In the class's source file: KELVARO_IMPLEMENT_DYNAMIC(CFoo, CObject, 1)
#define KELVARO_IMPLEMENT_DYNAMIC(cls, base, schema)                                                   \
    const CRuntimeClass cls::class##cls = {#cls, static_cast<int>(sizeof(cls)), (schema),              \
                                           &base::class##base};                                        \
    const CRuntimeClass* cls::GetThisClass() { return &cls::class##cls; }                              \
    const CRuntimeClass* cls::GetRuntimeClass() const { return &cls::class##cls; }

// The run-time class record of cls.
#define RUNTIME_CLASS(cls) (&cls::class##cls)
