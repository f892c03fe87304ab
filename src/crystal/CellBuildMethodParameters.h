// CellBuildMethodParameters: the parameters a named crystal build method takes, the base of each method's own.
#pragma once

namespace Tavrel {

// Carries the name of the method the parameters belong to.
class CellBuildMethodParameters {
public:
    explicit CellBuildMethodParameters(const char* methodName) : m_methodName(methodName) {}
    virtual ~CellBuildMethodParameters() = default;
    CellBuildMethodParameters(const CellBuildMethodParameters&) = default;
    CellBuildMethodParameters& operator=(const CellBuildMethodParameters&) = default;

    // Whether the build computes the bonds between images; false here.
    virtual bool GetComputeBonds() const { return false; }
    const char* GetMethodName() const { return m_methodName; }

private:
    const char* m_methodName;
};

} // namespace Tavrel
