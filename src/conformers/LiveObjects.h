// LiveObjects: the live objects of one rare class in the process, so that a tree's ones are found without walking the tree.
#pragma once

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/foundation/TreeNode.h>

namespace Tavrel {

// Objects of one tree in its pre-order, each once: their number times the tree's depth, and a sort.
template <class T>
std::vector<T*> InPreOrder(const std::vector<T*>& objects)
{
    std::vector<std::pair<IntArray, T*>> placed;
    placed.reserve(objects.size());
    for (T* const object : objects) {
        IntArray path;
        path.resize(static_cast<std::size_t>(object->GetTreePosition(path, true)));
        placed.emplace_back(std::move(path), object);
    }
    std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<T*> ordered;
    ordered.reserve(placed.size());
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (i == 0 || placed[i].second != placed[i - 1].second)
            ordered.push_back(placed[i].second);
    }
    return ordered;
}

// For classes with few objects (conformer models, tokens) that a save or load must find among
// millions of atoms: each object enters itself when made (its constructors, and DeepenShallowCopy
// for a copy) and leaves when destroyed. Finding the ones below a root costs their number times the
// tree's depth, not the size of the tree.
template <class T>
class LiveObjects {
public:
    LiveObjects() = delete;

    static void Enter(T* object) { Listed().insert(object); }
    static void Leave(T* object) { Listed().erase(object); }

    // The objects below root (root too with includeRoot), in pre-order.
    static std::vector<T*> Below(const TreeNode& root, bool includeRoot)
    {
        std::vector<T*> found;
        for (T* const object : Listed()) {
            if (object == &root ? includeRoot : object->HasAncestor(&root))
                found.push_back(object);
        }
        return InPreOrder(found);
    }

private:
    // Never destroyed: objects may outlive the other statics.
    static std::unordered_set<T*>& Listed()
    {
        static auto* const listed = new std::unordered_set<T*>();
        return *listed;
    }
};

} // namespace Tavrel
