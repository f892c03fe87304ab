// CellBuildOptions: the document-wide defaults a crystal build reads, answered by a higher folder.
#pragma once

#include <cstdint>

namespace Tavrel {

// The document folder installs its answers at start-up; the answers given here are the defaults of
// a library without documents.
class CellBuildOptions {
public:
    virtual ~CellBuildOptions() = default;

    // The colour of atoms a build makes by symmetry: 1 red, 2 green, 3 yellow, 4 blue, 5 magenta,
    // 6 cyan, 7 white, 8 grey; any other value colours them by element. 0 here.
    virtual std::int32_t GetDefaultSymmetryAtomColor() const;

    // The installed answers.
    static const CellBuildOptions& Installed();
    // Installs the answers (null: those given here) and returns the ones replaced; they must outlive
    // their installation.
    static const CellBuildOptions* Install(const CellBuildOptions* options);
};

} // namespace Tavrel
