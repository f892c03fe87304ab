#include <tavrel/conformers/TrajectoryFrame.h>

#include <tavrel/conformers/CopiedSubtree.h>
#include <tavrel/conformers/ObjectFrame.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(TrajectoryFrame)

namespace {

// How many pairs ahead Apply fetches the members of.
constexpr std::size_t PrefetchDistance = 16;

} // namespace

TrajectoryFrame::~TrajectoryFrame()
{
    RemoveAllFrames();
}

const PropertyTable& TrajectoryFrame::Properties()
{
    // Neither list is in the framework archive, which holds the Object part alone.
    static const PropertyTable table(
        PropertyList<TrajectoryFrame>()
            .Pairs(
                "Frame List", [](const TrajectoryFrame& trajectoryFrame) { return trajectoryFrame.GetPairs(); },
                [](TrajectoryFrame& trajectoryFrame, std::size_t, Object* object, ObjectFrame* frame) {
                    trajectoryFrame.AddFrame(object, frame);
                })
            .Pairs(
                "Object List",
                [](const TrajectoryFrame& trajectoryFrame) {
                    std::vector<std::pair<ObjectFrame*, Object*>> pairs;
                    pairs.reserve(trajectoryFrame.m_frameToObject.Get().size());
                    for (const auto& [object, frame] : trajectoryFrame.GetPairs())
                        pairs.emplace_back(frame, object);
                    return pairs;
                },
                // The inverse of "Frame List", which alone is read.
                [](TrajectoryFrame&, std::size_t, ObjectFrame*, Object*) {}));
    return table;
}

bool TrajectoryFrame::AddFrame(Object* object, ObjectFrame* frame)
{
    if (!object || !frame || m_objectToFrame.Get().contains(object) || m_frameToObject.Get().contains(frame))
        return false;
    object->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &DeleteObject, false, this, nullptr);
    frame->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &DeleteFrame, false, this, nullptr);
    const std::size_t slot = m_pairs.Get().size();
    m_pairs.Get().push_back({object, frame});
    m_objectToFrame.Get().emplace(object, slot);
    m_frameToObject.Get().emplace(frame, slot);
    return true;
}

void TrajectoryFrame::RemoveObject(Object* object)
{
    if (const std::size_t slot = FindSlot(m_objectToFrame.Get(), object); slot != npos) {
        RemovePair(slot, nullptr);
        Compact();
    }
}

void TrajectoryFrame::RemoveFrame(ObjectFrame* frame)
{
    if (const std::size_t slot = FindSlot(m_frameToObject.Get(), frame); slot != npos) {
        RemovePair(slot, nullptr);
        Compact();
    }
}

void TrajectoryFrame::Apply()
{
    const Watch self(this);
    {
        ++m_applying.Get();
        const struct Walking {
            TrajectoryFrame* frame;
            const Watch& self;
            ~Walking()
            {
                if (self.alive)
                    --frame->m_applying.Get();
            }
        } walking{this, self};
        // By slot, as frames may add pairs; dropped pairs leave holes while the walk lasts. The
        // members of a pair a few slots ahead are fetched early: they lie wherever the host made them.
        for (std::size_t slot = 0; slot < m_pairs.Get().size(); ++slot) {
            if (const std::size_t ahead = slot + PrefetchDistance; ahead < m_pairs.Get().size()) {
                // A frame's own state begins after its ObjectFrame part.
                const auto* const frame = reinterpret_cast<const char*>(m_pairs.Get()[ahead].frame);
                __builtin_prefetch(frame);
                __builtin_prefetch(frame + sizeof(ObjectFrame));
                __builtin_prefetch(m_pairs.Get()[ahead].object);
            }
            const Pair pair = m_pairs.Get()[slot];
            if (!pair.object)
                continue;
            static_cast<ObjectFrame*>(pair.frame)->Apply(static_cast<Object*>(pair.object));
            if (!self.alive)
                return;
        }
    }
    Compact();
}

