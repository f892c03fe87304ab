// ImageNode: one image of an asymmetric-unit item (its index and image key), the node of the symmetry and build trees.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

// Nodes order by item index, then by key; equal records are the same node. Item -1 names no node.
struct ImageNode {
    std::int32_t item = -1;
    SymmetryImageKey key;

    constexpr ImageNode() = default;
    constexpr ImageNode(std::int32_t pitem, const SymmetryImageKey& pkey) : item(pitem), key(pkey) {}

    friend constexpr bool operator==(const ImageNode&, const ImageNode&) = default;
    friend constexpr auto operator<=>(const ImageNode&, const ImageNode&) = default;

    // A well-mixed word for hashed lookups.
    struct Hash {
        std::size_t operator()(const ImageNode& node) const
        {
            std::uint64_t h = static_cast<std::uint32_t>(node.item);
            for (const std::int32_t v : {node.key.op, node.key.a, node.key.b, node.key.c})
                h = (h ^ static_cast<std::uint32_t>(v)) * 0x9E3779B97F4A7C15ull + (h >> 29);
            return static_cast<std::size_t>(h ^ (h >> 32));
        }
    };
};

// "item:key", as 3:1[0,0,1].
std::ostream& operator<<(std::ostream& os, const ImageNode& node);

} // namespace Tavrel
