#include <tavrel/conformers/Animation.h>

#include <tavrel/conformers/CopiedSubtree.h>
#include <tavrel/core/Color.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Animation)

namespace {

// The hint bit whose nodes DisplayAll draws.
constexpr std::uint8_t ShownHint = 1;

void Show(TreeNode* frame)
{
    frame->SetHint(ShownHint);
}

void Hide(TreeNode* frame)
{
    frame->ClearHint(ShownHint);
}

template <class Act>
void ForEachMember(const BaseCollection& frames, Act&& act)
{
    for (POSITION position = frames.GetStartPosition(); position;)
        act(frames.GetNext(position));
}

} // namespace

Animation::Animation()
{
    SetDisplayStyle(1);
}

Animation::Animation(Object* parent) : Object(parent)
{
    SetDisplayStyle(1);
}

Animation::Animation(Object* parent, const BaseCollection& frames) : Animation(parent)
{
    AddFrameList(frames);
    ActivateFirstFrame();
}

Animation::~Animation()
{
    RemoveAllFrames();
}

const PropertyTable& Animation::Properties()
{
    static const PropertyTable table(
        PropertyList<Animation>()
            .References(
                "Frame List", [](const Animation& animation) { return animation.m_frames.Get().Size(); },
                [](const Animation& animation, std::size_t index) { return animation.m_frames.Get().At(index); },
                [](Animation& animation, std::size_t, Object* frame) { animation.ListFrame(frame); })
            .StreamOnly()
            .Reference(
                "Frame Index", [](const Animation& animation) { return animation.GetIndexedFrame(); },
                [](Animation& animation, Object* frame) {
                    if (animation.m_index.Get() == npos)
                        animation.SetIndexedFrame(frame);
                })
            .StreamOnly()
            .Reference(
                "Active Frame", [](const Animation& animation) { return animation.GetActiveFrame(); },
                [](Animation& animation, Object* frame) {
                    if (frame && animation.m_frames.Get().Contains(frame))
                        animation.m_activeFrame.Get() = frame;
                })
            .StreamOnly()
            // The framework archive's part: the frame count and references, then the int32, int32,
            // byte, int32 and byte older files carry (written as 0, read and ignored). Loading takes
            // the Objects listed, hidden, and shows the first.
            .ArchiveOnly(
                [](const Animation& animation, Archive& archive) {
                    archive.WriteCount(static_cast<std::uint32_t>(animation.m_frames.Get().Size()));
                    for (std::size_t i = 0; i < animation.m_frames.Get().Size(); ++i)
                        archive.WriteObject(animation.m_frames.Get().At(i));
                    archive << std::int32_t{0} << std::int32_t{0} << std::uint8_t{0} << std::int32_t{0} << std::uint8_t{0};
                },
                [](Animation& animation, Archive& archive) {
                    // Each reference takes at least its two-byte tag.
                    const std::uint32_t count = archive.ReadCount(2);
                    for (std::uint32_t i = 0; i < count; ++i) {
                        auto* const frame = static_cast<Object*>(archive.ReadObject(&Object::GetThisClass()));
                        if (animation.ListFrame(frame))
                            Hide(frame);
                    }
                    animation.ActivateFirstFrame();
                    std::int32_t unusedInt = 0;
                    std::uint8_t unusedByte = 0;
                    archive >> unusedInt >> unusedInt >> unusedByte >> unusedInt >> unusedByte;
                })
            .AfterRecord([](Animation& animation, Archive& archive, PropertyArchive* stream) {
                // Frames are hidden and shown once the whole document has been read.
                if (stream && archive.IsLoading())
                    stream->FinishObject(&animation);
            }));
    return table;
}

// ---- The frame list

bool Animation::AddFrame(Object* frame)
{
    if (!frame || frame->TreeNode::GetRoot() != TreeNode::GetRoot() || !ListFrame(frame))
        return false;
    Hide(frame);
    return true;
}

bool Animation::ListFrame(Object* frame)
{
    if (!frame || !m_frames.Get().Append(frame))
        return false;
    AddFrameEvents(frame);
    UpdateExtents();
    return true;
}

void Animation::AddFrameList(const BaseCollection& frames)
{
    ForEachMember(frames, [this](Object* frame) { AddFrame(frame); });
}

void Animation::RemoveFrame(Object* frame)
{
    if (const std::size_t position = FindFramePosition(frame); position != npos)
        RemoveAt(position, false);
}

