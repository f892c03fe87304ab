#include <tavrel/foundation/BaseCollection.h>

#include <memory>

#include <tavrel/foundation/CopyEnumerator.h>
#include <tavrel/foundation/FilterType.h>
#include <tavrel/foundation/Iterator.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(BaseCollection)

BaseCollection::BaseCollection(Object* parent) : Object(parent) {}

bool BaseCollection::Copy(BaseCollection&) const
{
    return false;
}

void BaseCollection::SetSize(int, int) {}

bool BaseCollection::IsEmpty() const
{
    return true;
}

bool BaseCollection::Add(Object*)
{
    return false;
}

bool BaseCollection::Add(const Iterator& iterator)
{
    const std::unique_ptr<Iterator> walk = iterator.Copy();
    while (Object* object = walk->GetNext())
        Add(object);
    return true;
}

bool BaseCollection::Add(const BaseCollection& other)
{
    CopyEnumerator copier(*this, nullptr);
    other.Enumerate(copier);
    return copier.GetCount() > 0;
}

int BaseCollection::GetNumItems() const
{
    return 0;
}

int BaseCollection::GetSize() const
{
    return GetNumItems();
}

void BaseCollection::RemoveAll() {}

void BaseCollection::ApplyFilter(const std::uint32_t* types, int count, FilterMode mode)
{
    ApplyFilter(FilterType(types, count, Filter::Include), mode);
}

void BaseCollection::ApplyFilter(std::uint32_t type, FilterMode mode)
{
    ApplyFilter(FilterType(type, Filter::Include), mode);
}

void BaseCollection::ApplyFilter(const Filter&, FilterMode) {}

int BaseCollection::GetFilteredObjects(BaseCollection& out, const Filter& filter) const
{
    CopyEnumerator copier(out, &filter);
    Enumerate(copier);
    return out.GetSize();
}

bool BaseCollection::Enumerate(Enumerator&) const
{
    return false;
}

Object* BaseCollection::FindCommonAncestor() const
{
    POSITION position = GetStartPosition();
    const TreeNode* common = nullptr;
    while (position) {
        const Object* object = GetNext(position);
        if (!object || object == common)
            continue;
        common = common ? common->FindCommonAncestor(object) : object;
        if (!common)
            return nullptr;
    }
    return DynCast<Object>(const_cast<TreeNode*>(common));
}

void BaseCollection::DropDeleted() {}

POSITION BaseCollection::GetStartPosition() const
{
    return 0;
}

Object* BaseCollection::GetNext(POSITION& position) const
{
    position = 0;
    return nullptr;
}

} // namespace Tavrel
