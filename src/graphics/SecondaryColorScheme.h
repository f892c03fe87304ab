// SecondaryColorScheme: the coil, helix, sheet and turn colours of a protein chain, and the colouring of its residues by them.
#pragma once

#include <array>
#include <cstdint>

#include <tavrel/core/Color.h>

namespace Tavrel {

class Archive;
class Object;

// A second base of the protein chain. The chain and its residues are asked through the installed
// SecondaryStructureQueries.
class SecondaryColorScheme {
public:
    SecondaryColorScheme() = default;
    SecondaryColorScheme(const SecondaryColorScheme&) = default;
    SecondaryColorScheme& operator=(const SecondaryColorScheme&) = default;
    virtual ~SecondaryColorScheme() = default;

    // Defaults: white coil, red helix, cyan sheet, green turn.
    void GetColors(Color& coil, Color& helix, Color& sheet, Color& turn) const;
    void SetColors(const Color& coil, const Color& helix, const Color& sheet, const Color& turn);
    // Predicts the chain's secondary structure when it has none, then gives every amino acid below
    // it the colour of its code.
    void ApplyScheme(Object& chain) const;

    // The four colours, 32 bits each, coil first. Every object schema reads the same four. Not
    // virtual: the chain's own Serialize, of the whole record, has the same name.
    void Serialize(Archive& archive);

private:
    // The colour of a secondary-structure code; a code outside 0 to 3 is coil.
    Color ColorOf(std::int32_t environment) const;

    std::array<Color, 4> m_colors{Color::White(), Color::Red(), Color::Cyan(), Color::Green()};
};

} // namespace Tavrel
