// Object: the tree node the host sees — label, ID, colour, display style, user properties, text interface, display.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/Color.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/SmallString.h>
#include <tavrel/foundation/ObjectProperty.h>
#include <tavrel/foundation/Property.h>
#include <tavrel/foundation/TreeNode.h>

namespace Tavrel {

class Filter;

class Archive;
class PropertyArchive;

class Object : public TreeNode {
    // Persisted as "Property", "Color", "Label", "LocalID", "UserEventMask", "DisplayStyle"; the
    // framework archive holds the user properties, the packed colour, the label, the ID (32 bits), the
    // event-mask byte and the display-style byte. The text interface knows "Name" (or "Label"), "ID",
    // "Color", "Style", "LID", "Index", "Select...", "Visible", "oiv" and "Parent". A copy copies
    // colour, label, ID, user properties and display style.
    TAVREL_CLASS(Object, TreeNode, Creatable)
public:
    // Event codes of the Object level.
    static constexpr std::uint16_t EventIDSet = 1;                // every SetID
    static constexpr std::uint16_t EventLabelSet = 2;             // every SetLabel
    static constexpr std::uint16_t EventPropertyCreated = 8;      // SetPropertyFromString made a new user property
    static constexpr std::uint16_t EventPropertySet = 16;         // every SetProperty; attribute: the name
    static constexpr std::uint16_t EventPropertyRemoved = 32;     // every RemoveProperty; attribute: the name
    static constexpr std::uint16_t EventDisplayStyleChanged = 64; // SetDisplayStyle: new style != old byte, as ints
    static constexpr std::uint16_t EventExpanding = 128;          // before an expand or collapse

    // Links the node under the parent (which may be null), then sets the defaults.
    explicit Object(TreeNode* parent);
    ~Object() override;

    bool IsVisible() const override { return TreeNode::IsVisible(); }
    // Act only on an expanded (collapse) or collapsed (expand) node: EventExpanding, then TreeNode's.
    void CollapseNode(bool recursive) override;
    void ExpandNode(bool recursive) override;

    // Identity and look.
    virtual std::string GetLabel() const;
    virtual void SetLabel(std::string_view label);
    virtual std::int32_t GetID() const;
    virtual void SetID(std::int32_t id);

    // Colour schemes: names the object offers, and the classes of its ancestors below the topmost.
    virtual std::string GetColorScheme() const;
    virtual std::int32_t GetColorSchemes(std::vector<std::string>& schemes) const;
    virtual std::int32_t GetParentColorSchemes(std::vector<std::string>& schemes) const;
    // A registered class name: colours the object by the index, modulo 8, of the nearest object of
    // that class from this one upward (this one included); nothing for other names.
    virtual void SetColorScheme(std::string_view name);

    virtual std::int32_t GetDisplayStyle() const;
    // Sets the style on this object when it IsA type (and, with selectedOnly, is selected); with
    // recursive, on every descendant the same way, whether or not this object matched.
    virtual void SetDisplayStyle(std::int32_t style, std::uint32_t type, bool recursive, bool selectedOnly);
    // Stores the low 8 bits.
    virtual void SetDisplayStyle(std::int32_t style);

    virtual Color GetColor() const;
    virtual void SetColor(const Color& color);
    // White.
    virtual void SetDefaultColor();

    // Text interface of the host, driven by the property tables of the object's levels. Names and
    // value words are compared without regard to case; names that no level knows fall back to the
    // user properties.
    virtual ObjectProperty GetPropertyAsObjectProperty(std::string_view name) const;
    // Appends the descriptors of the known properties; returns the array's element count.
    virtual std::int32_t GetProperties(ObjectProperty::Array& properties) const;
    // Appends a descriptor for each readable user property; returns the array's element count.
    virtual std::int32_t GetUserProperties(ObjectProperty::Array& properties) const;
    // The empty text for an unknown name.
    virtual std::string GetPropertyAsString(std::string_view name) const;
    // False, with nothing changed, for a value that cannot be taken. An unknown name becomes a text
    // user property (readable and writable; a new one raises EventPropertyCreated).
    virtual bool SetPropertyFromString(std::string_view name, std::string_view value);

