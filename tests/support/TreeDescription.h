// TreeDescription: what the text interface shows of a whole tree, for tests and fuzz targets that
// check a save and reload.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Bondable.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/ObjectProperty.h>
#include <tavrel/foundation/TreeNode.h>

namespace Tavrel {

// In pre-order, without recursion: each node's class, child count and LID; an object's label, states
// and every property (and user property, when asked) as text; a collection's size; a bond's two ends
// and an atom's bonds in order, each as its place in the walk ("-" and the class for one outside the
// tree). A file may mark a user property temporary, and the next save drops it: compare user
// properties from a saved tree on. Reading some properties as text stores what they compute (an
// atom's chirality): describe a tree after saving it. When shown is given, a node's LID ("Logical Id"),
// label ("label") and properties are listed only where it answers true for the node and the name.
inline std::vector<std::string> DescribeTree(
    TreeNode& top, bool withUserProperties,
    const std::function<bool(const TreeNode&, std::string_view)>& shown = {})
{
    const auto show = [&shown](const TreeNode& node, std::string_view name) { return !shown || shown(node, name); };
    std::vector<TreeNode*> order;
    for (std::vector<TreeNode*> walk{&top}; !walk.empty();) {
        TreeNode* const node = walk.back();
        walk.pop_back();
        order.push_back(node);
        for (int i = node->GetNumChildren(); i-- > 0;)
            walk.push_back(node->GetChild(i));
    }
    std::unordered_map<const TreeNode*, std::size_t> place;
    for (std::size_t i = 0; i < order.size(); ++i)
        place.emplace(order[i], i);
    const auto placeOf = [&place](const TreeNode* node) {
        if (!node)
            return std::string("null");
        const auto found = place.find(node);
        return found != place.end() ? std::to_string(found->second) : "-" + std::string(node->GetClassNameA());
    };

    std::vector<std::string> fields;
    for (TreeNode* const node : order) {
        fields.insert(fields.end(), {node->GetClassNameA(), std::to_string(node->GetNumChildren())});
        if (show(*node, "Logical Id"))
            fields.push_back(std::to_string(node->GetLID()));
        if (auto* const object = DynCast<Object>(node)) {
            if (show(*node, "label"))
                fields.push_back(object->GetLabel());
            fields.push_back(std::to_string(object->IsObjectSelected()) + std::to_string(object->IsVisible()) +
                             std::to_string(object->IsClipped()));
            ObjectProperty::Array properties;
            object->GetProperties(properties);
            if (withUserProperties)
                object->GetUserProperties(properties);
            for (const ObjectProperty& property : properties) {
                if (!show(*node, property.GetName()))
                    continue;
                fields.push_back(property.GetName());
                fields.push_back(property.GetStringValue());
            }
        }
        if (const auto* const collection = DynCast<BaseCollection>(node))
            fields.push_back(std::to_string(collection->GetNumItems()));
        if (const auto* const bond = DynCast<Bond>(node))
            fields.push_back("ends " + placeOf(bond->GetAtom1()) + " " + placeOf(bond->GetAtom2()));
        if (const auto* const bondable = DynCast<Bondable>(node)) {
            std::string bonds = "bonds";
            for (int i = 0; i < bondable->GetNumBonds(); ++i)
                bonds += " " + placeOf(bondable->GetBond(i));
            fields.push_back(std::move(bonds));
        }
    }
    return fields;
}

} // namespace Tavrel
