// Trajectory: an ordered list of trajectory frames with a current position stepped forward and backward.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <tavrel/conformers/FrameList.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class BaseCollection;
class Event;
class TrajectoryFrame;

// Each step moves the current position and applies the trajectory frame there. A step past either end
// returns false once with nothing applied; the next step starts again at the other end. Frames are not
// owned: a frame that is deleted is forgotten.
//
// Persisted as "Frame List" (the frames in order) and "Frame Index" (the current frame); a loaded list
// keeps the TrajectoryFrames it names once each.
class Trajectory : public Object {
    TAVREL_CLASS(Trajectory, Object, Creatable, public)
public:
    // Forgets every frame.
    ~Trajectory() override;

    // Nothing for null or a frame already listed; otherwise watches its deletion and appends it.
    virtual void AddFrame(TrajectoryFrame* frame);
    // Nothing for a frame that is not listed. Removing the current frame leaves no current frame.
    virtual void RemoveFrame(TrajectoryFrame* frame);

    // Each moves the position, then applies the frame there; false, with nothing applied, without one.
    virtual bool ApplyFirstFrame();
    virtual bool ApplyLastFrame();
    // Without a current frame, the first (the last for Previous).
    virtual bool ApplyNextFrame();
    virtual bool ApplyPreviousFrame();
    // No current frame.
    virtual void ResetFrame();

    std::int32_t GetFrameCount() const;
    // The frames in order.
    std::vector<TrajectoryFrame*> GetFrames() const;

protected:
    // The source's frames in order, each frame that lies inside the copied subtree replaced by its copy
    // (dropped when it has none), the others kept; the current frame is the source's, or its copy.
    void DeepenShallowCopy() override;

    // AddFrame for every member that is a TrajectoryFrame, in order.
    void AddFrameList(const BaseCollection& frames);
    // RemoveFrame for every frame in order; a frame that an override deleted meanwhile is passed over.
    void RemoveAllFrames();

    // The frame at the current position; null when there is none.
    TrajectoryFrame* GetIndexedFrame() const;
    // The position becomes the frame's; none for null or a frame that is not listed.
    void SetIndexedFrame(const TrajectoryFrame* frame);
    void IndexFirstFrame();
    void IndexLastFrame();
    void IndexNextFrame();
    void IndexPreviousFrame();
    // Applies the frame at the current position; false without one.
    bool ApplyIndexedFrame();
    // The frame's position, FrameList::npos when it is not listed.
    std::size_t FindFrameIndex(const TrajectoryFrame* frame) const;

private:
    static constexpr std::size_t npos = FrameList<TrajectoryFrame>::npos;

    // Drops the entry at the position; a frame being destroyed is not touched.
    void RemoveAt(std::size_t position, bool destroyed);
    static void DeleteTrajectoryFrame(Event& event);

    // A copy has the Object part only: the frames come with DeepenShallowCopy.
    Uncopied<FrameList<TrajectoryFrame>> m_frames;
    Uncopied<std::size_t, npos> m_index;
};

} // namespace Tavrel
