// Chain: the polymer-chain container, positioned at the centre of its contents.
#pragma once

#include <cstdint>
#include <string_view>

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Geometric3d.h>

namespace Tavrel {

// Base of the amino-acid and nucleic-acid chains; its children are residues, atoms and bonds. It
// persists nothing beyond Geometric3d.
class Chain : public Geometric3d {
    TAVREL_CLASS(Chain, Geometric3d, Creatable)
public:
    explicit Chain(Object* parent);

    // The centre of the contents; the stored position of Geometric3d is never reported.
    Point3d GetXYZ() const final;
    // See CalculateContentsCenter.
    Point3d CalculateCenter() const final;

    // Descriptors of the Object level only: no position is offered. The text forms are Geometric's.
    ObjectProperty GetPropertyAsObjectProperty(std::string_view name) const override;
    std::int32_t GetProperties(ObjectProperty::Array& properties) const override;

    virtual bool GetSecondaryStructureDefined() const;

    // The display quality shared by every chain display, 1 at start; the chain displays give meaning
    // to 0 to 3 and the value is stored unchecked.
    static void SetDisplayQuality(std::int32_t quality);
    static std::int32_t GetDisplayQuality();

protected:
    virtual void SetSecondaryStructureDefined(bool defined);

private:
    bool m_secondaryStructureDefined = false;
};

// The mean GetXYZ of the Geometric descendants of a container (the container excluded), the origin
// without any. A nested Chain or SubUnit counts with its own centre, computed in the same single
// iterative walk, so deep nesting costs neither stack nor repeated walks.
Point3d CalculateContentsCenter(const Geometric& container);

} // namespace Tavrel
