#include <tavrel/foundation/Object.h>

#include <tavrel/foundation/AncestorIterator.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <array>
#include <memory>
#include <optional>
#include <utility>

#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Object)

namespace {

constexpr std::uint8_t DisplayHint = 1;
constexpr std::uint32_t TextPropertyFlags = DataStorage::FlagReadable | DataStorage::FlagWritable;
constexpr std::int32_t AccessReadWrite = ObjectProperty::AccessReadable | ObjectProperty::AccessWritable;

bool Is(std::string_view name, std::string_view known)
{
    return StringUtils::EqualsNoCase(name, known);
}

// The words "Style" takes.
constexpr PropertyWord StyleWords[] = {{0, "None"}, {1, "Default"}};

} // namespace

// The walk behind DisplayAll, DisplayAllExtents and the recursive SetDisplayStyle. It keeps a stack of
// nodes whose children are still to be visited and calls each child's virtual operation; the base
// operation of a node called by the walk does its own part and hands its children back to the walk.
// A call made any other way (a host call, an override calling the operation with other arguments)
// starts a walk of its own. The display walks remember whether each queued node and all its
// ancestors are active, so the activity tests of the nodes they visit cost O(1). A node deleted
// during the walk (by a listener of the style event, or one heard while it draws) is noticed and its
// remaining children are skipped.
class Object::Walk {
public:
    enum class Op : std::uint8_t { Display, Extents, Style };
    struct Args {
        DisplayList3D* list = nullptr;
        bool selectedOnly = false;
        std::int32_t style = 0;
        std::uint32_t classType = 0;
        bool operator==(const Args&) const = default;
    };

    Walk(Op op, const Args& args, const Object* top) : m_op(op), m_args(args), m_outer(s_current)
    {
        s_current = this;
        Visit(top, op != Op::Style && top->IsActive());
    }
    ~Walk() { s_current = m_outer; }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    // The running walk when it is calling this very operation on the node; once per call.
    static Walk* Claim(const Object* node, Op op, const Args& args)
    {
        Walk* walk = s_current;
        if (!walk || walk->m_token != node || walk->m_op != op || !(walk->m_args == args))
            return nullptr;
        walk->m_token = nullptr;
        return walk;
    }

    // IsActive of a node, from the display walk's frame while the walk is visiting it.
    static bool IsActive(const Object* node)
    {
        const Walk* walk = s_current;
        return walk && walk->m_op != Op::Style && walk->m_visiting == node ? walk->m_visitingActive
                                                                           : node->IsActive();
    }

    // Queues the children of the node being visited.
    void Descend(Object* node)
    {
        const int count = node->GetNumChildren();
        if (count > 0)
            m_frames.push_back({node, std::make_unique<TreeNode::Watch>(node), 0, count,
                                m_visiting == node && m_visitingActive});
    }

    template <class Call>
    void Run(Call&& call)
    {
        while (!m_frames.empty()) {
            Frame& frame = m_frames.back();
            if (!frame.watch->alive || frame.next >= CountOf(frame)) {
                m_frames.pop_back();
                continue;
            }
            const int index = frame.next++;
            Object* const child = DynCast<Object>(frame.node->TreeNode::GetChild(index));
            if (!child)
                continue;
            const std::size_t depth = m_frames.size();
            Visit(child, frame.active && child->IsObjectActive());
            m_token = child;
            const TreeNode::Watch visited(child);
            call(*child);  // may grow m_frames: `frame` is not used again
            m_token = nullptr;
            Visit(nullptr, false);
            FollowChild(m_frames[depth - 1], visited, index);
        }
    }

private:
    struct Frame {
        Object* node;
        std::unique_ptr<TreeNode::Watch> watch;  // tells whether a listener deleted the node
        int next;
        int count;  // the child count when the frame was queued
        bool active;
    };

    void Visit(const Object* node, bool active)
    {
        m_visiting = node;
        m_visitingActive = active;
    }

