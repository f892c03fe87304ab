// FrameList: the frames an animation or a trajectory plays, in order, none of them owned.
#pragma once

#include <cstddef>
#include <unordered_set>
#include <vector>

#include <tavrel/foundation/TreeNode.h>

namespace Tavrel {

// Each frame is kept with its tree node, so a frame being destroyed (whose most-derived parts are
// already gone) is found and handled through its node, without touching it as a T. Membership is O(1); finding a
// position and removing one are O(n), as in any list.
template <class T>
class FrameList {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    std::size_t Size() const { return m_entries.size(); }
    bool IsEmpty() const { return m_entries.empty(); }
    T* At(std::size_t position) const { return m_entries[position].frame; }
    // The frame's node: what registrations and hints act on, also while the frame is being destroyed.
    TreeNode* Node(std::size_t position) const { return m_entries[position].node; }
    bool Contains(const TreeNode* node) const { return m_members.contains(node); }

    // The position of the frame on that node, npos when it is none.
    std::size_t Find(const TreeNode* node) const
    {
        if (!Contains(node))
            return npos;
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].node == node)
                return i;
        }
        return npos;
    }

    // False, with nothing changed, for a frame already listed.
    bool Append(T* frame)
    {
        if (!m_members.insert(frame).second)
            return false;
        m_entries.push_back({frame, frame});
        return true;
    }

    void Erase(std::size_t position)
    {
        m_members.erase(m_entries[position].node);
        m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(position));
    }

    void Clear()
    {
        m_entries.clear();
        m_members.clear();
    }

    // visit(TreeNode*) for each frame's node in order; the list must not change meanwhile.
    template <class Visit>
    void ForEachNode(Visit&& visit) const
    {
        for (const Entry& entry : m_entries)
            visit(entry.node);
    }

    // The frames in order.
    std::vector<T*> Frames() const
    {
        std::vector<T*> frames;
        frames.reserve(m_entries.size());
        for (const Entry& entry : m_entries)
            frames.push_back(entry.frame);
        return frames;
    }

private:
    struct Entry {
        T* frame;
        TreeNode* node;
    };

    std::vector<Entry> m_entries;
    std::unordered_set<const TreeNode*> m_members;
};

} // namespace Tavrel
