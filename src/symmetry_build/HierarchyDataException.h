// HierarchyDataException: thrown by a failing step of the crystal build and caught only by the build's rebuild.
#pragma once

#include <string>
#include <utility>

namespace Tavrel {

class HierarchyDataException {
public:
    HierarchyDataException() : m_text("Algorithm Error") {}
    explicit HierarchyDataException(std::string text) : m_text(std::move(text)) {}
    HierarchyDataException(const HierarchyDataException&) = default;
    HierarchyDataException& operator=(const HierarchyDataException&) = default;
    virtual ~HierarchyDataException() = default;

    virtual const std::string& GetText() const { return m_text; }

private:
    std::string m_text;
};

} // namespace Tavrel
