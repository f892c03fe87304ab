// An event registration, and the record handed to its callback when an event is delivered.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Tavrel {

class Base;
class TreeNode;

// As a registration: what to listen for (class-type identifier, code, optional attribute filter), the
// callback with its user data, the tree flag and, for a plain registration, the node it was made on.
// As a delivered event: the event's identifier and code, the source node with its OID and class
// prototype, and the event's data as extra data; the other fields are the registration's.
class Event {
public:
    using Callback = void (*)(Event& event);

    Event() = default;
    // A non-null attribute is copied.
    Event(std::uint32_t classType, std::uint16_t eventType, Callback callback, bool treeEvent, void* data,
          const char* attribute, void* extraData);
    // Copies every field but the processed flag, which starts false.
    Event(const Event& other);
    Event(Event&& other) noexcept;
    // Copies every field but the class instance and the processed flag, which keep their values.
    Event& operator=(const Event& other);
    Event& operator=(Event&& other) noexcept;
    ~Event() = default;

    // Class type, code, callback, data, extra data, tree node, OID and tree flag equal, and the
    // attributes agree: either side without one, or the same text (case counts).
    bool operator==(const Event& other) const;

    bool CheckType(std::uint32_t classType, std::uint16_t eventType) const
    {
        return m_classType == classType && m_eventType == eventType;
    }

    std::uint32_t GetClassType() const { return m_classType; }
    std::uint16_t GetEventType() const { return m_eventType; }
    Callback GetCallback() const { return m_callback; }
    const Base* GetClassInstance() const { return m_classInstance; }
    void* GetData() const { return m_data; }
    void* GetExtraData() const { return m_extraData; }
    bool GetTreeEvent() const { return m_treeEvent; }
    bool GetProcessed() const { return m_processed; }
    // The attribute text, or null when there is none.
    const char* GetAttribute() const { return m_attribute ? m_attribute->c_str() : nullptr; }
    // By OID: the live node registered under the stored OID, null when it is gone; otherwise the
    // stored pointer as it is.
    TreeNode* GetTreeNode(bool byOID) const;
    std::uint32_t GetTreeNodeOID() const { return m_treeNodeOID; }

    void SetClassType(std::uint32_t classType) { m_classType = classType; }
    void SetEventType(std::uint16_t eventType) { m_eventType = eventType; }
    void SetCallback(Callback callback) { m_callback = callback; }
    void SetClassInstance(const Base* instance) { m_classInstance = instance; }
    void SetData(void* data) { m_data = data; }
    void SetExtraData(void* extraData) { m_extraData = extraData; }
    void SetTreeEvent(bool treeEvent) { m_treeEvent = treeEvent; }
    void SetProcessed(bool processed) { m_processed = processed; }
    // Null removes the attribute.
    void SetAttribute(const char* attribute);
    // Stores the node and its OID (0 for null).
    void SetTreeNode(TreeNode* node);

private:
    friend class TreeNode;

    // Copies (or moves, for an rvalue) every field but the class instance and the processed flag.
    template <class Other>
    void TakeFields(Other&& other);

    std::uint32_t m_classType = 0;
    std::uint16_t m_eventType = 0;
    Callback m_callback = nullptr;
    const Base* m_classInstance = nullptr;
    void* m_data = nullptr;
    void* m_extraData = nullptr;
    std::optional<std::string> m_attribute;
    TreeNode* m_treeNode = nullptr;
    std::uint32_t m_treeNodeOID = 0;
    bool m_treeEvent = false;
    bool m_processed = false;
};

} // namespace Tavrel
