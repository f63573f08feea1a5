// Node-pooled doubly linked lists. Nodes come from blocks of blockSize nodes through a free
// list, so adding and removing entries does not allocate per entry; the blocks go back only when
// the list becomes empty or is destroyed. CLumoListT<T*> never touches its items;
// CLumoListP<T> may own them (freeMode 1: delete, 2: free()). Not thread-safe: a list is used by
// one thread, or under its owner's lock.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>

#include "LumoBase/LumoBase.h"

#define LUMO_LISTT_HEADER "cbb/inc/core/LumoBase/LumoListT.h"

template <typename T>
class CLumoListT;

template <typename T>
class CLumoListT<T*> : public CLumoObject {
public:
    struct Node {
        Node* next;
        Node* prev;
        T* item;
    };

    // traceName: the item type as the allocation-failure trace names it ("CLumoFile").
    explicit CLumoListT(uint32_t blockSize, const char* traceName = "void")
        : m_blockSize(blockSize), m_traceName(traceName ? traceName : "void") {}
    ~CLumoListT() override { CLumoListT::RemoveAll(); }
    CLumoListT(const CLumoListT&) = delete;
    CLumoListT& operator=(const CLumoListT&) = delete;

    // Releases every item (through the release hook), every node and every block.
    virtual void RemoveAll() {
        for (Node* n = m_head; n; n = n->next) ReleaseItem(&n->item);
        m_count = 0;
        m_head = m_tail = m_free = nullptr;
        while (m_blocks) {
            void* next = *static_cast<void**>(m_blocks);
            ::operator delete(m_blocks);
            m_blocks = next;
        }
    }

    // Appends item at the tail; its node, or null when no node could be had (the trace line is
    // printed and the list is unchanged).
    Node* AddTail(T* item) {
        if (!m_free && !AllocFreeNode()) {
            Trace("NewNode", 79);
            return nullptr;
        }
        Node* n = m_free;
        m_free = n->next;
        n->prev = m_tail;
        n->next = nullptr;
        n->item = item;
        ++m_count;
        if (m_tail)
            m_tail->next = n;
        else
            m_head = n;
        m_tail = n;
        return n;
    }

    // Takes the node out (its item is left alone); the last one out gives back every block.
    void Unlink(Node* n) {
        if (!n || m_count == 0) return;
        if (n->prev)
            n->prev->next = n->next;
        else
            m_head = n->next;
        if (n->next)
            n->next->prev = n->prev;
        else
            m_tail = n->prev;
        n->prev = nullptr;
        n->item = nullptr;
        n->next = m_free;
        m_free = n;
        if (--m_count == 0) RemoveAll();
    }

    uint32_t GetCount() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    Node* GetHeadNode() const { return m_head; }
    Node* GetTailNode() const { return m_tail; }
    uint32_t GetBlockSize() const { return m_blockSize; }
    // Blocks held now (what the list has allocated and not given back).
    uint32_t GetBlockCount() const {
        uint32_t k = 0;
        for (void* b = m_blocks; b; b = *static_cast<void**>(b)) ++k;
        return k;
    }
    // The node of the i-th item from the head, or null.
    Node* NodeAt(uint32_t i) const {
        Node* n = m_head;
        while (n && i--) n = n->next;
        return n;
    }
    // The node that holds item, or null.
    Node* Find(const T* item) const {
        for (Node* n = m_head; n; n = n->next)
            if (n->item == item) return n;
        return nullptr;
    }

protected:
    // Called by RemoveAll with each node's item slot; the plain list leaves items alone.
    virtual void ReleaseItem(T** slot) { (void)slot; }

private:
    // One block of m_blockSize nodes behind the pointer that chains the blocks; its nodes go onto
    // the free list in address order.
    bool AllocFreeNode() {
        if (m_blockSize == 0) {
            Trace("AllocFreeNode", 101);
            return false;
        }
        void* block = ::operator new(sizeof(void*) + size_t(m_blockSize) * sizeof(Node), std::nothrow);
        if (!block) {
            Trace("AllocFreeNode", 101);
            return false;
        }
        *static_cast<void**>(block) = m_blocks;
        m_blocks = block;
        Node* nodes = reinterpret_cast<Node*>(static_cast<char*>(block) + sizeof(void*));
        for (uint32_t i = m_blockSize; i-- > 0;) {
            nodes[i].prev = nullptr;
            nodes[i].item = nullptr;
            nodes[i].next = m_free;
            m_free = &nodes[i];
        }
        return m_free != nullptr;
    }
    void Trace(const char* function, int line) const {
        LumoPrintf("%s====>(Func = CLumoListT<class %s *>::%s, line = %d)\n", LUMO_LISTT_HEADER, m_traceName,
                   function, line);
    }

    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    Node* m_free = nullptr;
    void* m_blocks = nullptr;  // chain of blocks, newest first
    uint32_t m_blockSize;
    uint32_t m_count = 0;
    const char* m_traceName;
};

// A list of T* that may own its items: with ownsItems, RemoveAll (and so the destructor) deletes
// each item (freeMode 1) or free()s it (freeMode 2); any other mode leaves it alone.
template <typename T>
class CLumoListP : public CLumoListT<T*> {
public:
    enum FreeMode : uint32_t { FREE_NONE = 0, FREE_DELETE = 1, FREE_FREE = 2 };

    explicit CLumoListP(uint32_t blockSize, bool ownsItems = false, uint32_t freeMode = FREE_NONE,
                        const char* traceName = "void")
        : CLumoListT<T*>(blockSize, traceName), ownsItems(ownsItems), freeMode(freeMode) {}
    // Released here, while this list's hook is still the one called.
    ~CLumoListP() override { this->RemoveAll(); }

    bool ownsItems;
    uint32_t freeMode;

protected:
    void ReleaseItem(T** slot) override {
        if (!ownsItems || !slot || !*slot) return;
        if (freeMode == FREE_DELETE)
            delete *slot;
        else if (freeMode == FREE_FREE)
            std::free(*slot);
        else
            return;
        *slot = nullptr;
    }
};
