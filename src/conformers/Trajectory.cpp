#include <tavrel/conformers/Trajectory.h>

#include <tavrel/conformers/CopiedSubtree.h>
#include <tavrel/conformers/TrajectoryFrame.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Trajectory)

Trajectory::~Trajectory()
{
    for (std::size_t i = m_frames.Get().Size(); i-- > 0;)
        RemoveAt(i, false);
}

const PropertyTable& Trajectory::Properties()
{
    // The framework archive holds the Object part alone.
    static const PropertyTable table(
        PropertyList<Trajectory>()
            .References(
                "Frame List", [](const Trajectory& trajectory) { return trajectory.m_frames.Get().Size(); },
                [](const Trajectory& trajectory, std::size_t index) { return trajectory.m_frames.Get().At(index); },
                [](Trajectory& trajectory, std::size_t, TrajectoryFrame* frame) { trajectory.AddFrame(frame); })
            .StreamOnly()
            .Reference(
                "Frame Index", [](const Trajectory& trajectory) { return trajectory.GetIndexedFrame(); },
                [](Trajectory& trajectory, TrajectoryFrame* frame) { trajectory.SetIndexedFrame(frame); })
            .StreamOnly());
    return table;
}

// ---- The frame list

void Trajectory::AddFrame(TrajectoryFrame* frame)
{
    if (!frame || !m_frames.Get().Append(frame))
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
        m_frames.Get().Node(position)->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, &DeleteTrajectoryFrame,
                                                 false, this, nullptr);
    m_frames.Get().Erase(position);
    if (m_index.Get() == position)
        m_index.Get() = npos;
    else if (m_index.Get() != npos && m_index.Get() > position)
        --m_index.Get();
}

void Trajectory::AddFrameList(const BaseCollection& frames)
{
    for (POSITION position = frames.GetStartPosition(); position;) {
        if (auto* const frame = DynCast<TrajectoryFrame>(frames.GetNext(position)))
            AddFrame(frame);
    }
}

void Trajectory::RemoveAllFrames()
{
    std::vector<std::uint32_t> oids;
    oids.reserve(m_frames.Get().Size());
    m_frames.Get().ForEachNode([&oids](const TreeNode* frame) { oids.push_back(frame->GetOID()); });
    for (const std::uint32_t oid : oids) {
        if (auto* const frame = DynCast<TrajectoryFrame>(Object::GetObjectA(oid)))
            RemoveFrame(frame);
    }
}

std::int32_t Trajectory::GetFrameCount() const
{
    return static_cast<std::int32_t>(m_frames.Get().Size());
}

std::vector<TrajectoryFrame*> Trajectory::GetFrames() const
{
    return m_frames.Get().Frames();
}

std::size_t Trajectory::FindFrameIndex(const TrajectoryFrame* frame) const
{
    return frame ? m_frames.Get().Find(frame) : npos;
}

TrajectoryFrame* Trajectory::GetIndexedFrame() const
{
    return m_index.Get() < m_frames.Get().Size() ? m_frames.Get().At(m_index.Get()) : nullptr;
}

void Trajectory::SetIndexedFrame(const TrajectoryFrame* frame)
{
    m_index.Get() = FindFrameIndex(frame);
}

// ---- Stepping

void Trajectory::IndexFirstFrame()
{
    m_index.Get() = m_frames.Get().IsEmpty() ? npos : 0;
}

void Trajectory::IndexLastFrame()
{
    m_index.Get() = m_frames.Get().IsEmpty() ? npos : m_frames.Get().Size() - 1;
}

void Trajectory::IndexNextFrame()
{
    if (m_index.Get() == npos)
        IndexFirstFrame();
    else
        m_index.Get() = m_index.Get() + 1 < m_frames.Get().Size() ? m_index.Get() + 1 : npos;
}

void Trajectory::IndexPreviousFrame()
{
    if (m_index.Get() == npos)
        IndexLastFrame();
    else
        m_index.Get() = m_index.Get() > 0 ? m_index.Get() - 1 : npos;
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
    m_index.Get() = npos;
}

// ---- Callbacks and copying

void Trajectory::DeleteTrajectoryFrame(Event& event)
{
    auto* const trajectory = static_cast<Trajectory*>(event.GetData());
    // The frame's own levels are gone by now: it is found by its node alone.
    if (const std::size_t position = trajectory->m_frames.Get().Find(event.GetTreeNode(false)); position != npos)
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
    for (std::size_t i = 0; i < source->m_frames.Get().Size(); ++i) {
        TrajectoryFrame* const frame = source->m_frames.Get().At(i);
        TrajectoryFrame* const kept = IsInCopiedSubtree(*frame, root) ? DynCast<TrajectoryFrame>(frame->Copy()) : frame;
        AddFrame(kept);
        if (i == source->m_index.Get())
            current = kept;
    }
    SetIndexedFrame(current);
}

} // namespace Tavrel