    // User properties. Each SetProperty raises EventPropertySet, RemoveProperty EventPropertyRemoved
    // (also for an absent name). flags: DataStorage::Flags (temporary, readable, writable).
    virtual void RemoveProperty(std::string_view name);
    virtual void SetProperty(std::string_view name, const Base* object, std::uint32_t flags);
    virtual void SetProperty(std::string_view name, const char* text, std::uint32_t flags);
    virtual void SetProperty(std::string_view name, std::int32_t count, const std::uint8_t* bytes, std::uint32_t flags);
    virtual void SetProperty(std::string_view name, void* value, std::uint32_t flags);
    virtual void SetProperty(std::string_view name, std::int32_t count, const float* values, std::uint32_t flags);
    virtual void SetProperty(std::string_view name, float value, std::uint32_t flags);
    virtual void SetProperty(std::string_view name, std::int32_t count, const std::int32_t* values, std::uint32_t flags);
    virtual void SetProperty(std::string_view name, std::int32_t value, std::uint32_t flags);
    // An empty value.
    virtual void SetProperty(std::string_view name);
    // An integer under a name interned already, for writers that set one name on many objects.
    void SetProperty(const UniqueString& name, std::int32_t value, std::uint32_t flags);
    // Two of them, as SetProperty for the first and then for the second.
    void SetProperties(const UniqueString& first, std::int32_t firstValue, const UniqueString& second,
                       std::int32_t secondValue, std::uint32_t flags);

    // The OID when the object is selectable, else 0: the pick identifier of its primitives.
    virtual std::uint32_t GetDisplayOID() const;

    // Display. Display draws this object alone when it is active, visible, unclipped and of a non-zero
    // style: the normal path in normal mode, the fast path in fast mode, nothing in any other mode.
    // DisplayAll draws the subtree, skipping every node below a cleared hint bit 1; a node that does
    // not draw itself still lets its children draw. The Extents forms ignore the hint.
    virtual void DisplayExtents(DisplayList3D& list);
    virtual void DisplayAllExtents(DisplayList3D& list, bool selectedOnly);
    virtual void Display(DisplayList3D& list);
    virtual void DisplayAll(DisplayList3D& list, bool selectedOnly);

    // Visible, active, of a non-zero style and not clipped.
    virtual bool CheckDisplayed() const;
    // True when the node is not expanded.
    virtual bool CheckExpanding() const;
    // False for null.
    static bool CheckDisplayed(const Object* object);

    // Tree navigation typed as Object: null where the node is missing or is not an Object.
    Object* GetParent() const;
    // Null for an index outside 0..n-1.
    Object* GetChild(int index) const;
    Object* GetRoot() const;
    Object* TreeCopy();
    Object* NodeCopy();

    // Lookups. The start object is never a candidate (except in FindCommonAncestor). Children are
    // tried in index order, descendants in pre-order, ancestors from the parent up; null when nothing
    // matches. Labels are compared exactly, in letter case too; the class-type forms consider only
    // objects that IsA that type.
    Object* FindChild(const Filter& filter);
    Object* FindChild(std::string_view label);
    Object* FindChild(std::int32_t id);
    Object* FindChild(std::string_view label, std::uint32_t type);
    Object* FindChild(std::int32_t id, std::uint32_t type);
    Object* FindDescendent(const Filter& filter);
    Object* FindDescendent(std::string_view label);
    Object* FindDescendent(std::int32_t id);
    Object* FindDescendent(std::string_view label, std::uint32_t type);
    Object* FindDescendent(std::int32_t id, std::uint32_t type);
    Object* FindAncestor(const Filter& filter);
    Object* FindAncestor(std::string_view label);
    Object* FindAncestor(std::int32_t id);
    Object* FindAncestor(std::string_view label, std::uint32_t type);
    Object* FindAncestor(std::int32_t id, std::uint32_t type);
    // The nearest common ancestor of both objects (an object counts as its own ancestor here) that
    // the filter accepts; null for a null object, objects of different trees, or when none is accepted.
    Object* FindCommonAncestor(Object* other, const Filter& filter);
    using TreeNode::FindCommonAncestor;

