// Specification: a class name and a property expression that select descendants of objects.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace Tavrel {

class BaseCollection;
class Filter;
class Object;

// "Atom Element=C,Element=N": the class name (as class lookups take it: any case, with or without
// "XX", common names first) up to the first blank, tab, newline or carriage return, then the
// conditions. An object is selected when it IsA the class and satisfies the expression. A text
// without such white space, a class name no class carries, or no conditions select nothing.
class Specification {
public:
    // Keeps the text trimmed of leading and trailing white space.
    explicit Specification(std::string_view text);
    Specification(const Specification&) = default;
    Specification& operator=(const Specification&) = default;
    virtual ~Specification() = default;

    virtual std::unique_ptr<Specification> Copy() const;
    const std::string& GetText() const { return m_text; }

    // Adds to out (through its Add of an iterator) the selected descendants of every non-null entry
    // of in, entry by entry, each in pre-order (an entry itself is never added). False when no filter
    // could be made.
    virtual bool GetObjects(const BaseCollection& in, BaseCollection& out) const;
    // The selected descendants of root, in pre-order; root itself is never added.
    virtual bool GetObjects(Object* root, BaseCollection& out) const;

protected:
    // The selecting filter of a specification text; null when none can be made.
    virtual std::unique_ptr<Filter> CreateFilter(std::string_view text) const;

private:
    std::string m_text;
};

} // namespace Tavrel