    // After a call on the child at index: when a listener took it or siblings before it away, the walk
    // goes on after the child where it now stands, or in its place once it left.
    static void FollowChild(Frame& frame, const TreeNode::Watch& visited, int index)
    {
        if (!frame.watch->alive || (visited.alive && frame.node->TreeNode::GetChild(index) == visited.node))
            return;
        // A child that left counts as standing just before its old place.
        const int now = visited.alive && visited.node->TreeNode::GetParent() == frame.node ? visited.node->GetIndex()
                                                                                            : index - 1;
        frame.count -= index - now;
        frame.next = now + 1;
    }

    // The display walks keep the count taken when the node was queued; the style walk re-reads it.
    int CountOf(const Frame& frame) const { return m_op == Op::Style ? frame.node->GetNumChildren() : frame.count; }

    static inline Walk* s_current = nullptr;

    Op m_op;
    Args m_args;
    std::vector<Frame> m_frames;
    const Object* m_token = nullptr;
    const Object* m_visiting = nullptr;
    bool m_visitingActive = false;
    Walk* m_outer;
};

// ---- Construction

// The TreeNode part joined the parent before this level existed: the mask bits of the tree
// registrations above are copied again so they reach this level's byte.
Object::Object(TreeNode* parent) : TreeNode(parent)
{
    SetMaskFromParents();
}

Object::~Object() = default;

// ---- Node expansion

void Object::CollapseNode(bool recursive)
{
    if (IsExpanded() && Notify(classType, EventExpanding))
        TreeNode::CollapseNode(recursive);
}

void Object::ExpandNode(bool recursive)
{
    if (!IsExpanded() && Notify(classType, EventExpanding))
        TreeNode::ExpandNode(recursive);
}

// ---- Persistence

const PropertyTable& Object::Properties()
{
    static const PropertyTable table(
        PropertyList<Object>()
            .Archived(
                "Property", [](Object& object, Archive& nested) { object.WriteUserProperties(nested); },
                [](Object& object, Archive& nested) { object.ReadUserProperties(nested); },
                // Most objects have no user property: the form of an empty table, written straight.
                [](const Object& object) {
                    return object.FindUserProperties() ? std::nullopt : std::optional<std::int32_t>(0);
                },
                // A block of one count below 1 is an empty table: reading it changes nothing.
                [](Object&, std::int32_t count) { return count < 1; })
            .Archived<&Object::m_color>("Color")
            .Shows("Color")
            .Accessors<&Object::GetColor, &Object::SetColor>()
            .Shown(ObjectProperty::CategoryColor)
            .Field<Storage::StorageString, &Object::m_label>("Label")
            .Shows("Name", "Label")
            .Accessors<&Object::GetLabel, &Object::SetLabel>()
            .Shown()
            .Value<Storage::StorageUnsignedInt>(
                "LocalID", [](const Object& object) { return static_cast<std::uint32_t>(object.m_ID); },
                [](Object& object, std::uint32_t id) { object.m_ID = static_cast<std::int32_t>(id); })
            .InMember([](const Object& object) -> const std::int32_t& { return object.m_ID; })
            .Shows("ID")
            .Accessors<&Object::GetID, &Object::SetID>()
            .Shown()
            .Value<Storage::StorageUnsignedChar>(
                "UserEventMask", [](const Object& object) { return object.m_levelEventMask.Get(); },
                [](Object& object, std::uint8_t mask) {
                    object.m_levelEventMask.Clear();
                    object.m_levelEventMask.Set(mask);
                })
            .InMember([](const Object& object) -> const std::uint8_t& { return object.m_levelEventMask.GetByte(); })
            .NotCopied()
            .Field<Storage::StorageUnsignedChar, &Object::m_displayStyle>("DisplayStyle")
            .Shows("Style")
            .Words(StyleWords)
            .Setter([](Object& object, std::int32_t style) { object.SetDisplayStyle(style); })
            .Text("LID")
            .Getter<&TreeNode::GetLID>()
            .Format("%d")
            .Text("Index")
            .Getter<&TreeNode::GetIndex>()
            .Text("Select")
            .Prefix()
            .GetText([](const Object& object) { return object.IsSelected() ? "true" : "false"; })
            .SetText([](Object& object, std::string_view word) {
                if (Is(word, "all"))
                    object.SetSelect(true);
                else if (Is(word, "none"))
                    object.UnSelect(true);
                else if (Is(word, "on") || Is(word, "true"))
                    object.Select(false);
                else if (Is(word, "off") || Is(word, "false"))
                    object.UnSelect(false);
                else
                    return false;
                return true;
            })
            .Text("Visible")
            .SetText([](Object& object, std::string_view word) {
                if (Is(word, "on"))
                    object.SetVisible(true);
                else if (Is(word, "off"))
                    object.SetInvisible(true);
                else
                    return false;
                return true;
            })
            .Text("oiv")
            .Getter<&TreeNode::GetInvariant>()
            .Text("Parent")
            .ReadOnly()
            .GetText([](const Object& object) {
                const Object* parent = object.GetParent();
                return parent ? parent->GetLabel() : std::string();
            })
            .Described([](const Object& object) {
                if (!object.TreeNode::GetParent())
                    return ObjectProperty();
                const Object* parent = object.GetParent();
                return ObjectProperty("Parent", parent ? parent->GetLabel() : std::string(),
                                      ObjectProperty::AccessReadable, ObjectProperty::CategoryValue);
            })
            .Listing({"Name", "ID", "Color", "Parent"}));
    return table;
}

