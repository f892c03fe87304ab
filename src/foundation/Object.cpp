#include "foundation/Object.h"

#include "foundation/AncestorIterator.h"
#include "foundation/ChildIterator.h"
#include "foundation/DescendentIterator.h"
#include <array>
#include <memory>
#include <utility>

#include "core/StringUtils.h"
#include "foundation/PropertyArchive.h"
#include "foundation/PropertyPass.h"
#include "platform/Archive.h"

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Object, ClassKind::Creatable)

namespace {

constexpr std::uint8_t DisplayHint = 1;
constexpr std::uint32_t TextPropertyFlags = DataStorage::FlagReadable | DataStorage::FlagWritable;
constexpr std::int32_t AccessReadWrite = ObjectProperty::AccessReadable | ObjectProperty::AccessWritable;

bool Is(std::string_view name, std::string_view known)
{
    return StringUtils::EqualsNoCase(name, known);
}

bool StartsWithSelect(std::string_view name)
{
    return name.size() >= 6 && Is(name.substr(0, 6), "Select");
}

} // namespace

// The walk behind DisplayAll, DisplayAllExtents and the recursive SetDisplayStyle. It keeps a stack of
// nodes whose children are still to be visited and calls each child's virtual operation; the base
// operation of a node called by the walk does its own part and hands its children back to the walk.
// A call made any other way (a host call, an override calling the operation with other arguments)
// starts a walk of its own. The display walks remember whether each queued node and all its
// ancestors are active, so the activity tests of the nodes they visit cost O(1). A node deleted
// during the walk (by a listener of the style event) is noticed through its OID and its remaining
// children are skipped.
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
            Object* const child = DynCast<Object>(frame.node->TreeNode::GetChild(frame.next++));
            if (!child)
                continue;
            Visit(child, frame.active && child->IsObjectActive());
            m_token = child;
            call(*child);  // may grow m_frames: `frame` is not used again
            m_token = nullptr;
            Visit(nullptr, false);
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

Object::Object() = default;

// The TreeNode part joined the parent before this level existed: the mask bits of the tree
// registrations above are copied again so they reach this level's byte.
Object::Object(TreeNode* parent) : TreeNode(parent)
{
    SetMaskFromParents();
}

