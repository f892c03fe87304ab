// A set of (class-type identifier, code) pairs that callers check out and back in, with an all-events pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_set>

namespace Tavrel {

class Event;

// One event kind; {0, 0} stands for all events.
struct EventId {
    std::uint32_t classType = 0;
    std::uint32_t eventType = 0;

    bool operator==(const EventId&) const = default;
};

class EventSet {
public:
    EventSet() = default;
    EventSet(const EventSet&) = default;
    EventSet& operator=(const EventSet&) = default;
    virtual ~EventSet() = default;

    // Removes the pair and returns true when the set holds it; otherwise false.
    virtual bool CheckInEvent(const EventId& id);
    virtual bool CheckInEvent(std::uint32_t classType, std::uint16_t eventType);
    virtual bool CheckInEvent(const Event& event);
    // The same for the all-events pair; the other pairs are not touched.
    virtual bool CheckInAllEvent();
    virtual bool CheckOutAllEvent();
    // False when the set holds the all-events pair or the pair itself; otherwise adds the pair and
    // returns true.
    virtual bool CheckOutEvent(const EventId& id);
    virtual bool CheckOutEvent(std::uint32_t classType, std::uint16_t eventType);
    virtual bool CheckOutEvent(const Event& event);

private:
    struct Hash {
        std::size_t operator()(const EventId& id) const noexcept
        {
            return std::hash<std::uint64_t>{}((std::uint64_t{id.classType} << 32) | id.eventType);
        }
    };

    std::unordered_set<EventId, Hash> m_events;
};

} // namespace Tavrel
