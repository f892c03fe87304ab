#include <tavrel/foundation/EventSet.h>

#include <tavrel/foundation/Event.h>

namespace Tavrel {

namespace {
constexpr EventId AllEvents{0, 0};
}

bool EventSet::CheckInEvent(const EventId& id)
{
    return m_events.erase(id) != 0;
}

bool EventSet::CheckInEvent(std::uint32_t classType, std::uint16_t eventType)
{
    return CheckInEvent(EventId{classType, eventType});
}

bool EventSet::CheckInEvent(const Event& event)
{
    return CheckInEvent(event.GetClassType(), event.GetEventType());
}

bool EventSet::CheckInAllEvent()
{
    return CheckInEvent(AllEvents);
}

bool EventSet::CheckOutAllEvent()
{
    return CheckOutEvent(AllEvents);
}

bool EventSet::CheckOutEvent(const EventId& id)
{
    if (m_events.contains(AllEvents))
        return false;
    return m_events.insert(id).second;
}

bool EventSet::CheckOutEvent(std::uint32_t classType, std::uint16_t eventType)
{
    return CheckOutEvent(EventId{classType, eventType});
}

bool EventSet::CheckOutEvent(const Event& event)
{
    return CheckOutEvent(event.GetClassType(), event.GetEventType());
}

} // namespace Tavrel