void Animation::RemoveAt(std::size_t position, bool destroyed)
{
    TreeNode* const frame = m_frames.Get().Node(position);
    const bool shown = m_activeFrame.Get() != nullptr;
    const bool current = position == m_index.Get();
    // The removed frame is shown again below, unless it is being destroyed: then it is not touched.
    if (frame == m_activeFrame.Get())
        m_activeFrame.Get() = nullptr;
    m_frames.Get().Erase(position);
    if (m_index.Get() != npos && m_index.Get() > position)
        --m_index.Get();
    if (current) {
        // The index moves on to the frame that followed; it is shown only when the removed one was.
        m_index.Get() = position < m_frames.Get().Size() ? position : npos;
        if (m_index.Get() != npos) {
            ActivateIndexedFrame();
            if (!shown)
                DeactivateIndexedFrame();
        }
    }
    if (!destroyed) {
        RemoveFrameEvents(frame);
        Show(frame);
    }
    UpdateExtents();
}

void Animation::RemoveFrameList(const BaseCollection& frames)
{
    ForEachMember(frames, [this](Object* frame) { RemoveFrame(frame); });
}

void Animation::RemoveAllFrames()
{
    ResetFrame();
    m_frames.Get().ForEachNode([this](TreeNode* frame) {
        RemoveFrameEvents(frame);
        Show(frame);
    });
    m_frames.Get().Clear();
    UpdateExtents();
}

void Animation::ReplaceFrameList(const BaseCollection& frames)
{
    RemoveAllFrames();
    AddFrameList(frames);
}

std::int32_t Animation::GetFrameCount() const
{
    return static_cast<std::int32_t>(m_frames.Get().Size());
}

std::vector<Object*> Animation::GetFrames() const
{
    return m_frames.Get().Frames();
}

std::size_t Animation::FindFramePosition(const Object* frame) const
{
    return frame ? m_frames.Get().Find(frame) : npos;
}

Object* Animation::GetIndexedFrame() const
{
    return m_index.Get() < m_frames.Get().Size() ? m_frames.Get().At(m_index.Get()) : nullptr;
}

void Animation::SetIndexedFrame(const Object* frame)
{
    m_index.Get() = FindFramePosition(frame);
}

void Animation::AddFrameEvents(TreeNode* frame)
{
    frame->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &DeleteFrame, false, this, nullptr);
    frame->RegisterEvent(Geometric::classType, Geometric::EventMoved, &MoveFrame, false, this, nullptr);
    frame->RegisterEvent(TreeNode::classType, TreeNode::EventSelectionChanged, &SelectFrame, false, this, nullptr);
}

void Animation::RemoveFrameEvents(TreeNode* frame)
{
    frame->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, &DeleteFrame, false, this, nullptr);
    frame->UnregisterEvent(Geometric::classType, Geometric::EventMoved, &MoveFrame, false, this, nullptr);
    frame->UnregisterEvent(TreeNode::classType, TreeNode::EventSelectionChanged, &SelectFrame, false, this, nullptr);
}

// ---- Stepping

bool Animation::ActivateFirstFrame()
{
    DeactivateIndexedFrame();
    return ShowAt(0);
}

bool Animation::ActivateLastFrame()
{
    DeactivateIndexedFrame();
    return ShowAt(m_frames.Get().Size() - 1);
}

bool Animation::ActivateNextFrame()
{
    if (m_index.Get() == npos)
        return ActivateFirstFrame();
    DeactivateIndexedFrame();
    return ShowAt(m_index.Get() + 1);
}

bool Animation::ActivatePreviousFrame()
{
    if (m_index.Get() == npos)
        return ActivateLastFrame();
    DeactivateIndexedFrame();
    return ShowAt(m_index.Get() - 1);
}

bool Animation::ShowAt(std::size_t position)
{
    m_index.Get() = position < m_frames.Get().Size() ? position : npos;
    if (m_index.Get() == npos)
        return false;
    ActivateIndexedFrame();
    return true;
}

void Animation::ResetFrame()
{
    DeactivateIndexedFrame();
    m_index.Get() = npos;
}

void Animation::ActivateFrame(const Object* frame)
{
    SetIndexedFrame(frame);
    ActivateIndexedFrame();
}

void Animation::DeactivateIndexedFrame()
{
    if (m_activeFrame.Get())
        Hide(m_activeFrame.Get());
    m_activeFrame.Get() = nullptr;
}

void Animation::ActivateIndexedFrame()
{
    if (m_selectionShown)
        UpdateFrames();
    DeactivateIndexedFrame();
    if (m_index.Get() < m_frames.Get().Size()) {
        m_activeFrame.Get() = m_frames.Get().Node(m_index.Get());
        Show(m_activeFrame.Get());
    }
}

void Animation::UpdateFrames()
{
    m_frames.Get().ForEachNode(Hide);
    m_activeFrame.Get() = nullptr;
    m_selectionShown = false;
}

bool Animation::AnyFrameSelected() const
{
    bool selected = false;
    m_frames.Get().ForEachNode([&selected](const TreeNode* frame) { selected = selected || frame->IsSelected(); });
    return selected;
}