void Object::SerializeObjects(Archive& archive, Object** objects, int count)
{
    if (!objects)
        return;
    for (int i = 0; i < count; ++i) {
        if (archive.IsStoring())
            archive.WriteObject(objects[i]);
        else
            objects[i] = static_cast<Object*>(archive.ReadObject(&Object::GetThisClass()));
    }
}

void SerializeElements(Archive& archive, Object** objects, int count)
{
    Object::SerializeObjects(archive, objects, count);
}

// ---- Identity and look

std::string Object::GetLabel() const
{
    return std::string(m_label.View());
}

void Object::SetLabel(std::string_view label)
{
    m_label = label;
    NotifyIfHeard(classType, EventLabelSet, nullptr, nullptr);
}

void Object::TakeLabelAndLook(std::string_view label, const Object& look)
{
    m_label = label;
    m_displayStyle = static_cast<std::uint8_t>(look.GetDisplayStyle() & 0xFF);
    m_color = look.GetColor();
    SetModified();
}

std::int32_t Object::GetID() const
{
    return m_ID;
}

void Object::SetID(std::int32_t id)
{
    m_ID = id;
    DoNotify(classType, EventIDSet, nullptr, nullptr);
}

Color Object::GetColor() const
{
    return m_color;
}

void Object::SetColor(const Color& color)
{
    m_color = color;
}

void Object::SetDefaultColor()
{
    SetColor(Color::White());
}

std::int32_t Object::GetDisplayStyle() const
{
    return m_displayStyle;
}

void Object::SetDisplayStyle(std::int32_t style)
{
    const auto stored = static_cast<std::uint8_t>(style & 0xFF);
    const bool changed = m_displayStyle != style;
    m_displayStyle = stored;
    if (changed)
        NotifyIfHeard(classType, EventDisplayStyleChanged, nullptr, nullptr);
}

void Object::SetDisplayStyle(std::int32_t style, std::uint32_t type, bool recursive, bool selectedOnly)
{
    const Walk::Args args{nullptr, selectedOnly, style, type};
    const auto own = [&](Object& node) {
        if (node.IsA(type) && (!selectedOnly || node.IsSelected()))
            node.SetDisplayStyle(style);
    };
    // A listener of the style event may delete this object.
    if (Walk* walk = Walk::Claim(this, Walk::Op::Style, args)) {
        const TreeNode::Watch watch(this);
        own(*this);
        if (recursive && watch.alive)
            walk->Descend(this);
        return;
    }
    if (!recursive) {
        own(*this);
        return;
    }
    Walk walk(Walk::Op::Style, args, this);
    {
        const TreeNode::Watch watch(this);
        own(*this);
        if (!watch.alive)
            return;
    }
    walk.Descend(this);
    walk.Run([&](Object& child) { child.SetDisplayStyle(style, type, true, selectedOnly); });
}

