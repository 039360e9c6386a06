// The entry self-test: buffers hold their texts, the line can be rebuilt
// within the self-test limit, and the rebuilt line reads back to the same entry.
#include "kelvaro/entry/ResourceEntry.h"

#include <cwchar>
#include <memory>

bool CResourceEntry::Selbsttest(bool reconstruct) const {
    SettleValues();
    for (unsigned i = 0; i < NValues(); ++i) {
        const ValueBuffer& value = m_values[i];
        if (value.first == nullptr || std::wcslen(value.first) >= value.second)
            throw CResourceSeaException::Formatted(0, L"Selbsttest %s: Allozierungsfehler.", Name().GetString());
    }

    auto work = std::make_unique<wchar_t[]>(SelfTestBufferSize);
    unsigned valueOffset = 0;
    if (SeeZeileBilden(work.get(), SelfTestBufferSize, valueOffset) > SelfTestMaxLength)
        throw CResourceSeaException::Formatted(0, L"Selbsttest %s: Zeile l\u00e4nger als 1000 Zeichen.",
                                               Name().GetString());

    if (reconstruct) {
        // The temporary is destroyed with its buffers freed, not recycled.
        CResourceEntry rebuilt(m_reservoir, m_status, nullptr);
        rebuilt = work.get();
        if (!(*this == rebuilt))
            throw CResourceSeaException::Formatted(0, L"Selbsttest %s: Rekonstruktion fehlgeschlagen.",
                                                   Name().GetString());
    }

    if (IsListEntry()) {
        try {
            for (POSITION pos = m_listLines.GetHeadPosition(); pos != nullptr;)
                NextListenZeile(pos)->Selbsttest(false);
            if (m_listLines.End() != nullptr)
                m_listLines.End()->Selbsttest(false);
        } catch (const CResourceSeaException& inner) {
            throw CResourceSeaException::Formatted(inner.m_code, L"Selbsttest %s: Listen-Eintrag defekt:\n%s",
                                                   Name().GetString(), inner.m_message.GetString());
        }
    }
    return true;
}
