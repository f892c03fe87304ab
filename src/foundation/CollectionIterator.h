// CollectionIterator: the iterator over the entries of a collection, in its walking order.
#pragma once

#include <memory>

#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/Filter.h>
#include <tavrel/foundation/Iterator.h>

namespace Tavrel {

// Yields the non-null entries the filter accepts (all of them without a filter): index order for an
// OrdCollection, the set's walking order for a SetCollection. The collection must outlive the
// iterator; a null collection gives an empty iterator.
class CollectionIterator : public Iterator {
public:
    explicit CollectionIterator(const BaseCollection* collection);
    // Keeps a copy of the filter (none for a null collection).
    CollectionIterator(const BaseCollection* collection, const Filter& filter);

    Object* GetNext() override;
    void Reset() override;
    std::unique_ptr<Iterator> Copy() const override;
    // What GetNext would return; the iterator does not move.
    virtual Object* PeekNext() const;

private:
    // The next accepted entry from the position on, which it advances.
    Object* Advance(POSITION& position) const;

    const BaseCollection* m_collection;
    OwnedFilter m_filter;
    POSITION m_position;
};

} // namespace Tavrel
