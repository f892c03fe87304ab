// NamedCollection: a labelled, always validating set that lives in the tree as a group of objects.
#pragma once

#include <string>
#include <string_view>

#include <tavrel/foundation/SetCollection.h>

namespace Tavrel {

// The name is the Object label; the common name of the class is "Group". Selection and visibility
// changes of the group are passed on to its members.
class NamedCollection : public SetCollection {
    TAVREL_CLASS_CONSTRUCTED(NamedCollection, SetCollection, Creatable)
public:
    // A validating set under parent (which may be null) labelled name.
    NamedCollection(Object* parent, std::string_view name);

    // "Group".
    std::string GetCommonName() const override;

    // The TreeNode operation on the group itself, then the same operation on every member. A group
    // reached again through its own members is not passed on twice.
    void Select(bool recursive) override;
    void UnSelect(bool recursive) override;
    void SetVisible(bool recursive) override;
    void SetInvisible(bool recursive) override;

private:
    // The operation on the group (flag true), then on every member while the group lives, unless the
    // group is already passing one on.
    template <class Operation>
    void PassOn(Operation&& operation);

    // Not taken by a copy made while the group passes an operation on.
    Uncopied<bool> m_passing;
};

} // namespace Tavrel
