// SearchEnumerator: finds the first object that its filter accepts and stops the walk there.
#pragma once

#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

class SearchEnumerator : public Enumerator {
public:
    // Without a filter the first non-null object is found.
    explicit SearchEnumerator(const Filter* filter);
    SearchEnumerator(const SearchEnumerator&) = default;
    SearchEnumerator& operator=(const SearchEnumerator&) = default;

    // Forgets an earlier result.
    bool Initialize() override;
    // Records the first accepted object and stops the walk.
    bool Enumerate(Object* object, int index) override;

    // The object found, null when none.
    Object* GetObjectA() const { return m_found; }

private:
    Object* m_found = nullptr;
};

} // namespace Tavrel
