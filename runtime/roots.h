// Values that C++ code keeps across a call that may allocate. Every collection marks them and rewrites
// their node ids when nodes move. Roots nest like the C++ scopes that hold them: the newest is destroyed
// first, which keeps registration a push and a pop.
#pragma once

#include <cstddef>

#include "runtime/assert.h"
#include "runtime/cell.h"

namespace xol {

class Rooted;
class RootedNode;
class PinnedAddress;

namespace roots {

struct RootsState {
    Rooted* newest_cell = nullptr;
    RootedNode* newest_node = nullptr;
    PinnedAddress* newest_pinned = nullptr;
};
extern RootsState state;

}

class Rooted {
public:
    explicit Rooted(Cell const& value)
        : m_cell(value)
        , m_previous(roots::state.newest_cell)
    {
        roots::state.newest_cell = this;
    }
    ~Rooted()
    {
        XOL_ASSERT(roots::state.newest_cell == this, "roots released out of order");
        roots::state.newest_cell = m_previous;
    }
    Rooted(Rooted const&) = delete;
    Rooted& operator=(Rooted const&) = delete;

    Cell& operator*() { return m_cell; }
    Cell const& operator*() const { return m_cell; }
    Cell* operator->() { return &m_cell; }
    Rooted* previous() const { return m_previous; }

private:
    Cell m_cell;
    Rooted* m_previous;
};

// A bare node id kept by C++ code (a series being grown, a table being filled).
class RootedNode {
public:
    explicit RootedNode(NodeId node)
        : m_node(node)
        , m_previous(roots::state.newest_node)
    {
        roots::state.newest_node = this;
    }
    ~RootedNode()
    {
        XOL_ASSERT(roots::state.newest_node == this, "roots released out of order");
        roots::state.newest_node = m_previous;
    }
    RootedNode(RootedNode const&) = delete;
    RootedNode& operator=(RootedNode const&) = delete;

    NodeId& operator*() { return m_node; }
    NodeId operator*() const { return m_node; }
    RootedNode* previous() const { return m_previous; }

private:
    NodeId m_node;
    RootedNode* m_previous;
};

// A raw address into a series buffer that a loop keeps across calls that may allocate (the evaluator's
// position in its block): compaction moves it along with its buffer. It does not keep the buffer alive;
// whoever holds the address roots the value.
class PinnedAddress {
public:
    explicit PinnedAddress(void* address)
        : m_address(static_cast<std::byte*>(address))
        , m_previous(roots::state.newest_pinned)
    {
        roots::state.newest_pinned = this;
    }
    ~PinnedAddress()
    {
        XOL_ASSERT(roots::state.newest_pinned == this, "roots released out of order");
        roots::state.newest_pinned = m_previous;
    }
    PinnedAddress(PinnedAddress const&) = delete;
    PinnedAddress& operator=(PinnedAddress const&) = delete;

    std::byte*& address() { return m_address; }
    PinnedAddress* previous() const { return m_previous; }

private:
    std::byte* m_address;
    PinnedAddress* m_previous;
};

template <typename T> class Pinned : public PinnedAddress {
public:
    explicit Pinned(T* address)
        : PinnedAddress(address)
    {
    }
    T* get() { return reinterpret_cast<T*>(address()); }
    void set(T* given) { address() = reinterpret_cast<std::byte*>(given); }
    T* operator->() { return get(); }
    T& operator*() { return *get(); }
};

namespace roots {

template <typename Visit> void for_each_pinned(Visit&& visit)
{
    for (PinnedAddress* root = state.newest_pinned; root; root = root->previous()) visit(root->address());
}

template <typename Visit> void for_each_cell(Visit&& visit)
{
    for (Rooted* root = state.newest_cell; root; root = root->previous()) visit(**root);
}

template <typename Visit> void for_each_node(Visit&& visit)
{
    for (RootedNode* root = state.newest_node; root; root = root->previous()) visit(**root);
}

}

}
