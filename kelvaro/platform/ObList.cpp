#include "kelvaro/platform/ObList.h"

#include <stdexcept>

CObList::CObList(int blockSize) : m_blockSize(blockSize < 1 ? 1 : blockSize) {}

CObList::~CObList() = default;

CObList::CNode* CObList::NodeAt(POSITION pos)
{
    if (pos == nullptr || pos == BEFORE_START_POSITION)
        throw std::invalid_argument("CObList: invalid POSITION");
    return reinterpret_cast<CNode*>(pos);
}

CObList::CNode* CObList::NewNode(CNode* prev, CNode* next, CObject* value)
{
    if (m_pNodeFree == nullptr) {
        // Keep the block before chaining it: if keeping it throws, nothing is lost.
        m_blocks.push_back(std::make_unique<CNode[]>(static_cast<std::size_t>(m_blockSize)));
        CNode* block = m_blocks.back().get();
        for (int i = m_blockSize - 1; i >= 0; --i) {
            block[i].pNext = m_pNodeFree;
            m_pNodeFree = &block[i];
        }
    }
    CNode* node = m_pNodeFree;
    m_pNodeFree = node->pNext;
    node->pPrev = prev;
    node->pNext = next;
    node->data = value;
    ++m_count;
    return node;
}

void CObList::FreeNode(CNode* node) noexcept
{
    node->pNext = m_pNodeFree;
    node->pPrev = nullptr;
    node->data = nullptr;
    m_pNodeFree = node;
    --m_count;
    if (m_count == 0)
        RemoveAll(); // an empty list gives its blocks back
}

CObject*& CObList::GetHead()
{
    if (m_pNodeHead == nullptr)
        throw std::invalid_argument("CObList::GetHead: the list is empty");
    return m_pNodeHead->data;
}

CObject* CObList::GetHead() const
{
    if (m_pNodeHead == nullptr)
        throw std::invalid_argument("CObList::GetHead: the list is empty");
    return m_pNodeHead->data;
}

CObject*& CObList::GetTail()
{
    if (m_pNodeTail == nullptr)
        throw std::invalid_argument("CObList::GetTail: the list is empty");
    return m_pNodeTail->data;
}

CObject* CObList::GetTail() const
{
    if (m_pNodeTail == nullptr)
        throw std::invalid_argument("CObList::GetTail: the list is empty");
    return m_pNodeTail->data;
}

CObject* CObList::RemoveHead()
{
    if (m_pNodeHead == nullptr)
        throw std::invalid_argument("CObList::RemoveHead: the list is empty");
    CNode* node = m_pNodeHead;
    CObject* value = node->data;
    m_pNodeHead = node->pNext;
    if (m_pNodeHead != nullptr)
        m_pNodeHead->pPrev = nullptr;
    else
        m_pNodeTail = nullptr;
    FreeNode(node);
    return value;
}

CObject* CObList::RemoveTail()
{
    if (m_pNodeTail == nullptr)
        throw std::invalid_argument("CObList::RemoveTail: the list is empty");
    CNode* node = m_pNodeTail;
    CObject* value = node->data;
    m_pNodeTail = node->pPrev;
    if (m_pNodeTail != nullptr)
        m_pNodeTail->pNext = nullptr;
    else
        m_pNodeHead = nullptr;
    FreeNode(node);
    return value;
}

POSITION CObList::AddHead(CObject* value)
{
    CNode* node = NewNode(nullptr, m_pNodeHead, value);
    if (m_pNodeHead != nullptr)
        m_pNodeHead->pPrev = node;
    else
        m_pNodeTail = node;
    m_pNodeHead = node;
    return ToPosition(node);
}

POSITION CObList::AddTail(CObject* value)
{
    CNode* node = NewNode(m_pNodeTail, nullptr, value);
    if (m_pNodeTail != nullptr)
        m_pNodeTail->pNext = node;
    else
        m_pNodeHead = node;
    m_pNodeTail = node;
    return ToPosition(node);
}

void CObList::RemoveAll()
{
    m_pNodeHead = m_pNodeTail = m_pNodeFree = nullptr;
    m_count = 0;
    m_blocks.clear();
}

POSITION CObList::GetHeadPosition() const noexcept
{
    return ToPosition(m_pNodeHead);
}

POSITION CObList::GetTailPosition() const noexcept
{
    return ToPosition(m_pNodeTail);
}

CObject*& CObList::GetNext(POSITION& pos)
{
    CNode* node = NodeAt(pos);
    pos = ToPosition(node->pNext);
    return node->data;
}

CObject* CObList::GetNext(POSITION& pos) const
{
    CNode* node = NodeAt(pos);
    pos = ToPosition(node->pNext);
    return node->data;
}

CObject*& CObList::GetPrev(POSITION& pos)
{
    CNode* node = NodeAt(pos);
    pos = ToPosition(node->pPrev);
    return node->data;
}

CObject* CObList::GetPrev(POSITION& pos) const
{
    CNode* node = NodeAt(pos);
    pos = ToPosition(node->pPrev);
    return node->data;
}

CObject*& CObList::GetAt(POSITION pos)
{
    return NodeAt(pos)->data;
}

CObject* CObList::GetAt(POSITION pos) const
{
    return NodeAt(pos)->data;
}

void CObList::SetAt(POSITION pos, CObject* value)
{
    NodeAt(pos)->data = value;
}

void CObList::RemoveAt(POSITION pos)
{
    CNode* node = NodeAt(pos);
    if (node->pPrev != nullptr)
        node->pPrev->pNext = node->pNext;
    else
        m_pNodeHead = node->pNext;
    if (node->pNext != nullptr)
        node->pNext->pPrev = node->pPrev;
    else
        m_pNodeTail = node->pPrev;
    FreeNode(node);
}

POSITION CObList::InsertBefore(POSITION pos, CObject* value)
{
    if (pos == nullptr)
        return AddHead(value);
    CNode* old = NodeAt(pos);
    CNode* node = NewNode(old->pPrev, old, value);
    if (old->pPrev != nullptr)
        old->pPrev->pNext = node;
    else
        m_pNodeHead = node;
    old->pPrev = node;
    return ToPosition(node);
}

POSITION CObList::InsertAfter(POSITION pos, CObject* value)
{
    if (pos == nullptr)
        return AddTail(value);
    CNode* old = NodeAt(pos);
    CNode* node = NewNode(old, old->pNext, value);
    if (old->pNext != nullptr)
        old->pNext->pPrev = node;
    else
        m_pNodeTail = node;
    old->pNext = node;
    return ToPosition(node);
}

POSITION CObList::Find(CObject* value, POSITION startAfter) const
{
    const CNode* node = startAfter == nullptr ? m_pNodeHead : NodeAt(startAfter)->pNext;
    for (; node != nullptr; node = node->pNext)
        if (node->data == value)
            return ToPosition(const_cast<CNode*>(node));
    return nullptr;
}

POSITION CObList::FindIndex(int index) const
{
    if (index < 0 || index >= m_count)
        return nullptr;
    // Walk from the nearer end.
    if (index <= m_count / 2) {
        CNode* node = m_pNodeHead;
        while (index-- > 0)
            node = node->pNext;
        return ToPosition(node);
    }
    CNode* node = m_pNodeTail;
    for (int i = m_count - 1; i > index; --i)
        node = node->pPrev;
    return ToPosition(node);
}
