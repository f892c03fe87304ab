// Test-only counts of the property stream's records, and of those a plan wrote or read.
#pragma once

#include <cstddef>

namespace Tavrel {

// Records written and read in this process, and of them those whose values went by a plan from the
// first to the last (PropertyPlan). Tests compare them before and after an operation.
struct StreamRecordCounts {
    std::size_t written = 0;
    std::size_t writtenByPlan = 0;
    std::size_t read = 0;
    std::size_t readByPlan = 0;
};
StreamRecordCounts CountStreamRecordsForTests();

} // namespace Tavrel
