// Values that C++ code keeps across a call that may allocate. Every collection marks them and rewrites
// their node ids when nodes move. Roots nest like the C++ scopes that hold them: the newest is destroyed
// first, which keeps registration a push and a pop.
#pragma once

#include "runtime/assert.h"
#include "runtime/cell.h"

namespace xol {

class Rooted;
class RootedNode;

namespace roots {

struct RootsState {
    Rooted* newest_cell = nullptr;
    RootedNode* newest_node = nullptr;
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

namespace roots {

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