Object::Object(const Object& other)
    : TreeNode(other),
      m_color(other.m_color),
      m_label(other.m_label),
      m_ID(other.m_ID),
      m_properties(other.m_properties),
      m_displayStyle(other.m_displayStyle)
{
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

void Object::GetSetObjectProperties(PropertyArchive& archive)
{
    static PropertyLevel level;
    PropertyPass pass(archive, level, *this);
    if (!pass)
        return;
    pass.Archived(
        "Property", [this](Archive& nested) { m_properties.Serialize(nested); },
        [this](Archive& nested) { m_properties.Serialize(nested); });
    pass.Archived("Color", m_color);
    pass.Value<Storage::StorageString>("Label", m_label);
    pass.Value<Storage::StorageUnsignedInt>(
        "LocalID", [this] { return static_cast<std::uint32_t>(m_ID); },
        [this](std::uint32_t value) { m_ID = static_cast<std::int32_t>(value); });
    pass.Value<Storage::StorageUnsignedChar>(
        "UserEventMask", [this] { return m_levelEventMask.Get(); },
        [this](std::uint8_t value) {
            m_levelEventMask.Clear();
            m_levelEventMask.Set(value);
        });
    pass.Value<Storage::StorageUnsignedChar>("DisplayStyle", m_displayStyle);
}

void Object::Serialize(Archive& archive)
{
    TreeNode::Serialize(archive);
    if (archive.IsStoring()) {
        m_properties.Serialize(archive);
        archive << m_color << m_label << m_ID << m_levelEventMask.Get() << m_displayStyle;
        return;
    }
    Property properties;
    properties.Serialize(archive);
    Color color;
    std::string label;
    std::int32_t id = 0;
    std::uint8_t mask = 0;
    std::uint8_t style = 0;
    archive >> color >> label >> id >> mask >> style;
    if (properties.GetNumProperties() > 0)
        m_properties = std::move(properties);
    m_color = color;
    m_label = std::move(label);
    m_ID = id;
    m_levelEventMask.Clear();
    m_levelEventMask.Set(mask);
    m_displayStyle = style;
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
    return m_label;
}

void Object::SetLabel(std::string_view label)
{
    m_label = label;
    DoNotify(classType, EventLabelSet, nullptr, nullptr);
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
        DoNotify(classType, EventDisplayStyleChanged, nullptr, nullptr);
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
    if (Is(name, "Label") || Is(name, "Name"))
        return GetLabel();
    if (Is(name, "ID"))
        return StringUtils::Format("%d", GetID());
    if (Is(name, "LID"))
        return StringUtils::Format("%d", GetLID());
    if (Is(name, "Color"))
        return GetColor().GetRGBString();
    if (Is(name, "Index"))
        return StringUtils::Format("%d", GetIndex());
    if (StartsWithSelect(name))
        return IsSelected() ? "true" : "false";
    if (Is(name, "oiv"))
        return GetInvariant();
    if (Is(name, "Parent")) {
        const Object* parent = GetParent();
        return parent ? parent->GetLabel() : std::string();
    }
    std::string text = m_properties.GetPropertyAsString(name);
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
    if (Is(name, "Label") || Is(name, "Name")) {
        SetLabel(value);
        return true;
    }
    if (Is(name, "ID")) {
        std::int32_t id = 0;
        if (!StringUtils::StringToInteger(value, id))
            return false;
        SetID(id);
        return true;
    }
    if (Is(name, "Color")) {
        Color color = GetColor();
        if (!color.SetRGB(value))
            return false;
        SetColor(color);
        return true;
    }
    if (StartsWithSelect(name)) {
        if (Is(value, "all"))
            SetSelect(true);
        else if (Is(value, "none"))
            UnSelect(true);
        else if (Is(value, "on") || Is(value, "true"))
            Select(false);
        else if (Is(value, "off") || Is(value, "false"))
            UnSelect(false);
        else
            return false;
        return true;
    }
    if (Is(name, "Visible")) {
        if (Is(value, "on"))
            SetVisible(true);
        else if (Is(value, "off"))
            SetInvisible(true);
        else
            return false;
        return true;
    }
    if (Is(name, "Style")) {
        if (Is(value, "None"))
            SetDisplayStyle(0);
        else if (Is(value, "Default"))
            SetDisplayStyle(1);
        else
            return false;
        return true;
    }
    if (Is(name, "Parent"))
        return false;

    // The table replaces an existing cell's flags even when it refuses the text; a refusal must
    // change nothing, so the flags are put back.
    const bool existed = m_properties.HasProperty(name);
    const bool temporary = m_properties.IsTemporary(name);
    const bool readable = m_properties.IsReadable(name);
    const bool writable = m_properties.IsWritable(name);
    switch (m_properties.SetPropertyFromString(name, value, TextPropertyFlags)) {
    case Property::StatusCreated:
        DoNotify(classType, EventPropertyCreated, nullptr, nullptr);
        return true;
    case Property::StatusSet:
        return true;
    case Property::StatusFailed:
        break;
    }
    if (existed) {
        m_properties.SetTemporary(name, temporary);
        m_properties.SetReadable(name, readable);
        m_properties.SetWritable(name, writable);
    }
    return false;
}

ObjectProperty Object::GetPropertyAsObjectProperty(std::string_view name) const
{
    if (name.empty())
        return {};
    if (Is(name, "Label") || Is(name, "Name"))
        return ObjectProperty("Name", GetLabel(), AccessReadWrite, 0);
    if (Is(name, "ID"))
        return ObjectProperty("ID", GetID(), AccessReadWrite, 0);
    if (Is(name, "Color"))
        return ObjectProperty("Color", GetColor(), AccessReadWrite, 3);
    if (Is(name, "Parent")) {
        if (!TreeNode::GetParent())
            return {};
        const Object* parent = GetParent();
        return ObjectProperty("Parent", parent ? parent->GetLabel() : std::string(), ObjectProperty::AccessReadable, 0);
    }
    ObjectProperty result;
    const std::int32_t count = m_properties.GetNumProperties();
    for (std::int32_t i = 0; i < count; ++i) {
        std::string stored = m_properties.GetPropertyName(i);
        if (!Is(stored, name) || !m_properties.IsReadable(stored))
            continue;
        const std::int32_t access = m_properties.IsWritable(stored) ? AccessReadWrite : ObjectProperty::AccessReadable;
        std::string text = GetPropertyAsString(stored);
        result = ObjectProperty(std::move(stored), std::move(text), access, 0);
    }
    return result;
}

std::int32_t Object::GetProperties(ObjectProperty::Array& properties) const
{
    properties.push_back(Object::GetPropertyAsObjectProperty("Name"));
    properties.push_back(Object::GetPropertyAsObjectProperty("ID"));
    properties.push_back(Object::GetPropertyAsObjectProperty("Color"));
    if (TreeNode::GetParent())
        properties.push_back(Object::GetPropertyAsObjectProperty("Parent"));
    return static_cast<std::int32_t>(properties.size());
}

std::int32_t Object::GetUserProperties(ObjectProperty::Array& properties) const
{
    const std::int32_t count = m_properties.GetNumProperties();
    for (std::int32_t i = 0; i < count; ++i) {
        std::string name = m_properties.GetPropertyName(i);
        if (!m_properties.IsReadable(name))
            continue;
        const std::int32_t access = m_properties.IsWritable(name) ? AccessReadWrite : ObjectProperty::AccessReadable;
        std::string text = GetPropertyAsString(name);
        properties.emplace_back(std::move(name), std::move(text), access, 0);
    }
    return static_cast<std::int32_t>(properties.size());
}

// ---- User properties

void Object::RemoveProperty(std::string_view name)
{
    m_properties.RemoveProperty(name);
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
    SetAndNotify(*this, name, [&] { m_properties.SetProperty(name, object, flags); });
}

void Object::SetProperty(std::string_view name, const char* text, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { m_properties.SetProperty(name, text, flags); });
}