std::uint32_t Object::GetDisplayOID() const
{
    return IsSelectable() ? GetOID() : 0;
}

// ---- Colour schemes

std::string Object::GetColorScheme() const
{
    return {};
}

std::int32_t Object::GetColorSchemes(std::vector<std::string>& schemes) const
{
    schemes.emplace_back("Color Index");
    return static_cast<std::int32_t>(schemes.size());
}

std::int32_t Object::GetParentColorSchemes(std::vector<std::string>& schemes) const
{
    for (const TreeNode* node = TreeNode::GetParent(); node && node->GetParent(); node = node->GetParent())
        schemes.push_back(node->GetCommonName());
    return static_cast<std::int32_t>(schemes.size());
}

void Object::SetColorScheme(std::string_view name)
{
    if (name.empty())
        return;
    const std::uint32_t type = FindClassTypeCommon(name);
    if (type == 0)
        return;
    const TreeNode* found = this;
    while (found && !found->IsA(type))
        found = found->GetParent();
    if (!found)
        return;
    static constexpr std::array<Color, 8> indexColors = {
        Color::White(), Color::Cyan(),    Color(255, 128, 0, 0), Color::Green(),
        Color::Red(),   Color::Blue(),    Color::Magenta(),      Color::Grey(),
    };
    const int index = found->GetIndex();
    // A node without a parent has index -1: the colour of packed value 0.
    SetColor(index < 0 ? Color() : indexColors[static_cast<std::size_t>(index % 8)]);
}

// ---- Text interface

std::string Object::GetPropertyAsString(std::string_view name) const
{
    if (name.empty())
        return {};
    if (const PropertyEntry* entry = GetPropertyTable()->FindText(name, PropertyTable::Use::Get))
        return entry->getText(*this, *entry);
    std::string text = GetUserPropertyTable().GetPropertyAsString(name);
    if (!text.empty())
        return text;
    // The name of a class: the invariant path of the nearest ancestor of that class, else of this
    // object when it is one.
    const std::uint32_t type = FindClassTypeCommon(name);
    if (type == 0)
        return {};
    for (const TreeNode* node = TreeNode::GetParent(); node; node = node->GetParent()) {
        if (node->IsA(type))
            return node->GetInvariant();
    }
    return IsA(type) ? GetInvariant() : std::string();
}

bool Object::SetPropertyFromString(std::string_view name, std::string_view value)
{
    if (name.empty())
        return false;
    if (const PropertyEntry* entry = GetPropertyTable()->FindText(name, PropertyTable::Use::Set))
        return entry->setText && entry->setText(*this, value, *entry);
    if (!HasProperty(name)) {
        EditUserPropertyTable().SetPropertyFromString(name, value, TextPropertyFlags);
        DoNotify(classType, EventPropertyCreated, nullptr, nullptr);
        return true;
    }
    // The table replaces an existing cell's flags even when it refuses the text; a refusal must
    // change nothing, so the flags are put back.
    Property& properties = EditUserPropertyTable();
    const bool temporary = properties.IsTemporary(name);
    const bool readable = properties.IsReadable(name);
    const bool writable = properties.IsWritable(name);
    if (properties.SetPropertyFromString(name, value, TextPropertyFlags) != Property::StatusFailed)
        return true;
    properties.SetTemporary(name, temporary);
    properties.SetReadable(name, readable);
    properties.SetWritable(name, writable);
    return false;
}

ObjectProperty Object::GetPropertyAsObjectProperty(std::string_view name) const
{
    return DescribeProperty(*GetPropertyTable(), name);
}

std::int32_t Object::GetProperties(ObjectProperty::Array& properties) const
{
    return ListProperties(*GetPropertyTable(), properties);
}

