// InternalCellBuildTree: the test seam that makes one step of every later crystal build fail.
#pragma once

#include <tavrel/symmetry_build/CellBuildTree.h>

namespace Tavrel::internal {

// Every build fails right after the step (before the markers for Finish) until reset with None.
void SetCellBuildTreeFailure(CellBuildTree::Step step);
CellBuildTree::Step GetCellBuildTreeFailure();

} // namespace Tavrel::internal
