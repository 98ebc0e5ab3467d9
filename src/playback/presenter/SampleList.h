// The sample lists of the presenter, its scheduler and its sample pool: doubly linked lists
// with a sentinel node embedded in the list, so that inserting and removing at either end
// never allocate more than the one node.
#pragma once

#include <new>

#include "platform/media/ComBase.h"

namespace orv::MediaFoundationSamples {

template <class T>
class List {
public:
    struct Node {
        Node* prev = nullptr;
        Node* next = nullptr;
        T item{};
    };
    // A place in the list; End() is the sentinel, which holds no item.
    using Position = Node*;

    List() { anchor_.prev = anchor_.next = &anchor_; }
    virtual ~List() { List::Clear(); }
    List(const List&) = delete;
    List& operator=(const List&) = delete;

    // A new node after `node`: after End() is the front, after the last node the back.
    virtual HRESULT InsertAfter(T item, Node* node) {
        if (!node) return E_POINTER;
        Node* n = new (std::nothrow) Node;
        if (!n) return E_OUTOFMEMORY;
        n->item = item;
        n->prev = node;
        n->next = node->next;
        node->next->prev = n;
        node->next = n;
        ++count_;
        return S_OK;
    }
    virtual HRESULT GetItem(const Node* node, T* item) const {
        if (!node || !item) return E_POINTER;
        *item = node->item;
        return S_OK;
    }
    // Unlinks and frees the node; its item goes to `item` when given.
    virtual HRESULT RemoveItem(Node* node, T* item) {
        if (!node) return E_POINTER;
        if (node == &anchor_) return E_INVALIDARG;
        node->prev->next = node->next;
        node->next->prev = node->prev;
        if (item) *item = node->item;
        delete node;
        --count_;
        return S_OK;
    }
    virtual void Clear() {
        Node* n = anchor_.next;
        while (n != &anchor_) {
            Node* next = n->next;
            delete n;
            n = next;
        }
        anchor_.prev = anchor_.next = &anchor_;
        count_ = 0;
    }

    HRESULT InsertFront(T item) { return InsertAfter(item, &anchor_); }
    HRESULT InsertBack(T item) { return InsertAfter(item, anchor_.prev); }
    // E_FAIL when the list is empty.
    HRESULT RemoveFront(T* item) { return IsEmpty() ? E_FAIL : RemoveItem(anchor_.next, item); }

    Position Front() { return anchor_.next; }
    Position End() { return &anchor_; }
    static Position Next(Position p) { return p->next; }
    UINT32 Count() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }

private:
    Node anchor_;
    UINT32 count_ = 0;
};

// A list that holds one counted reference per item: what goes in is AddRef'd, what comes out
// through GetItem carries a new reference, and RemoveItem hands the list's reference to the
// caller (or releases it when no out-pointer is given).
template <class T>
class ComPtrList : public List<T*> {
    using Base = List<T*>;

public:
    using typename Base::Node;

    ~ComPtrList() override { Clear(); }

    HRESULT InsertAfter(T* item, Node* node) override {
        if (!item) return E_POINTER;
        item->AddRef();
        const HRESULT hr = Base::InsertAfter(item, node);
        if (FAILED(hr)) item->Release();
        return hr;
    }
    HRESULT GetItem(const Node* node, T** item) const override {
        const HRESULT hr = Base::GetItem(node, item);
        if (SUCCEEDED(hr)) (*item)->AddRef();
        return hr;
    }
    HRESULT RemoveItem(Node* node, T** item) override {
        T* held = nullptr;
        const HRESULT hr = Base::RemoveItem(node, &held);
        if (SUCCEEDED(hr)) {
            if (item) *item = held;
            else held->Release();
        }
        return hr;
    }
    // One node at a time, so that the list is whole while an item's release runs.
    void Clear() override {
        while (SUCCEEDED(this->RemoveFront(nullptr))) {
        }
    }
};

}  // namespace orv::MediaFoundationSamples