ObjectProperty Object::DescribeProperty(const PropertyTable& table, std::string_view name) const
{
    if (name.empty())
        return {};
    if (const PropertyEntry* entry = table.FindText(name, PropertyTable::Use::Describe))
        return entry->describe(*this, *entry);
    ObjectProperty result;
    const Property& userProperties = GetUserPropertyTable();
    const std::int32_t count = userProperties.GetNumProperties();
    for (std::int32_t i = 0; i < count; ++i) {
        std::string stored = userProperties.GetPropertyName(i);
        if (!Is(stored, name) || !userProperties.IsReadable(stored))
            continue;
        const std::int32_t access = userProperties.IsWritable(stored) ? AccessReadWrite : ObjectProperty::AccessReadable;
        std::string text = GetPropertyAsString(stored);
        result = ObjectProperty(std::move(stored), std::move(text), access, 0);
    }
    return result;
}

std::int32_t Object::ListProperties(const PropertyTable& table, ObjectProperty::Array& properties) const
{
    table.List(*this, properties);
    return static_cast<std::int32_t>(properties.size());
}

std::int32_t Object::GetUserProperties(ObjectProperty::Array& properties) const
{
    const Property& userProperties = GetUserPropertyTable();
    const std::int32_t count = userProperties.GetNumProperties();
    for (std::int32_t i = 0; i < count; ++i) {
        std::string name = userProperties.GetPropertyName(i);
        if (!userProperties.IsReadable(name))
            continue;
        const std::int32_t access = userProperties.IsWritable(name) ? AccessReadWrite : ObjectProperty::AccessReadable;
        std::string text = GetPropertyAsString(name);
        properties.emplace_back(std::move(name), std::move(text), access, 0);
    }
    return static_cast<std::int32_t>(properties.size());
}

// ---- User properties

void Object::RemoveProperty(std::string_view name)
{
    if (Property* properties = FindUserProperties())
        properties->RemoveProperty(name);
    // Unheard (a new or loading object), the event would only mark the object modified.
    if (!IsHeard(classType, EventPropertyRemoved)) {
        SetModified();
        return;
    }
    const std::string attribute(name);
    DoNotify(classType, EventPropertyRemoved, attribute.c_str(), nullptr);
}

namespace {

// Stores through the table, then announces the change under the property's name.
template <class Store>
void SetAndNotify(Object& object, std::string_view name, Store&& store)
{
    store();
    const std::string attribute(name);
    object.DoNotify(Object::classType, Object::EventPropertySet, attribute.c_str(), nullptr);
}

} // namespace

void Object::SetProperty(std::string_view name, const Base* object, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { EditUserPropertyTable().SetProperty(name, object, flags); });
}

void Object::SetProperty(std::string_view name, const char* text, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { EditUserPropertyTable().SetProperty(name, text, flags); });
}

void Object::SetProperty(std::string_view name, std::int32_t count, const std::uint8_t* bytes, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { EditUserPropertyTable().SetProperty(name, count, bytes, flags); });
}

void Object::SetProperty(std::string_view name, void* value, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { EditUserPropertyTable().SetProperty(name, value, flags); });
}

void Object::SetProperty(std::string_view name, std::int32_t count, const float* values, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { EditUserPropertyTable().SetProperty(name, count, values, flags); });
}

void Object::SetProperty(std::string_view name, float value, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { EditUserPropertyTable().SetProperty(name, value, flags); });
}

void Object::SetProperty(std::string_view name, std::int32_t count, const std::int32_t* values, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { EditUserPropertyTable().SetProperty(name, count, values, flags); });
}

void Object::SetProperty(std::string_view name, std::int32_t value, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { EditUserPropertyTable().SetProperty(name, value, flags); });
}

void Object::SetProperty(const UniqueString& name, std::int32_t value, std::uint32_t flags)
{
    // Writers of one name on many objects mostly write where nobody listens: unheard, the event
    // would only mark the object modified.
    if (!IsHeard(classType, EventPropertySet)) {
        EditUserPropertyTable().SetProperty(name, value, flags);
        SetModified();
        return;
    }
    SetAndNotify(*this, name.GetString(), [&] { EditUserPropertyTable().SetProperty(name, value, flags); });
}

