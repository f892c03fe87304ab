// SubUnit: the residue-like container with a type text, positioned at the centre of its contents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Geometric3d.h>

namespace Tavrel {

class Archive;
class PropertyArchive;

// Base of residues and monomers; its children are atoms and bonds. The type text is persisted as
// "SubUnit Type" after Geometric3d's properties. Its text interface is Object's: the position names
// of Geometric are not offered.
class SubUnit : public Geometric3d {
    TAVREL_CLASS(SubUnit, Geometric3d, Creatable)
public:
    explicit SubUnit(Object* parent);

    // The centre of the contents (see CalculateContentsCenter); the stored position is never reported.
    Point3d GetXYZ() const final;
    Point3d CalculateCenter() const final;

    // Offers no scheme of its own; returns the array's size.
    std::int32_t GetColorSchemes(std::vector<std::string>& schemes) const override;
    // Any non-empty name makes the sub-unit white; the name is not kept.
    void SetColorScheme(std::string_view name) override;

    // The type text, empty in a new sub-unit.
    const std::string& GetSubUnitType() const { return m_type; }
    void SetSubUnitType(std::string_view type) { m_type = type; }

private:
    std::string m_type;
};

} // namespace Tavrel
