// Pattern: the interface of value patterns (number ranges, regular expressions) used by filters.
#pragma once

#include <memory>

namespace Tavrel {

// A pattern stores one option flag whose meaning belongs to the concrete pattern; callers pass it
// back to Match (GetFlag) or choose another value for one call.
template <class T>
class Pattern {
public:
    virtual ~Pattern() = default;

    // A new pattern of the same class and contents; the caller owns it.
    virtual std::unique_ptr<Pattern> Copy() const = 0;
    virtual bool Match(const T& value, bool flag) const = 0;
    // Match with the pattern's own flag.
    bool Match(const T& value) const { return Match(value, m_flag); }

    bool GetFlag() const { return m_flag; }
    void SetFlag(bool flag) { m_flag = flag; }

protected:
    explicit Pattern(bool flag) : m_flag(flag) {}
    Pattern(const Pattern&) = default;
    Pattern& operator=(const Pattern&) = default;

private:
    bool m_flag;
};

} // namespace Tavrel