void Object::SetProperties(const UniqueString& first, std::int32_t firstValue, const UniqueString& second,
                           std::int32_t secondValue, std::uint32_t flags)
{
    if (IsHeard(classType, EventPropertySet)) {
        SetProperty(first, firstValue, flags);
        SetProperty(second, secondValue, flags);
        return;
    }
    EditUserPropertyTable().SetProperties(first, firstValue, second, secondValue, flags);
    SetModified();
}

void Object::SetProperty(std::string_view name)
{
    SetAndNotify(*this, name, [&] { EditUserPropertyTable().SetProperty(name); });
}

bool Object::HasProperty(std::string_view name) const
{
    return GetUserPropertyTable().HasProperty(name);
}

bool Object::HasProperty(const UniqueString& name) const
{
    return GetUserPropertyTable().HasProperty(name);
}

bool Object::GetProperty(std::string_view name, std::int32_t& value) const
{
    return GetUserPropertyTable().GetProperty(name, value);
}

bool Object::GetProperty(std::string_view name, std::int32_t& count, const std::int32_t*& values) const
{
    return GetUserPropertyTable().GetProperty(name, count, values);
}

bool Object::GetProperty(std::string_view name, float& value) const
{
    return GetUserPropertyTable().GetProperty(name, value);
}

bool Object::GetProperty(std::string_view name, std::int32_t& count, const float*& values) const
{
    return GetUserPropertyTable().GetProperty(name, count, values);
}

bool Object::GetProperty(std::string_view name, void*& value) const
{
    return GetUserPropertyTable().GetProperty(name, value);
}

bool Object::GetProperty(std::string_view name, std::int32_t& count, const std::uint8_t*& bytes) const
{
    return GetUserPropertyTable().GetProperty(name, count, bytes);
}

bool Object::GetProperty(std::string_view name, const char*& text) const
{
    return GetUserPropertyTable().GetProperty(name, text);
}

bool Object::GetProperty(std::string_view name, Base*& object) const
{
    return GetUserPropertyTable().GetProperty(name, object);
}

void Object::CopyProperties(const Object* other)
{
    if (!other || other == this)
        return;
    if (const Property* properties = other->FindUserProperties())
        EditUserPropertyTable().CopyProperties(*properties);
    else if (Property* mine = FindUserProperties())
        *mine = Property();
}

const Property& Object::GetUserPropertyTable() const
{
    static const Property empty;
    const Property* properties = FindUserProperties();
    return properties ? *properties : empty;
}

Property& Object::EditUserPropertyTable()
{
    return EditUserProperties();
}

void Object::WriteUserProperties(Archive& archive)
{
    if (Property* properties = FindUserProperties())
        properties->Serialize(archive);
    else
        archive << std::int32_t{0};  // the form of an empty table
}

void Object::ReadUserProperties(Archive& archive)
{
    // The form of an empty table (a count below 1) is the common one: no table is made for it.
    const std::size_t at = archive.GetPosition();
    std::int32_t count = 0;
    archive >> count;
    if (count < 1)
        return;
    archive.Seek(at);
    Property loaded;
    loaded.Serialize(archive);
    if (loaded.GetNumProperties() > 0)
        EditUserPropertyTable() = std::move(loaded);
}

// ---- Display

bool Object::CheckDisplayed() const
{
    return GetDisplayStyle() != 0 && IsVisible() && !IsClipped() && Walk::IsActive(this);
}

bool Object::CheckDisplayed(const Object* object)
{
    return object && object->CheckDisplayed();
}

bool Object::CheckExpanding() const
{
    return !IsExpanded();
}

void Object::Display(DisplayList3D& list)
{
    if (GetDisplayStyle() == 0 || !IsVisible() || IsClipped() || !Walk::IsActive(this))
        return;
    if (list.GetMode() == DisplayList3D::normalMode)
        NormalDisplay(list);
    else if (list.GetMode() == DisplayList3D::fastMode)
        FastDisplay(list);
}

void Object::DisplayExtents(DisplayList3D& list)
{
    Display(list);
}

