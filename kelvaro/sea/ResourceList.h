// CResourceList: a cursor over the lines of one list entry of a sea. It binds
// to the list by name, walks the list lines while skipping comment lines, finds
// lines by number or by key (value 0) and adds and removes lines. The module
// loader walks the Configuration sea's list with it.
//
// A cursor made from a const sea is read-only: it refuses every change. The
// cursor owns nothing and stays valid only while its sea keeps the entry; a
// line removed through one cursor must not be current in another.
#pragma once

#include "kelvaro/platform/Types.h"

class CResourceEntry;
class CResourceSea;

class CResourceList {
public:
    // Binds to the entry `name` of `sea`, creating it as an empty list entry
    // when missing; sets its Accessed bit. Writable; no current line.
    // A null sea or name leaves the cursor unbound.
    CResourceList(CResourceSea* sea, const wchar_t* name);
    // Binds to the entry `name` when `sea` has it (setting its Accessed bit),
    // else stays unbound. Read-only; no current line.
    CResourceList(const CResourceSea* sea, const wchar_t* name);
    CResourceList(const CResourceList& other) = default;
    // Copies entry, position and read-only flag.
    CResourceList& operator=(const CResourceList& other);

    // 1 when bound, -1 when unbound.
    int Status() const;
    // True when the list holds no line at all (comment lines count here).
    bool IsEmpty() const;
    // Number of lines that are not comments.
    unsigned NrElements() const;
    // The current line; null when there is none or the cursor is unbound.
    CResourceEntry* GetCurrentLine() const;
    bool IsValid() const;

    // Moves to the first / last non-comment line; false, with no current
    // line, when there is none.
    bool GotoHead();
    bool GotoTail();
    // Moves to the next / previous non-comment line. False at once without a
    // current line; false, with no current line, past either end.
    bool GotoNext();
    bool GotoPrev();
    // The n-th non-comment line, counted from 0. An n not below the number of
    // all lines gives false and keeps the current line; an n below it that
    // finds no line gives false with no current line.
    bool GotoLine(unsigned n);
    // Spares callers the ambiguity of GotoLine(0); a negative n finds nothing.
    bool GotoLine(int n) { return GotoLine(static_cast<unsigned>(n)); }
    // The first line, comment lines included, whose value 0 equals `key`
    // exactly; every line looked at gets its Accessed bit. False, with no
    // current line, when none matches (also for a null key).
    bool GotoLine(const wchar_t* key);

    // GotoLine, then the current line; null when it failed.
    CResourceEntry* GetLineByIndex(unsigned n);
    CResourceEntry* GetLineByKey(const wchar_t* key);
    // The key is the number as "%d" text.
    CResourceEntry* GetLineByKey(int key);

    // A new empty line at the front / the end; the current line stays. Null
    // for a read-only or unbound cursor, or an entry that is no list.
    CResourceEntry* AddLineHead();
    CResourceEntry* AddLineTail();
    // A new empty line before the current line (in front without one); the
    // current line stays. Null as for AddLineHead.
    CResourceEntry* InsertLine();
    // Deletes the current line; the line before it (whatever it is, a comment
    // included) becomes current, or none when it was the first. Nothing
    // happens for a read-only cursor or without a current line.
    void RemoveCurrent();
    // Deletes every line of the list; no current line afterwards. Nothing
    // happens for a read-only cursor.
    void RemoveAll();

private:
    // Takes the line at pos out of the list and deletes it.
    void RemoveAt(POSITION pos);
    // The first non-comment line at or after pos (forwards) / at or before
    // pos (backwards); null when there is none.
    POSITION SkipCommentsForward(POSITION pos) const;
    POSITION SkipCommentsBackward(POSITION pos) const;

    CResourceEntry* m_entry = nullptr;
    POSITION m_pos = nullptr;
    bool m_readOnly = false;
};
