// Constraint: the base of tree objects that hold a condition on atoms for a later force-field calculation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tavrel/core/Color.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Geometric.h>

namespace Tavrel {

class BaseCollection;

// Stores parameters, persists them, draws markers around its atoms and keeps itself consistent when
// they go; computes nothing. A new constraint is enabled, of display style 1 and blue (0, 0, 255);
// changing the enabled flag raises no event. The label the host sees (GetLabel) is the stored label
// through FormatLabel.
//
// Persisted after Geometric's properties as "Enabled" (a boolean). Text interface: "Enabled" ("true"
// or "false"; set from what StringUtils::StringToBoolean takes, anything else refused).
class Constraint : public Geometric {
    TAVREL_CLASS_CONSTRUCTED(Constraint, Geometric, Creatable)
public:
    // The access of the text properties that can be read and set.
    static constexpr std::int32_t ReadWriteAccess = ObjectProperty::AccessReadable | ObjectProperty::AccessWritable;

    static Color GetConstraintDefaultColor() { return Color(0, 0, 255, 0); }

    virtual bool CheckEnabled() const;
    virtual void Disable();
    virtual void Enable();
    // Enable or Disable.
    void SetEnabled(bool enabled);
    virtual Color GetDefaultColor() const;

    // FormatLabel of Object's label.
    std::string GetLabel() const override;

protected:
    explicit Constraint(Object* parent);

    // The label unchanged at this level.
    virtual std::string FormatLabel(const std::string& label) const;

    // A label format applied to the label: the first "%s" becomes the label and "%%" becomes "%";
    // every other character, further "%s" included, stands as it is. Without a "%s" the label alone.
    static std::string ApplyLabelFormat(std::string_view format, std::string_view label);

    // Three rings (ArcPrimitive::Cage, six segments, width 1) about each atom of the collection, in
    // its order, that is visible, styled and active: radius the distance from the atom to its label
    // point plus 0.05, at least 0.3. Other members are skipped.
    static void DisplayAtomMarkers(const BaseCollection& atoms, std::uint32_t pickId, const Color& color,
                                   DisplayList3D& list);
    // The mean position of the atoms of the collection; the origin without any.
    static Point3d CalculateAtomCentroid(const BaseCollection& atoms);

    // The colour the constraint draws in: the selected colour while selected, else GetColor.
    Color GetDrawingColor() const;
    // DisplayAtomMarkers of the atoms with the constraint's OID and drawing colour.
    void DisplayMarkers(const BaseCollection& atoms, DisplayList3D& list) const;

    // The text form of a real the levels' tables share (PropertyList::GetText after the accessors):
    // "%f" of what the member function gives.
    template <auto Get>
    struct RealText {
        std::string operator()(const auto& object) const { return StringUtils::Format("%f", (object.*Get)()); }
    };

private:
    bool m_enabled = true;
};

} // namespace Tavrel