// A listener may delete the object while it draws: its children are then left out and the walk goes
// on with what is left.
void Object::DisplayAll(DisplayList3D& list, bool selectedOnly)
{
    const Walk::Args args{&list, selectedOnly, 0, 0};
    const auto own = [&] {
        const TreeNode::Watch watch(this);
        if (!selectedOnly || (IsObjectSelected() && Walk::IsActive(this)))
            Display(list);
        return watch.alive;
    };
    if (Walk* walk = Walk::Claim(this, Walk::Op::Display, args)) {
        // The walk only reaches nodes whose ancestors all hold the hint.
        if (HasHint(DisplayHint) && own())
            walk->Descend(this);
        return;
    }
    if (!CheckHint(DisplayHint))
        return;
    Walk walk(Walk::Op::Display, args, this);
    if (!own())
        return;
    walk.Descend(this);
    walk.Run([&](Object& child) { child.DisplayAll(list, selectedOnly); });
}

void Object::DisplayAllExtents(DisplayList3D& list, bool selectedOnly)
{
    const Walk::Args args{&list, selectedOnly, 0, 0};
    const auto own = [&] {
        const TreeNode::Watch watch(this);
        if (!selectedOnly || (IsObjectSelected() && Walk::IsActive(this)))
            DisplayExtents(list);
        return watch.alive;
    };
    if (Walk* walk = Walk::Claim(this, Walk::Op::Extents, args)) {
        if (own())
            walk->Descend(this);
        return;
    }
    Walk walk(Walk::Op::Extents, args, this);
    if (!own())
        return;
    walk.Descend(this);
    walk.Run([&](Object& child) { child.DisplayAllExtents(list, selectedOnly); });
}

void Object::NormalDisplay(DisplayList3D&) {}

void Object::FastDisplay(DisplayList3D& list)
{
    NormalDisplay(list);
}

// ---- Tree navigation

Object* Object::GetParent() const
{
    return DynCast<Object>(TreeNode::GetParent());
}

Object* Object::GetChild(int index) const
{
    return DynCast<Object>(TreeNode::GetChild(index));
}

Object* Object::GetRoot() const
{
    return DynCast<Object>(TreeNode::GetRoot());
}

Object* Object::TreeCopy()
{
    return DynCast<Object>(TreeNode::TreeCopy());
}

Object* Object::NodeCopy()
{
    return DynCast<Object>(TreeNode::NodeCopy());
}

void Object::SetTempData(void* data, bool recursive)
{
    const auto store = [data](Object& object) {
        object.SetTempDataSlot(data);
    };
    store(*this);
    if (!recursive)
        return;
    std::vector<TreeNode*> pending{this};
    while (!pending.empty()) {
        const TreeNode* node = pending.back();
        pending.pop_back();
        for (int i = node->GetNumChildren() - 1; i >= 0; --i) {
            TreeNode* child = node->TreeNode::GetChild(i);
            if (Object* object = DynCast<Object>(child))
                store(*object);
            pending.push_back(child);
        }
    }
}

// ---- Statics

const Base* Object::FindClassInstance(std::string_view name)
{
    return Base::FindClassInstance(name);
}

const Base* Object::FindClassInstanceCommon(std::string_view name)
{
    return Base::FindClassInstance(name);
}

std::uint32_t Object::FindClassTypeCommon(std::string_view name)
{
    const Base* instance = Base::FindClassInstance(name);
    return instance ? instance->GetClassType() : 0;
}

Object* Object::GetObjectA(std::uint32_t oid)
{
    return DynCast<Object>(Base::GetObjectA(oid));
}

