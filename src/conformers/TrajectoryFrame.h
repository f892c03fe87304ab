// TrajectoryFrame: one moment of a trajectory, pairing objects with the frames that hold their states.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Event;
class ObjectFrame;

// An object and a frame each belong to at most one pair. Pairs keep the order in which they were
// added: Apply and the stored lists follow it. Neither objects nor frames are owned: a pair is
// dropped when either of its members is deleted.
//
// Persisted as "Frame List" ((object, frame) for each pair) and "Object List" ((frame, object) for
// each pair, the same pairs the other way round, kept for older readers). Loading takes the pairs of
// "Frame List" whose halves are an Object and an ObjectFrame, through AddFrame, and derives the
// inverse from them; "Object List" is not read.
class TrajectoryFrame : public Object {
    TAVREL_CLASS(TrajectoryFrame, Object, Creatable, public)
public:
    // Drops every pair.
    ~TrajectoryFrame() override;

    // False, with nothing changed, when either is null, the object already has a frame or the frame
    // already has an object. Otherwise watches the deletion of both and adds the pair.
    bool AddFrame(Object* object, ObjectFrame* frame);
    // Drops the argument's pair, if it has one.
    void RemoveObject(Object* object);
    void RemoveFrame(ObjectFrame* frame);

    // Each pair's frame applied to its object, in the order the pairs were added. Frames may change
    // the tree: pairs dropped meanwhile are skipped, and the walk ends when this frame is deleted.
    virtual void Apply();

    std::int32_t GetFrameCount() const;
    // The pairs (object, frame) in order.
    std::vector<std::pair<Object*, ObjectFrame*>> GetPairs() const;

protected:
    // The source's pairs, each member that lies inside the copied subtree replaced by its copy (a pair
    // whose member there has no copy is dropped); members outside it are kept.
    void DeepenShallowCopy() override;

private:
    // The members as nodes, so that a member being destroyed is handled without touching it as what it
    // was; they are an Object and an ObjectFrame while they live.
    struct Pair {
        TreeNode* object;
        TreeNode* frame;
    };
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    std::size_t FindSlot(const std::unordered_map<const TreeNode*, std::size_t>& index, const TreeNode* node) const;
    // Drops the pair in the slot; a member being destroyed (destroyed) is not touched.
    void RemovePair(std::size_t slot, const TreeNode* destroyed);
    void RemoveAllFrames();
    // Squeezes out the holes when they outnumber the pairs, unless Apply is walking them.
    void Compact();

    static void DeleteObject(Event& event);
    static void DeleteFrame(Event& event);

    // A copy has the Object part only: the pairs come with DeepenShallowCopy.
    Uncopied<std::vector<Pair>> m_pairs; // a dropped pair leaves a hole (null members) until Compact
    Uncopied<std::unordered_map<const TreeNode*, std::size_t>> m_objectToFrame; // object -> slot
    Uncopied<std::unordered_map<const TreeNode*, std::size_t>> m_frameToObject; // frame -> slot
    Uncopied<int> m_applying;
};

} // namespace Tavrel
