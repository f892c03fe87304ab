#include <tavrel/foundation/CollectionIterator.h>

namespace Tavrel {

CollectionIterator::CollectionIterator(const BaseCollection* collection)
    : m_collection(collection), m_position(collection ? collection->GetStartPosition() : 0)
{
}

CollectionIterator::CollectionIterator(const BaseCollection* collection, const Filter& filter)
    : m_collection(collection),
      m_filter(collection ? &filter : nullptr),
      m_position(collection ? collection->GetStartPosition() : 0)
{
}

Object* CollectionIterator::GetNext()
{
    return Advance(m_position);
}

void CollectionIterator::Reset()
{
    if (m_collection)
        m_position = m_collection->GetStartPosition();
}

std::unique_ptr<Iterator> CollectionIterator::Copy() const
{
    return std::make_unique<CollectionIterator>(*this);
}

Object* CollectionIterator::PeekNext() const
{
    POSITION position = m_position;
    return Advance(position);
}

Object* CollectionIterator::Advance(POSITION& position) const
{
    while (position && m_collection) {
        Object* object = m_collection->GetNext(position);
        if (object && m_filter.Accepts(object))
            return object;
    }
    return nullptr;
}

} // namespace Tavrel
