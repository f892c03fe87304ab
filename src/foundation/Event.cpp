#include <tavrel/foundation/Event.h>

#include <utility>

#include <tavrel/foundation/TreeNode.h>

namespace Tavrel {

Event::Event(std::uint32_t classType, std::uint16_t eventType, Callback callback, bool treeEvent, void* data,
             const char* attribute, void* extraData)
    : m_classType(classType),
      m_eventType(eventType),
      m_callback(callback),
      m_data(data),
      m_extraData(extraData),
      m_treeEvent(treeEvent)
{
    SetAttribute(attribute);
}

template <class Other>
void Event::TakeFields(Other&& other)
{
    // The attribute first: it alone can throw, and then nothing has changed.
    m_attribute = std::forward<Other>(other).m_attribute;
    m_classType = other.m_classType;
    m_eventType = other.m_eventType;
    m_callback = other.m_callback;
    m_data = other.m_data;
    m_extraData = other.m_extraData;
    m_treeNode = other.m_treeNode;
    m_treeNodeOID = other.m_treeNodeOID;
    m_treeEvent = other.m_treeEvent;
}

Event::Event(const Event& other) : m_classInstance(other.m_classInstance)
{
    TakeFields(other);
}

Event::Event(Event&& other) noexcept : m_classInstance(other.m_classInstance)
{
    TakeFields(std::move(other));
}

Event& Event::operator=(const Event& other)
{
    if (this != &other)
        TakeFields(other);
    return *this;
}

Event& Event::operator=(Event&& other) noexcept
{
    if (this != &other)
        TakeFields(std::move(other));
    return *this;
}

bool Event::operator==(const Event& other) const
{
    const bool attributesAgree = !m_attribute || !other.m_attribute || *m_attribute == *other.m_attribute;
    return m_classType == other.m_classType && m_eventType == other.m_eventType && m_callback == other.m_callback &&
           m_data == other.m_data && m_extraData == other.m_extraData && m_treeNode == other.m_treeNode &&
           m_treeNodeOID == other.m_treeNodeOID && m_treeEvent == other.m_treeEvent && attributesAgree;
}

TreeNode* Event::GetTreeNode(bool byOID) const
{
    return byOID ? DynCast<TreeNode>(Base::GetObjectA(m_treeNodeOID)) : m_treeNode;
}

void Event::SetAttribute(const char* attribute)
{
    if (attribute)
        m_attribute.emplace(attribute);
    else
        m_attribute.reset();
}

void Event::SetTreeNode(TreeNode* node)
{
    m_treeNode = node;
    m_treeNodeOID = node ? node->GetOID() : 0;
}

} // namespace Tavrel
