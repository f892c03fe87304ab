// What the text interface shows of a whole tree, for fuzz targets that check a save and reload.
#pragma once

#include <string>
#include <vector>

#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/ObjectProperty.h>
#include <tavrel/foundation/TreeNode.h>

namespace Tavrel {

// In pre-order, without recursion: each node's class, child count and LID; an object's label, states
// and every property (and user property, when asked) as text; a collection's size. A file may mark a
// user property temporary, and the next save drops it: compare user properties from a saved tree on.
inline std::vector<std::string> DescribeTree(TreeNode& top, bool withUserProperties)
{
    std::vector<std::string> fields;
    std::vector<TreeNode*> walk{&top};
    while (!walk.empty()) {
        TreeNode* const node = walk.back();
        walk.pop_back();
        fields.insert(fields.end(), {node->GetClassNameA(), std::to_string(node->GetNumChildren()),
                                     std::to_string(node->GetLID())});
        if (auto* const object = DynCast<Object>(node)) {
            fields.push_back(object->GetLabel());
            fields.push_back(std::to_string(object->IsObjectSelected()) + std::to_string(object->IsVisible()) +
                             std::to_string(object->IsClipped()));
            ObjectProperty::Array properties;
            object->GetProperties(properties);
            if (withUserProperties)
                object->GetUserProperties(properties);
            for (const ObjectProperty& property : properties) {
                fields.push_back(property.GetName());
                fields.push_back(property.GetStringValue());
            }
        }
        if (const auto* const collection = DynCast<BaseCollection>(node))
            fields.push_back(std::to_string(collection->GetNumItems()));
        for (int i = node->GetNumChildren(); i-- > 0;)
            walk.push_back(node->GetChild(i));
    }
    return fields;
}

} // namespace Tavrel