void Object::SetProperty(std::string_view name, std::int32_t count, const std::uint8_t* bytes, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { m_properties.SetProperty(name, count, bytes, flags); });
}

void Object::SetProperty(std::string_view name, void* value, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { m_properties.SetProperty(name, value, flags); });
}

void Object::SetProperty(std::string_view name, std::int32_t count, const float* values, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { m_properties.SetProperty(name, count, values, flags); });
}

void Object::SetProperty(std::string_view name, float value, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { m_properties.SetProperty(name, value, flags); });
}

void Object::SetProperty(std::string_view name, std::int32_t count, const std::int32_t* values, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { m_properties.SetProperty(name, count, values, flags); });
}

void Object::SetProperty(std::string_view name, std::int32_t value, std::uint32_t flags)
{
    SetAndNotify(*this, name, [&] { m_properties.SetProperty(name, value, flags); });
}

void Object::SetProperty(std::string_view name)
{
    SetAndNotify(*this, name, [&] { m_properties.SetProperty(name); });
}

bool Object::HasProperty(std::string_view name) const
{
    return m_properties.HasProperty(name);
}

bool Object::GetProperty(std::string_view name, std::int32_t& value) const
{
    return m_properties.GetProperty(name, value);
}

bool Object::GetProperty(std::string_view name, std::int32_t& count, const std::int32_t*& values) const
{
    return m_properties.GetProperty(name, count, values);
}

bool Object::GetProperty(std::string_view name, float& value) const
{
    return m_properties.GetProperty(name, value);
}

bool Object::GetProperty(std::string_view name, std::int32_t& count, const float*& values) const
{
    return m_properties.GetProperty(name, count, values);
}

bool Object::GetProperty(std::string_view name, void*& value) const
{
    return m_properties.GetProperty(name, value);
}

bool Object::GetProperty(std::string_view name, std::int32_t& count, const std::uint8_t*& bytes) const
{
    return m_properties.GetProperty(name, count, bytes);
}

bool Object::GetProperty(std::string_view name, const char*& text) const
{
    return m_properties.GetProperty(name, text);
}

bool Object::GetProperty(std::string_view name, Base*& object) const
{
    return m_properties.GetProperty(name, object);
}

void Object::CopyProperties(const Object* other)
{
    if (other && other != this)
        m_properties.CopyProperties(other->m_properties);
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

void Object::DisplayAll(DisplayList3D& list, bool selectedOnly)
{
    const Walk::Args args{&list, selectedOnly, 0, 0};
    const auto own = [&] {
        if (!selectedOnly || (IsObjectSelected() && Walk::IsActive(this)))
            Display(list);
    };
    if (Walk* walk = Walk::Claim(this, Walk::Op::Display, args)) {
        // The walk only reaches nodes whose ancestors all hold the hint.
        if (!HasHint(DisplayHint))
            return;
        own();
        walk->Descend(this);
        return;
    }
    if (!CheckHint(DisplayHint))
        return;
    Walk walk(Walk::Op::Display, args, this);
    own();
    walk.Descend(this);
    walk.Run([&](Object& child) { child.DisplayAll(list, selectedOnly); });
}

void Object::DisplayAllExtents(DisplayList3D& list, bool selectedOnly)
{
    const Walk::Args args{&list, selectedOnly, 0, 0};
    const auto own = [&] {
        if (!selectedOnly || (IsObjectSelected() && Walk::IsActive(this)))
            DisplayExtents(list);
    };
    if (Walk* walk = Walk::Claim(this, Walk::Op::Extents, args)) {
        own();
        walk->Descend(this);
        return;
    }
    Walk walk(Walk::Op::Extents, args, this);
    own();
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
    m_tempData = data;
    if (!recursive)
        return;
    std::vector<TreeNode*> pending{this};
    while (!pending.empty()) {
        const TreeNode* node = pending.back();
        pending.pop_back();
        for (int i = node->GetNumChildren() - 1; i >= 0; --i) {
            TreeNode* child = node->TreeNode::GetChild(i);
            if (Object* object = DynCast<Object>(child))
                object->m_tempData = data;
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