// ---- Callbacks

void Animation::DeleteFrame(Event& event)
{
    auto* const animation = static_cast<Animation*>(event.GetData());
    // The frame's own levels are gone by now: it is found by its node alone.
    if (const std::size_t position = animation->m_frames.Get().Find(event.GetTreeNode(false)); position != npos)
        animation->RemoveAt(position, true);
}

void Animation::MoveFrame(Event& event)
{
    if (event.CheckType(Geometric::classType, Geometric::EventMoved))
        static_cast<Animation*>(event.GetData())->UpdateExtents();
}

void Animation::SelectFrame(Event& event)
{
    auto* const animation = static_cast<Animation*>(event.GetData());
    Object* const frame = Object::GetObjectA(event.GetTreeNodeOID());
    if (!frame || !animation->m_frames.Get().Contains(frame))
        return;
    if (frame->IsSelected()) {
        Show(frame);
        if (animation->m_activeFrame.Get() && !animation->m_activeFrame.Get()->IsSelected())
            animation->DeactivateIndexedFrame();
    } else {
        if (frame == animation->m_activeFrame.Get())
            animation->DeactivateIndexedFrame();
        else
            Hide(frame);
        if (!animation->AnyFrameSelected())
            animation->ActivateIndexedFrame();
    }
    animation->m_selectionShown = true;
}

// ---- Extents

void Animation::CalculateExtents()
{
    DisplayList3D list(DisplayList3D::fastMode);
    for (std::size_t i = 0; i < m_frames.Get().Size(); ++i) {
        Object* const frame = m_frames.Get().At(i);
        const bool shown = frame->HasHint(ShownHint);
        Show(frame);
        frame->DisplayAll(list, false);
        if (!shown)
            Hide(frame);
    }
    const std::vector<PickDot> dots = list.GetPickDots();
    if (dots.empty()) {
        m_maximum = Point3d::origin;
        m_minimum = Point3d::origin;
    } else {
        m_maximum = Point3d::minimum;
        m_minimum = Point3d::maximum;
        for (const PickDot& dot : dots) {
            m_maximum.Maximum(dot.position);
            m_minimum.Minimum(dot.position);
        }
    }
    m_extentsStale = false;
}

void Animation::DisplayExtents(DisplayList3D& list)
{
    if (!CheckDisplayed())
        return;
    if (m_extentsStale)
        CalculateExtents();
    list.Add(DotPrimitive(m_maximum, Color(0u), 1.0, GetOID()));
    list.Add(DotPrimitive(m_minimum, Color(0u), 1.0, GetOID()));
}

// ---- Loading, storing and copying

void Animation::PostProcess(bool storing, std::uint32_t)
{
    if (storing)
        return;
    std::vector<std::uint32_t> oids;
    oids.reserve(m_frames.Get().Size());
    m_frames.Get().ForEachNode([&oids](const TreeNode* frame) { oids.push_back(frame->GetOID()); });
    // Listeners of an activation may delete frames, or this animation.
    const Watch self(this);
    for (const std::uint32_t oid : oids) {
        Object* const frame = Object::GetObjectA(oid);
        if (!frame || !m_frames.Get().Contains(frame))
            continue;
        AddFrameEvents(frame);
        Hide(frame);
        if (!frame->IsActive())
            frame->Activate();
        if (!self.alive)
            return;
    }
    m_activeFrame.Get() = nullptr;
    if (m_index.Get() != npos)
        ActivateIndexedFrame();
    else
        ActivateFirstFrame();
}

void Animation::FinishLoading(std::uint32_t schema)
{
    Object::FinishLoading(schema);
    PostProcess(false, schema);
}

void Animation::DeepenShallowCopy()
{
    const auto* const source = DynCast<Animation>(GetCopySource());
    Object::DeepenShallowCopy();
    if (!source)
        return;
    const TreeNode* const root = GetCopyRoot();
    Object* activeCopy = nullptr;
    Object* indexedCopy = nullptr;
    for (std::size_t i = 0; i < source->m_frames.Get().Size(); ++i) {
        const Object* const frame = source->m_frames.Get().At(i);
        if (!IsInCopiedSubtree(*frame, root))
            continue;
        Object* const copy = DynCast<Object>(frame->Copy());
        if (!ListFrame(copy))
            continue;
        if (frame == source->GetActiveFrame())
            activeCopy = copy;
        if (i == source->m_index.Get())
            indexedCopy = copy;
    }
    m_activeFrame.Get() = activeCopy;
    ActivateFrame(source->m_activeFrame.Get() ? activeCopy : indexedCopy);
    if (m_index.Get() == npos)
        ActivateFirstFrame();
}

} // namespace Tavrel
