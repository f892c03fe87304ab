// Filter: the predicate on model objects that restricts iterators, enumerators and collections.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

namespace Tavrel {

class Object;

// A filter tests one thing about an object (DoTest); its mode then keeps or negates the verdict for
// the whole test, so an Exclude filter accepts a null object. Filters are small values: whoever
// receives one keeps its own Copy.
class Filter {
public:
    enum class FilterMode : std::uint8_t {
        Exclude = 0,  // accepts exactly what the test rejects
        Include = 1,  // accepts what the test accepts
    };
    using enum FilterMode;

    virtual ~Filter() = default;

    // A new filter of the same class and contents.
    virtual std::unique_ptr<Filter> Copy() const = 0;

    // The only way to test an object: the mode applied to the test.
    bool operator()(Object* object) const { return PostProcess(DoTest(object)); }

protected:
    explicit Filter(FilterMode mode) : m_mode(mode) {}
    Filter(const Filter&) = default;
    Filter& operator=(const Filter&) = default;

    // The result in Include mode, its negation in Exclude mode.
    virtual bool PostProcess(bool result) const;
    // Accepts any non-null object at this level.
    virtual bool DoTest(Object* object) const;

private:
    FilterMode m_mode;
};

// An optional filter held as an owned copy: copying the holder copies the filter.
class OwnedFilter {
public:
    OwnedFilter() = default;
    // A copy of the filter; none for null.
    explicit OwnedFilter(const Filter* filter) : m_filter(filter ? filter->Copy() : nullptr) {}
    explicit OwnedFilter(const Filter& filter) : m_filter(filter.Copy()) {}
    explicit OwnedFilter(std::unique_ptr<Filter> filter) : m_filter(std::move(filter)) {}
    OwnedFilter(const OwnedFilter& other) : OwnedFilter(other.m_filter.get()) {}
    OwnedFilter(OwnedFilter&&) noexcept = default;
    OwnedFilter& operator=(const OwnedFilter& other)
    {
        if (this != &other)
            m_filter = other.m_filter ? other.m_filter->Copy() : nullptr;
        return *this;
    }
    OwnedFilter& operator=(OwnedFilter&&) noexcept = default;
    ~OwnedFilter() = default;

    explicit operator bool() const { return m_filter != nullptr; }
    // The filter's verdict; true when there is no filter.
    bool Accepts(Object* object) const { return !m_filter || (*m_filter)(object); }

private:
    std::unique_ptr<Filter> m_filter;
};

} // namespace Tavrel
