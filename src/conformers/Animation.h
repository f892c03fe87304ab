// Animation: plays whole objects of its tree (frames) by showing one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <tavrel/conformers/FrameList.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class BaseCollection;
class Event;

// Frames stay where they are in the tree; the animation hides every frame but its current one by
// clearing hint bit 1 and shows a frame by setting it again. A step past either end returns false once
// with nothing shown; the next step starts again at the other end. A selected frame is shown beside the
// current one. The animation owns no frame: it forgets a frame that is deleted, and every frame it lets
// go of (removal, destruction) is shown again.
//
// Persisted as "Frame List" (the frames in order), "Frame Index" (the current frame) and "Active Frame";
// a loaded list keeps the Objects it names once each, and the whole document is read before the frames
// are hidden and the current one shown (PostProcess). The framework record is Object's, the frame count
// and references, then the int32, int32, byte, int32 and byte older files carry (written as 0, read and
// ignored); loading it takes the Objects listed, hidden, and shows the first.
class Animation : public Object {
    TAVREL_CLASS_CONSTRUCTED(Animation, Object, Creatable, public)
public:
    // Every constructor but the copy constructor sets display style 1.
    explicit Animation(Object* parent);
    // Adds the frames (AddFrameList) and shows the first.
    Animation(Object* parent, const BaseCollection& frames);
    // Removes every frame, so all former frames are visible again.
    ~Animation() override;

    // Accepts a non-null object of the animation's tree that is not yet a frame: watches its deletion,
    // moves and selection, appends it and hides it. False, with nothing changed, otherwise.
    bool AddFrame(Object* frame);
    void AddFrameList(const BaseCollection& frames);
    // Nothing for an object that is no frame. Removing the current frame moves the index to the next
    // frame (shown when the removed one was shown); the removed frame is shown again.
    void RemoveFrame(Object* frame);
    void RemoveFrameList(const BaseCollection& frames);
    // ResetFrame, then every frame removed in order.
    void RemoveAllFrames();
    void ReplaceFrameList(const BaseCollection& frames);

    // Each step hides the shown frame first; false, with nothing shown, on an empty list or past an end.
    bool ActivateFirstFrame();
    bool ActivateLastFrame();
    // Without a current frame, the first (the last for Previous).
    bool ActivateNextFrame();
    bool ActivatePreviousFrame();
    // Hides the shown frame; no current frame.
    void ResetFrame();

    std::int32_t GetFrameCount() const;
    // The frames in play order.
    std::vector<Object*> GetFrames() const;

    // Nothing when storing. After loading: watches every frame, activates an inactive one and hides it;
    // then shows the current frame, or the first when there is none.
    virtual void PostProcess(bool storing, std::uint32_t schema);
    void FinishLoading(std::uint32_t schema) override;

    // When the animation is displayed: two dots with its OID, at the maximum and the minimum corner of
    // what its frames draw.
    void DisplayExtents(DisplayList3D& list) override;

protected:
    // The copies of the source's frames that lie inside the copied subtree, in order; frames outside it
    // stay with the source. The copy of the shown (or else the current) frame is current and shown, or
    // the first frame when there is none.
    void DeepenShallowCopy() override;

    // The frame shown as the current one; null when none is.
    Object* GetActiveFrame() const { return static_cast<Object*>(m_activeFrame.Get()); }
    // The frame at the index; null when there is none.
    Object* GetIndexedFrame() const;
    // The index becomes the frame's position; none for null or an object that is no frame.
    void SetIndexedFrame(const Object* frame);
    // SetIndexedFrame, then shows that frame as the current one.
    void ActivateFrame(const Object* frame);
    // The frame's position, FrameList::npos when it is no frame.
    std::size_t FindFramePosition(const Object* frame) const;
    // Deletion, moves and selection of the frame.
    void AddFrameEvents(TreeNode* frame);
    void RemoveFrameEvents(TreeNode* frame);
    void CalculateExtents();
    // Marks the extents stale.
    void UpdateExtents() { m_extentsStale = true; }

private:
    static constexpr std::size_t npos = FrameList<Object>::npos;

    // Lists and watches a frame without the tree check, for loading and copying (the tree is not whole
    // yet); false for null or a frame already listed. The caller hides and shows frames.
    bool ListFrame(Object* frame);
    // Removes the entry at the position. A frame being destroyed is neither touched nor shown again.
    void RemoveAt(std::size_t position, bool destroyed);
    // Hides the shown frame and forgets it.
    void DeactivateIndexedFrame();
    // Ends a selection display first (UpdateFrames); then shows the frame at the index as the current one.
    void ActivateIndexedFrame();
    // Hides every frame and forgets the shown one.
    void UpdateFrames();
    // The index becomes the position (none past the end); shows that frame. False without one.
    bool ShowAt(std::size_t position);
    bool AnyFrameSelected() const;

    static void DeleteFrame(Event& event);
    static void MoveFrame(Event& event);
    static void SelectFrame(Event& event);

    // A copy has the Object part, the extents and the flags: the frames come with DeepenShallowCopy.
    Uncopied<FrameList<Object>> m_frames;
    Uncopied<TreeNode*> m_activeFrame; // an Object's node, kept as a node like the list's
    Uncopied<std::size_t, npos> m_index;
    Point3d m_maximum;
    Point3d m_minimum;
    bool m_extentsStale = true;
    bool m_selectionShown = false;
};

} // namespace Tavrel
