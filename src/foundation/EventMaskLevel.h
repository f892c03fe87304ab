// One line that gives a class level its own event-mask byte and the notification funnel over it.
#pragma once

#include <cstdint>

namespace Tavrel {

// The event-mask byte of one class level: bit b set means some registration may want code b of the
// level's class-type identifier. Only the low 8 bits of a code reach it. Copying an object never
// copies its mask: a copy starts without registrations.
class EventMaskByte {
public:
    EventMaskByte() = default;
    EventMaskByte(const EventMaskByte&) noexcept {}
    EventMaskByte& operator=(const EventMaskByte&) noexcept { return *this; }

    bool Has(std::uint16_t code) const { return (m_bits & (code & 0xFFu)) != 0; }
    void Set(std::uint16_t code) { m_bits = static_cast<std::uint8_t>(m_bits | (code & 0xFFu)); }
    void Unset(std::uint16_t code) { m_bits = static_cast<std::uint8_t>(m_bits & ~(code & 0xFFu)); }
    void Clear() { m_bits = 0; }
    std::uint8_t Get() const { return m_bits; }
    // The byte itself, for a writer that copies it.
    const std::uint8_t& GetByte() const { return m_bits; }

private:
    std::uint8_t m_bits = 0;
};

} // namespace Tavrel

// Inside the body of a TreeNode class level that raises events of its own, after TAVREL_CLASS (or TAVREL_DECLARE_CLASS):
// TAVREL_EVENT_MASK_LEVEL(). The level's identifier is tested against, set in and cleared from the
// level's own byte; other identifiers go to the level below. DoNotify marks the node modified and,
// with the global switch on, hands the event to ProcessEvent when a tree-wide listener sits on the
// node or above it, or when the owning level's byte holds one of the event's bits; every level's
// DoNotify is this one, so an event no one can hear only marks the node modified (NotifyIfHeard).
// Leaves the access at public.
#define TAVREL_EVENT_MASK_LEVEL()                                                                        \
public:                                                                                                  \
    void DoNotify(std::uint32_t type, std::uint16_t code, const char* attribute, void* data) override    \
    {                                                                                                    \
        SetModified();                                                                                   \
        if (!::Tavrel::Base::GetEventNotify())                                                           \
            return;                                                                                      \
        const bool treeEvent = HasTreeListener();                                                        \
        if (treeEvent || IsEventMaskSet(type, code))                                                     \
            ProcessEvent(this, type, code, attribute, treeEvent, data);                                  \
    }                                                                                                    \
                                                                                                         \
protected:                                                                                               \
    bool IsEventMaskSet(std::uint32_t type, std::uint16_t code) const                                    \
    {                                                                                                    \
        return type == classType ? m_levelEventMask.Has(code) : Superclass::IsEventMaskSet(type, code);  \
    }                                                                                                    \
    /* Whether DoNotify would hand the event to ProcessEvent; unheard, it only marks the node modified. */ \
    bool IsHeard(std::uint32_t type, std::uint16_t code) const                                           \
    {                                                                                                    \
        return ::Tavrel::Base::GetEventNotify() && (HasTreeListener() || IsEventMaskSet(type, code));    \
    }                                                                                                    \
    /* DoNotify for an event of this level or one below, spared the call when no one can hear it. */     \
    void NotifyIfHeard(std::uint32_t type, std::uint16_t code, const char* attribute, void* data)        \
    {                                                                                                    \
        if (IsHeard(type, code))                                                                         \
            DoNotify(type, code, attribute, data);                                                       \
        else                                                                                             \
            SetModified();                                                                               \
    }                                                                                                    \
    void SetEventMask(std::uint32_t type, std::uint16_t code) override                                   \
    {                                                                                                    \
        if (type == classType)                                                                           \
            m_levelEventMask.Set(code);                                                                  \
        else                                                                                             \
            Superclass::SetEventMask(type, code);                                                        \
    }                                                                                                    \
    void UnsetEventMask(std::uint32_t type, std::uint16_t code) override                                 \
    {                                                                                                    \
        if (type == classType)                                                                           \
            m_levelEventMask.Unset(code);                                                                \
        else                                                                                             \
            Superclass::UnsetEventMask(type, code);                                                      \
    }                                                                                                    \
    void ClearEventMask() override                                                                       \
    {                                                                                                    \
        m_levelEventMask.Clear();                                                                        \
        Superclass::ClearEventMask();                                                                    \
    }                                                                                                    \
                                                                                                         \
private:                                                                                                 \
    ::Tavrel::EventMaskByte m_levelEventMask;                                                            \
                                                                                                         \
public:
