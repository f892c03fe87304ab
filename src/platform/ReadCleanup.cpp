#include <tavrel/platform/ReadCleanup.h>

namespace Tavrel {

namespace {

const ReadCleanup& Neutral()
{
    static const ReadCleanup neutral;
    return neutral;
}

const ReadCleanup*& Current()
{
    static const ReadCleanup* current = &Neutral();
    return current;
}

} // namespace

std::uint64_t ReadCleanup::Mark() const
{
    return 0;
}

void ReadCleanup::Settle(std::uint64_t) const {}

void ReadCleanup::Sweep(std::uint64_t) const {}

const ReadCleanup& ReadCleanup::Installed()
{
    return *Current();
}

const ReadCleanup* ReadCleanup::Install(const ReadCleanup* cleanup)
{
    const ReadCleanup* const previous = Current();
    Current() = cleanup ? cleanup : &Neutral();
    return previous;
}

} // namespace Tavrel