    // Scratch pointer, not owned, neither copied nor persisted; recursive gives the whole subtree the
    // same pointer.
    void SetTempData(void* data, bool recursive);
    void* GetTempData() const { return GetTempDataSlot(); }

    bool HasProperty(std::string_view name) const;
    bool HasProperty(const UniqueString& name) const;
    // Whether any user property is set: a cheap test before asking for names one by one.
    bool HasUserProperties() const { return GetUserPropertyTable().GetNumProperties() != 0; }
    // False when the name is absent or holds another type; outputs are then unchanged.
    bool GetProperty(std::string_view name, std::int32_t& value) const;
    bool GetProperty(std::string_view name, std::int32_t& count, const std::int32_t*& values) const;
    bool GetProperty(std::string_view name, float& value) const;
    bool GetProperty(std::string_view name, std::int32_t& count, const float*& values) const;
    bool GetProperty(std::string_view name, void*& value) const;
    bool GetProperty(std::string_view name, std::int32_t& count, const std::uint8_t*& bytes) const;
    bool GetProperty(std::string_view name, const char*& text) const;
    bool GetProperty(std::string_view name, Base*& object) const;
    // Replaces the table by a copy of the other's (temporary entries included); nothing for null.
    void CopyProperties(const Object* other);

    // The prototype of the class a name denotes (case ignored, with or without "XX"), null when none.
    static const Base* FindClassInstance(std::string_view name);
    static const Base* FindClassInstanceCommon(std::string_view name);
    // Its class-type identifier, 0 when none.
    static std::uint32_t FindClassTypeCommon(std::string_view name);
    // The live object registered under the OID when it is an Object, else null.
    static Object* GetObjectA(std::uint32_t oid);
    // Writes (storing) or reads (loading, each as an Object or null) count object references.
    static void SerializeObjects(Archive& archive, Object** objects, int count);

protected:
    // Adds nothing at this level.
    virtual void NormalDisplay(DisplayList3D& list);
    // The normal path at this level.
    virtual void FastDisplay(DisplayList3D& list);

    // The user properties; without any, an empty table.
    const Property& GetUserPropertyTable() const;
    // The user properties for a change (the table is made on first use).
    Property& EditUserPropertyTable();

    // For a node that IsAlone: the label, and the display style and colour of `look`, stored as
    // SetLabel, SetDisplayStyle and SetColor store them, and the node marked modified as their events
    // would mark it.
    void TakeLabelAndLook(std::string_view label, const Object& look);
    // The text interface over one table chain: for levels whose descriptors are those of another level.
    ObjectProperty DescribeProperty(const PropertyTable& table, std::string_view name) const;
    std::int32_t ListProperties(const PropertyTable& table, ObjectProperty::Array& properties) const;

private:
    // The user properties in the archive form of a table (an empty table without any).
    void WriteUserProperties(Archive& archive);
    // Replaces the user properties by the stored table unless it is empty.
    void ReadUserProperties(Archive& archive);

    // Runs the recursive operations (DisplayAll, DisplayAllExtents, recursive SetDisplayStyle) from an
    // explicit stack while still calling each node's virtual operation.
    class Walk;

    // In this order no padding falls between TreeNode's fields, these and the levels above. The event
    // mask byte comes before the display style, as in the stream, so a writer copies both at once.
    Color m_color = Color::White();
    SmallString m_label;
    std::int32_t m_ID = 0;
    TAVREL_EVENT_MASK_LEVEL()

private:
    std::uint8_t m_displayStyle = 0;
};

// The archive hook for arrays of Object pointers.
void SerializeElements(Archive& archive, Object** objects, int count);

} // namespace Tavrel