// ---- Lookups
namespace {

// The first object the iterator yields that satisfies the test.
template <class Test>
Object* FindFirst(Iterator&& iterator, Test&& test)
{
    while (Object* const object = iterator.GetNext()) {
        if (test(*object))
            return object;
    }
    return nullptr;
}

auto HasLabel(std::string_view label)
{
    return [label](const Object& object) { return object.GetLabel() == label; };
}

auto HasId(std::int32_t id)
{
    return [id](const Object& object) { return object.GetID() == id; };
}

constexpr auto Any = [](const Object&) { return true; };

// The five lookup forms over one iterator class; a null start finds nothing.
template <class WalkIterator>
struct Lookup {
    static Object* ByFilter(Object* object, const Filter& filter)
    {
        return object ? FindFirst(WalkIterator(object, filter, false), Any) : nullptr;
    }
    template <class Test>
    static Object* ByTest(Object* object, Test&& test)
    {
        return object ? FindFirst(WalkIterator(object, false), test) : nullptr;
    }
    template <class Test>
    static Object* ByTest(Object* object, std::uint32_t classType, Test&& test)
    {
        return object ? FindFirst(WalkIterator(object, classType, false), test) : nullptr;
    }
};

// The number of tree levels above the node.
int Depth(const TreeNode* node)
{
    int depth = 0;
    for (const TreeNode* parent = node->GetParent(); parent; parent = parent->GetParent())
        ++depth;
    return depth;
}

} // namespace

Object* Object::FindChild(const Filter& filter)
{
    return Lookup<ChildIterator>::ByFilter(this, filter);
}

Object* Object::FindChild(std::string_view label)
{
    return Lookup<ChildIterator>::ByTest(this, HasLabel(label));
}

Object* Object::FindChild(std::int32_t id)
{
    return Lookup<ChildIterator>::ByTest(this, HasId(id));
}

Object* Object::FindChild(std::string_view label, std::uint32_t type)
{
    return Lookup<ChildIterator>::ByTest(this, type, HasLabel(label));
}

Object* Object::FindChild(std::int32_t id, std::uint32_t type)
{
    return Lookup<ChildIterator>::ByTest(this, type, HasId(id));
}

Object* Object::FindDescendent(const Filter& filter)
{
    return Lookup<DescendentIterator>::ByFilter(this, filter);
}

Object* Object::FindDescendent(std::string_view label)
{
    return Lookup<DescendentIterator>::ByTest(this, HasLabel(label));
}

Object* Object::FindDescendent(std::int32_t id)
{
    return Lookup<DescendentIterator>::ByTest(this, HasId(id));
}

Object* Object::FindDescendent(std::string_view label, std::uint32_t type)
{
    return Lookup<DescendentIterator>::ByTest(this, type, HasLabel(label));
}

Object* Object::FindDescendent(std::int32_t id, std::uint32_t type)
{
    return Lookup<DescendentIterator>::ByTest(this, type, HasId(id));
}

Object* Object::FindAncestor(const Filter& filter)
{
    return Lookup<AncestorIterator>::ByFilter(this, filter);
}

Object* Object::FindAncestor(std::string_view label)
{
    return Lookup<AncestorIterator>::ByTest(this, HasLabel(label));
}

Object* Object::FindAncestor(std::int32_t id)
{
    return Lookup<AncestorIterator>::ByTest(this, HasId(id));
}

Object* Object::FindAncestor(std::string_view label, std::uint32_t type)
{
    return Lookup<AncestorIterator>::ByTest(this, type, HasLabel(label));
}

Object* Object::FindAncestor(std::int32_t id, std::uint32_t type)
{
    return Lookup<AncestorIterator>::ByTest(this, type, HasId(id));
}

Object* Object::FindCommonAncestor(Object* other, const Filter& filter)
{
    if (!other)
        return nullptr;
    TreeNode* a = this;
    TreeNode* b = other;
    int depthA = Depth(a);
    int depthB = Depth(b);
    for (; depthA > depthB; --depthA)
        a = a->GetParent();
    for (; depthB > depthA; --depthB)
        b = b->GetParent();
    while (a != b) {
        a = a->GetParent();
        b = b->GetParent();
    }
    // From the meeting node up, the first Object the filter accepts; a and b are null for two trees.
    for (TreeNode* node = a; node; node = node->GetParent()) {
        Object* const candidate = DynCast<Object>(node);
        if (candidate && filter(candidate))
            return candidate;
    }
    return nullptr;
}

} // namespace Tavrel