std::int32_t TrajectoryFrame::GetFrameCount() const
{
    return static_cast<std::int32_t>(m_objectToFrame.Get().size());
}

std::vector<std::pair<Object*, ObjectFrame*>> TrajectoryFrame::GetPairs() const
{
    std::vector<std::pair<Object*, ObjectFrame*>> pairs;
    pairs.reserve(m_objectToFrame.Get().size());
    for (const Pair& pair : m_pairs.Get()) {
        if (pair.object)
            pairs.emplace_back(static_cast<Object*>(pair.object), static_cast<ObjectFrame*>(pair.frame));
    }
    return pairs;
}

std::size_t TrajectoryFrame::FindSlot(const std::unordered_map<const TreeNode*, std::size_t>& index,
                                      const TreeNode* node) const
{
    const auto found = node ? index.find(node) : index.end();
    return found == index.end() ? npos : found->second;
}

void TrajectoryFrame::RemovePair(std::size_t slot, const TreeNode* destroyed)
{
    Pair& pair = m_pairs.Get()[slot];
    // A node being destroyed takes its registrations with it.
    if (pair.object != destroyed)
        pair.object->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, &DeleteObject, false, this, nullptr);
    if (pair.frame != destroyed)
        pair.frame->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, &DeleteFrame, false, this, nullptr);
    m_objectToFrame.Get().erase(pair.object);
    m_frameToObject.Get().erase(pair.frame);
    pair = Pair{};
}

void TrajectoryFrame::RemoveAllFrames()
{
    for (std::size_t slot = 0; slot < m_pairs.Get().size(); ++slot) {
        if (m_pairs.Get()[slot].object)
            RemovePair(slot, nullptr);
    }
    m_pairs.Get().clear();
}

void TrajectoryFrame::Compact()
{
    const std::size_t live = m_objectToFrame.Get().size();
    if (m_applying.Get() > 0 || m_pairs.Get().size() - live <= live)
        return;
    std::size_t kept = 0;
    for (std::size_t slot = 0; slot < m_pairs.Get().size(); ++slot) {
        const Pair pair = m_pairs.Get()[slot];
        if (!pair.object)
            continue;
        m_objectToFrame.Get()[pair.object] = kept;
        m_frameToObject.Get()[pair.frame] = kept;
        m_pairs.Get()[kept++] = pair;
    }
    m_pairs.Get().resize(kept);
}

void TrajectoryFrame::DeleteObject(Event& event)
{
    auto* const trajectoryFrame = static_cast<TrajectoryFrame*>(event.GetData());
    const TreeNode* const node = event.GetTreeNode(false);
    if (const std::size_t slot = trajectoryFrame->FindSlot(trajectoryFrame->m_objectToFrame.Get(), node); slot != npos) {
        trajectoryFrame->RemovePair(slot, node);
        trajectoryFrame->Compact();
    }
}

void TrajectoryFrame::DeleteFrame(Event& event)
{
    auto* const trajectoryFrame = static_cast<TrajectoryFrame*>(event.GetData());
    const TreeNode* const node = event.GetTreeNode(false);
    if (const std::size_t slot = trajectoryFrame->FindSlot(trajectoryFrame->m_frameToObject.Get(), node); slot != npos) {
        trajectoryFrame->RemovePair(slot, node);
        trajectoryFrame->Compact();
    }
}

void TrajectoryFrame::DeepenShallowCopy()
{
    const auto* const source = DynCast<TrajectoryFrame>(GetCopySource());
    Object::DeepenShallowCopy();
    if (!source)
        return;
    const TreeNode* const root = GetCopyRoot();
    for (const auto& [object, frame] : source->GetPairs()) {
        Object* const objectCopy = IsInCopiedSubtree(*object, root) ? DynCast<Object>(object->Copy()) : object;
        ObjectFrame* const frameCopy = IsInCopiedSubtree(*frame, root) ? DynCast<ObjectFrame>(frame->Copy()) : frame;
        AddFrame(objectCopy, frameCopy);
    }
}

} // namespace Tavrel
