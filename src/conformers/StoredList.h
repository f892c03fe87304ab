// StoredList: a list of objects that a record stores as one reference to a record of a collection.
#pragma once

#include <cstddef>
#include <memory>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/BaseCollection.h>

namespace Tavrel {

// The collection C (an OrdCollection keeps the list's order and null entries, a SetCollection its
// members) is made from the list before the record is written and goes once the record has been
// written, so the stream writes it as the record of a collection of its own. Older records held the
// list as an array of references: reading takes either form. A copy of the holder starts empty.
template <class C>
class StoredList {
public:
    StoredList() = default;
    StoredList(const StoredList&) noexcept {}
    StoredList& operator=(const StoredList&) noexcept { return *this; }

    // Writing: the collection of the objects (a range of Object pointers) until Drop.
    template <class Objects>
    void Make(const Objects& objects)
    {
        m_collection = std::make_unique<C>();
        for (Object* const object : objects)
            m_collection->Add(object);
    }
    C* Get() const { return m_collection.get(); }
    void Drop() { m_collection.reset(); }

    // Reading: the record holds the list as an array of references, whose elements follow.
    void ReadingArray() { m_array = true; }
    // Reading: take(index, object) for each object of what was read, the entries of a collection C in
    // order or the element of an array; an object that is neither gives nothing. take returns whether
    // it kept the object. True when the object read is kept (an element take kept), false otherwise (a
    // collection, an element of another kind), which the reader then frees. An array never held
    // collections: one read in its place (a record that names the list twice) counts as null.
    template <class Take>
    bool Read(std::size_t index, Base* read, Take&& take)
    {
        if (m_array) {
            const bool collection = IsA<BaseCollection>(read);
            return take(index, collection ? nullptr : DynCast<Object>(read)) && !collection;
        }
        if (const C* const collection = DynCast<C>(read)) {
            std::size_t at = 0;
            for (POSITION position = collection->GetStartPosition(); position;)
                take(at++, collection->GetNext(position));
        }
        return false;
    }

private:
    std::unique_ptr<C> m_collection;
    bool m_array = false;
};

} // namespace Tavrel
