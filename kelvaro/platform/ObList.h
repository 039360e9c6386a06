// CObList: doubly linked list of CObject pointers with stable positions, the framework's
// list that the library keeps its sea chains and pending items in. Nodes come from blocks
// of `blockSize` and are reused after removal, so building a long list costs few allocations.
// The list never owns the objects; a null POSITION where a node is required throws
// std::invalid_argument, as does asking an empty list for its head or tail.
#pragma once

#include "kelvaro/platform/Object.h"
#include "kelvaro/platform/Types.h"

#include <memory>
#include <vector>

class CObList {
public:
    // A blockSize below 1 counts as 1.
    explicit CObList(int blockSize = 10);
    ~CObList();
    CObList(const CObList&) = delete;
    CObList& operator=(const CObList&) = delete;

    int GetCount() const noexcept { return m_count; }
    int GetSize() const noexcept { return m_count; }
    bool IsEmpty() const noexcept { return m_count == 0; }

    CObject*& GetHead();
    CObject* GetHead() const;
    CObject*& GetTail();
    CObject* GetTail() const;
    CObject* RemoveHead();
    CObject* RemoveTail();

    POSITION AddHead(CObject* value);
    POSITION AddTail(CObject* value);
    // Empties the list and gives all node blocks back.
    void RemoveAll();

    POSITION GetHeadPosition() const noexcept;
    POSITION GetTailPosition() const noexcept;

    // Returns the element at pos and moves pos on (null after the last / before the first).
    CObject*& GetNext(POSITION& pos);
    CObject* GetNext(POSITION& pos) const;
    CObject*& GetPrev(POSITION& pos);
    CObject* GetPrev(POSITION& pos) const;

    CObject*& GetAt(POSITION pos);
    CObject* GetAt(POSITION pos) const;
    void SetAt(POSITION pos, CObject* value);
    // Removes the node at pos; other positions stay valid.
    void RemoveAt(POSITION pos);
    // A null pos inserts at the head (InsertBefore) or the tail (InsertAfter).
    POSITION InsertBefore(POSITION pos, CObject* value);
    POSITION InsertAfter(POSITION pos, CObject* value);

    // First node holding value after startAfter (from the head when null); null when none.
    POSITION Find(CObject* value, POSITION startAfter = nullptr) const;
    // Node number index counted from the head; null when index is out of range.
    POSITION FindIndex(int index) const;

private:
    struct CNode {
        CNode* pNext;
        CNode* pPrev;
        CObject* data;
    };

    CNode* NewNode(CNode* prev, CNode* next, CObject* value);
    void FreeNode(CNode* node) noexcept;
    static CNode* NodeAt(POSITION pos);
    static POSITION ToPosition(CNode* node) noexcept { return reinterpret_cast<POSITION>(node); }

    CNode* m_pNodeHead = nullptr;
    CNode* m_pNodeTail = nullptr;
    CNode* m_pNodeFree = nullptr;
    int m_count = 0;
    int m_blockSize;
    std::vector<std::unique_ptr<CNode[]>> m_blocks;
};
