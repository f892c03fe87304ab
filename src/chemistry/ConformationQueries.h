// ConformationQueries: what a molecule asks of the conformations among its children, answered by a higher folder.
#pragma once

namespace Tavrel {

class TreeNode;

// The conformers folder installs the answers at start-up; the answers given here are those of a
// node that is no conformation.
class ConformationQueries {
public:
    virtual ~ConformationQueries() = default;

    // Whether the node is a two-dimensional conformation.
    virtual bool Is2DConformation(const TreeNode& node) const;

    // The installed answers.
    static const ConformationQueries& Installed();
    // Installs the answers (null: those given here) and returns the ones replaced; they must outlive
    // their installation.
    static const ConformationQueries* Install(const ConformationQueries* queries);
};

} // namespace Tavrel
