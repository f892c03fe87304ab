// BondAttributes: the attributes a bond made by a cell build takes over from the bond it copies.
#pragma once

#include <cstdint>

#include <tavrel/chemistry/Bond.h>

namespace Tavrel {

// Order, type, display style and ring flag, read from a source bond and given to a new one in that
// order (the type sets the order of a named type again).
struct BondAttributes {
    double order;
    Bond::BondType type;
    std::int32_t displayStyle;
    bool inRing;

    explicit BondAttributes(const Bond& source)
        : order(source.GetOrder()), type(source.GetType()), displayStyle(source.GetDisplayStyle()),
          inRing(source.IsInRing())
    {
    }

    // Stops when a listener deletes the bond.
    void ApplyTo(Bond& bond) const
    {
        const TreeNode::Watch alive(&bond);
        bond.SetOrder(order);
        bond.SetType(type);
        if (alive.alive)
            bond.SetDisplayStyle(displayStyle);
        if (alive.alive)
            bond.SetIsInRing(inRing);
    }
};

} // namespace Tavrel
