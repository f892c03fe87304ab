#include <tavrel/conformers/Trajectory.h>

#include <tavrel/conformers/CopiedSubtree.h>
#include <tavrel/conformers/TrajectoryFrame.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Trajectory, ClassKind::Creatable)

Trajectory::Trajectory(const Trajectory& other) : Object(other) {}

Trajectory::~Trajectory()
{
    for (std::size_t i = m_frames.Size(); i-- > 0;)
        RemoveAt(i, false);
}

const PropertyTable& Trajectory::Properties()
{
    static const PropertyTable table(
        &Object::Properties(),
        PropertyList<Trajectory>()
            .References(
                "Frame List", [](const Trajectory& trajectory) { return trajectory.m_frames.Size(); },
                [](const Trajectory& trajectory, std::size_t index) { return trajectory.m_frames.At(index); },
                [](Trajectory& trajectory, std::size_t, TrajectoryFrame* frame) { trajectory.AddFrame(frame); })
            .Reference(
                "Frame Index", [](const Trajectory& trajectory) { return trajectory.GetIndexedFrame(); },
                [](Trajectory& trajectory, TrajectoryFrame* frame) { trajectory.SetIndexedFrame(frame); }));
    return table;
}

void Trajectory::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass(archive, *this).Table(Properties());
}

// ---- The frame list

void Trajectory::AddFrame(TrajectoryFrame* frame)
{
    if (!frame || !m_frames.Append(frame))
        return;
    frame->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &DeleteTrajectoryFrame, false, this, nullptr);
}

void Trajectory::RemoveFrame(TrajectoryFrame* frame)
{
    if (const std::size_t position = FindFrameIndex(frame); position != npos)
        RemoveAt(position, false);
}

void Trajectory::RemoveAt(std::size_t position, bool destroyed)
{
    if (!destroyed)
        m_frames.Node(position)->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, &DeleteTrajectoryFrame,
                                                 false, this, nullptr);
    m_frames.Erase(position);
    if (m_index == position)
        m_index = npos;
    else if (m_index != npos && m_index > position)
        --m_index;
}

std::int32_t Trajectory::GetFrameCount() const
{
    return static_cast<std::int32_t>(m_frames.Size());
}

std::vector<TrajectoryFrame*> Trajectory::GetFrames() const
{
    return m_frames.Frames();
}

std::size_t Trajectory::FindFrameIndex(const TrajectoryFrame* frame) const
{
    return frame ? m_frames.Find(frame) : npos;
}

TrajectoryFrame* Trajectory::GetIndexedFrame() const
{
    return m_index < m_frames.Size() ? m_frames.At(m_index) : nullptr;
}

void Trajectory::SetIndexedFrame(const TrajectoryFrame* frame)
{
    m_index = FindFrameIndex(frame);
}

// ---- Stepping

void Trajectory::IndexFirstFrame()
{
    m_index = m_frames.IsEmpty() ? npos : 0;
}

void Trajectory::IndexLastFrame()
{
    m_index = m_frames.IsEmpty() ? npos : m_frames.Size() - 1;
}

void Trajectory::IndexNextFrame()
{
    if (m_index == npos)
        IndexFirstFrame();
    else
        m_index = m_index + 1 < m_frames.Size() ? m_index + 1 : npos;
}

void Trajectory::IndexPreviousFrame()
{
    if (m_index == npos)
        IndexLastFrame();
    else
        m_index = m_index > 0 ? m_index - 1 : npos;
}

bool Trajectory::ApplyIndexedFrame()
{
    TrajectoryFrame* const frame = GetIndexedFrame();
    if (!frame)
        return false;
    frame->Apply();
    return true;
}

bool Trajectory::ApplyFirstFrame()
{
    IndexFirstFrame();
    return ApplyIndexedFrame();
}

bool Trajectory::ApplyLastFrame()
{
    IndexLastFrame();
    return ApplyIndexedFrame();
}

bool Trajectory::ApplyNextFrame()
{
    IndexNextFrame();
    return ApplyIndexedFrame();
}

bool Trajectory::ApplyPreviousFrame()
{
    IndexPreviousFrame();
    return ApplyIndexedFrame();
}

void Trajectory::ResetFrame()
{
    m_index = npos;
}

// ---- Callbacks and copying

void Trajectory::DeleteTrajectoryFrame(Event& event)
{
    auto* const trajectory = static_cast<Trajectory*>(event.GetData());
    // The frame's own levels are gone by now: it is found by its node alone.
    if (const std::size_t position = trajectory->m_frames.Find(event.GetTreeNode(false)); position != npos)
        trajectory->RemoveAt(position, true);
}

void Trajectory::DeepenShallowCopy()
{
    const auto* const source = DynCast<Trajectory>(GetCopySource());
    Object::DeepenShallowCopy();
    if (!source)
        return;
    const TreeNode* const root = GetCopyRoot();
    TrajectoryFrame* current = nullptr;
    for (std::size_t i = 0; i < source->m_frames.Size(); ++i) {
        TrajectoryFrame* const frame = source->m_frames.At(i);
        TrajectoryFrame* const kept = IsInCopiedSubtree(*frame, root) ? DynCast<TrajectoryFrame>(frame->Copy()) : frame;
        AddFrame(kept);
        if (i == source->m_index)
            current = kept;
    }
    SetIndexedFrame(current);
}

} // namespace Tavrel
