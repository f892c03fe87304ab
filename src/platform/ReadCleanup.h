// ReadCleanup: what the object model does around an archive's outermost reads, installed at start-up.
#pragma once

#include <cstdint>

namespace Tavrel {

// The answers given here are those of objects that hold nothing of one another: nothing to settle,
// nothing left to free. The object model installs its own when the library loads.
class ReadCleanup {
public:
    virtual ~ReadCleanup() = default;

    // A mark of what exists before a read begins.
    virtual std::uint64_t Mark() const;
    // The objects made since the mark drop the links only one side holds (PersistentObject::
    // SettleLinks): before a refused read frees any of them, and once a read has ended.
    virtual void Settle(std::uint64_t mark) const;
    // After a refused read: frees what it made since the mark and nothing took.
    virtual void Sweep(std::uint64_t mark) const;

    // The installed answers.
    static const ReadCleanup& Installed();
    // Installs the answers (null: those given here) and returns the ones replaced; they must outlive
    // their installation.
    static const ReadCleanup* Install(const ReadCleanup* cleanup);
};

} // namespace Tavrel
