// AnnotationProperty: a label that shows one text property of its parent and can follow the parent's position.
#pragma once

#include <string>
#include <string_view>

#include <tavrel/core/Color.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/graphics/Annotation.h>

namespace Tavrel {

class Geometric;

// Each display takes the parent's text of the property (GetPropertyAsString) as the label, with the
// global event switch off while the label changes, and, while it follows its parent, moves to the
// parent's GetXYZ first.
//
// Persisted after Geometric3d's properties as "AnnotationProperty Name" (the property's name, a
// text) and "AnnotationProperty Update" (whether it follows its parent, a bool); the framework record
// appends the same two values, in that order, to Geometric3d's. Text interface: "Movable", "true"
// when the label stays where it is put and "false" when it follows its parent.
class AnnotationProperty : public Annotation {
    TAVREL_CLASS(AnnotationProperty, Annotation, Creatable)
public:
    // Follows its parent.
    AnnotationProperty(Object* parent, std::string_view propertyName);

    // The target's AnnotationProperty child when it has one; otherwise a new one under the target
    // showing the target's text of the property, at the position in the colour. Null for a null target.
    static AnnotationProperty* Create(Geometric* target, std::string_view propertyName, const Color& color,
                                      const Point3d& position, bool updatePosition);

    const std::string& GetPropertyName() const { return m_propertyName; }
    bool GetUpdatePosition() const { return m_updatePosition; }
    void SetUpdatePosition(bool update) { m_updatePosition = update; }

    // Takes the parent's current text of the property as the label (nothing without a parent).
    void UpdateText();

protected:
    void NormalDisplay(DisplayList3D& list) override;

private:
    std::string m_propertyName;
    bool m_updatePosition = true;
};

} // namespace Tavrel
