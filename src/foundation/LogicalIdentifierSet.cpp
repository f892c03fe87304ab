#include <tavrel/foundation/LogicalIdentifierSet.h>

#include <memory>

#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/CollectionIterator.h>
#include <tavrel/foundation/Enumerator.h>
#include <tavrel/foundation/Filter.h>
#include <tavrel/foundation/Iterator.h>
#include <tavrel/foundation/TreeRoot.h>

namespace Tavrel {

LogicalIdentifierSet::LogicalIdentifierSet(const BaseCollection& collection)
{
    AddObjects(collection);
}

LogicalIdentifierSet::LogicalIdentifierSet(const Iterator& iterator)
{
    AddObjects(iterator);
}

LogicalIdentifierSet::LogicalIdentifierSet(Iterator* iterator)
{
    AddObjects(iterator);
}

void LogicalIdentifierSet::AddObject(const Object* object)
{
    if (object && object->GetLID() != 0)
        m_lids.insert(object->GetLID());
}

void LogicalIdentifierSet::AddObjects(const BaseCollection& collection)
{
    CollectionIterator walk(&collection);
    AddObjects(&walk);
}

void LogicalIdentifierSet::AddObjects(const Iterator& iterator)
{
    const std::unique_ptr<Iterator> walk = iterator.Copy();
    AddObjects(walk.get());
}

void LogicalIdentifierSet::AddObjects(Iterator* iterator)
{
    if (!iterator)
        return;
    while (const Object* const object = iterator->GetNext())
        AddObject(object);
}

void LogicalIdentifierSet::GetObjects(const TreeRoot& root, BaseCollection& collection) const
{
    for (const std::uint32_t lid : m_lids) {
        if (Object* const object = root.GetLogicalObject(lid))
            collection.Add(object);
    }
}

void LogicalIdentifierSet::GetObjects(const TreeRoot& root, const Filter& filter, BaseCollection& collection) const
{
    for (const std::uint32_t lid : m_lids) {
        Object* const object = root.GetLogicalObject(lid);
        if (object && filter(object))
            collection.Add(object);
    }
}

bool LogicalIdentifierSet::Enumerate(const TreeRoot& root, Enumerator& enumerator) const
{
    if (!enumerator.Initialize())
        return false;
    bool result = true;
    int index = 0;
    for (const std::uint32_t lid : m_lids) {
        const int position = index++;
        Object* const object = root.GetLogicalObject(lid);
        if (object && !enumerator.Enumerate(object, position)) {
            result = false;
            break;
        }
    }
    enumerator.Finalize();
    return result;
}

} // namespace Tavrel
