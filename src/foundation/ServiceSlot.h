// ServiceSlot: the one implementation of an interface that a higher folder installs at start-up.
#pragma once

namespace Tavrel {

// A lower folder declares an interface whose own virtual functions give the answers of "nothing
// installed"; the folder that can answer installs an implementation once, when the library loads.
// Use the slot only from the interface's own source, so that the process holds one slot per interface.
template <class Interface>
class ServiceSlot {
public:
    // The installed implementation, else the interface's own answers.
    static const Interface& Get() { return *Current(); }

    // Installs the implementation (null: the interface's own answers) and returns the one it
    // replaces. The implementation must outlive its installation.
    static const Interface* Install(const Interface* implementation)
    {
        const Interface* const previous = Current();
        Current() = implementation ? implementation : &Neutral();
        return previous;
    }

private:
    static const Interface& Neutral()
    {
        static const Interface neutral;
        return neutral;
    }
    static const Interface*& Current()
    {
        static const Interface* current = &Neutral();
        return current;
    }
};

} // namespace Tavrel
