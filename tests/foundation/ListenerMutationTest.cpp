#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <unordered_set>
#include <vector>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/TreeRoot.h>

using namespace Tavrel;

// Random trees under listeners that delete, move and add nodes on random events, driven by random
// operations: every step leaves a consistent tree, and the sanitizers see nothing go wrong.
namespace {

class ListenerFuzz {
public:
    explicit ListenerFuzz(std::uint32_t seed) : m_random(seed), m_root(new TreeRoot)
    {
        Know(m_root);
    }

    ~ListenerFuzz()
    {
        // Quiet listeners; detached trees go first, then the root with everything under it.
        m_budget = 0;
        for (const std::uint32_t oid : m_oids) {
            Object* const node = Object::GetObjectA(oid);
            if (node && node != m_root && !node->TreeNode::GetParent())
                delete node;
        }
        delete m_root;
        for (const std::uint32_t oid : m_oids)
            EXPECT_EQ(Base::GetObjectA(oid), nullptr);
    }

    ListenerFuzz(const ListenerFuzz&) = delete;
    ListenerFuzz& operator=(const ListenerFuzz&) = delete;

    void Step()
    {
        m_budget = static_cast<int>(Below(12));
        // Listeners that operations unregistered come back.
        if (Chance(8))
            m_root->RegisterEvent(TreeNode::classType, TreeNode::EventTreeWide, &React, true, this, nullptr);
        Listen(Pick());
        while (m_root->GetNumDescendents() < 40)
            Create();
        Operate(Pick(), Below(20));
        ++m_steps;
        if (m_steps % 64 == 0)
            CheckTrees();
    }

private:
    std::uint32_t Below(std::uint32_t count) { return static_cast<std::uint32_t>(m_random() % count); }
    bool Chance(std::uint32_t outOf) { return Below(outOf) == 0; }

    // Nodes enter the list once their construction is complete, so a listener never deletes a node
    // that is still being made; one whose deletion is under way is no longer found as an Object.
    void Know(Object* node)
    {
        m_oids.push_back(node->GetOID());
        m_known.insert(node->GetOID());
    }

    // A live node made by the test, or null.
    Object* Pick()
    {
        for (int tries = 0; tries < 4; ++tries) {
            const std::size_t at = Below(static_cast<std::uint32_t>(m_oids.size()));
            if (Object* const node = Object::GetObjectA(m_oids[at]))
                return node;
            m_oids[at] = m_oids.back();
            m_oids.pop_back();
        }
        return nullptr;
    }

    Object* PickOther() { return Chance(4) ? m_root : Pick(); }

    // Groups hold no root: passing a change on to a whole tree from each group in it multiplies.
    Object* PickMember()
    {
        Object* const node = Pick();
        return node == m_root ? nullptr : node;
    }

    void Create()
    {
        Object* const parent = PickOther();
        if (Chance(6)) {
            auto* const group = new NamedCollection(parent, "group");
            for (int i = 0; i < 3; ++i)
                group->Add(PickMember());
            Know(group);
        } else {
            Know(new Object(parent));
        }
    }

    void Listen(Object* node)
    {
        if (!node)
            return;
        const std::uint32_t types[] = {TreeNode::classType, Object::classType, Base::classType};
        const std::uint32_t type = types[Below(3)];
        const auto code = static_cast<std::uint16_t>(type == Base::classType ? 1 : 1u << Below(8));
        node->RegisterEvent(type, code, &React, Chance(2), this, nullptr);
    }

    // What a listener does: delete, move or add a node, or run an operation.
    static void React(Event& event)
    {
        auto* const fuzz = static_cast<ListenerFuzz*>(event.GetData());
        if (fuzz->m_budget <= 0)
            return;
        --fuzz->m_budget;
        // The source, when it is a complete node of the test.
        Object* const source = Object::GetObjectA(event.GetTreeNodeOID());
        const bool known = source && fuzz->m_known.contains(source->GetOID());
        switch (fuzz->Below(6)) {
        case 0: fuzz->Delete(known ? source : fuzz->Pick()); break;
        case 1: fuzz->Delete(fuzz->Pick()); break;
        case 2: fuzz->Move(fuzz->Pick(), fuzz->PickOther()); break;
        case 3: fuzz->Create(); break;
        default: fuzz->Operate(known ? source : fuzz->Pick(), fuzz->Below(16)); break;
        }
    }

    void Delete(Object* node)
    {
        if (node && node != m_root)
            delete node;
    }

    void Move(Object* node, Object* parent)
    {
        if (!node || node == m_root)
            return;
        if (parent && Chance(2)) {
            node->SetParentAt(parent, static_cast<int>(Below(static_cast<std::uint32_t>(parent->GetNumChildren() + 1))));
            return;
        }
        node->SetParent(Chance(8) ? nullptr : parent);
    }

    void Operate(Object* node, std::uint32_t operation)
    {
        if (!node)
            return;
        const bool recursive = Chance(2);
        switch (operation) {
        case 0: node->Select(recursive); break;
        case 1: node->UnSelect(recursive); break;
        case 2: node->SetVisible(recursive); break;
        case 3: node->SetInvisible(recursive); break;
        case 4: node->ExpandNode(recursive); break;
        case 5: node->CollapseNode(recursive); break;
        case 6: Chance(2) ? node->Deactivate() : node->Activate(); break;
        case 7: node->SetClipped(Chance(2)); break;
        case 8: node->SelectIfChildrenSelected(); break;
        case 9: Chance(2) ? node->DisableSelection(recursive) : node->EnableSelection(recursive); break;
        case 10: node->SetDisplayStyle(static_cast<std::int32_t>(Below(3)), Object::classType, recursive, false); break;
        case 11: Chance(2) ? node->SetLabel("label") : node->SetProperty("Value", 1.0f, 6); break;
        case 12: {
            if (auto* const group = DynCast<NamedCollection>(node))
                Chance(2) ? static_cast<void>(group->Add(PickMember())) : static_cast<void>(group->Remove(Pick()));
            else
                Move(node, PickOther());
            break;
        }
        case 13: {
            const int count = node->GetNumChildren();
            IntArray positions(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i)
                positions[static_cast<std::size_t>(i)] = count - 1 - i;
            node->ReorderChildren(positions);
            break;
        }
        case 14: Copy(node); break;
        case 15: Listen(node); break;
        case 16: Chance(2) ? node->UnregisterAllEvents(this) : node->UnregisterAllEvents(); break;
        case 17: Delete(node); break;
        case 18: Move(node, PickOther()); break;
        default: Create(); break;
        }
    }

    // A copy of the node's subtree joins a random tree or is deleted again. The root is not copied:
    // the destructor of a root deletes its children, and so raises events, before the root is
    // marked as dying, so a listener could not tell a dying copy of the root from a live one.
    void Copy(Object* node)
    {
        if (node == m_root)
            return;
        Object* const copy = node->TreeCopy();
        if (!copy)
            return;
        if (Chance(2)) {
            delete copy;
            return;
        }
        std::vector<Object*> stack{copy};
        while (!stack.empty()) {
            Object* const next = stack.back();
            stack.pop_back();
            Know(next);
            // A node copied while it was being made or destroyed was copied as a plain tree node.
            for (int i = 0; i < next->GetNumChildren(); ++i) {
                if (Object* const child = next->GetChild(i))
                    stack.push_back(child);
            }
        }
        Move(copy, PickOther());
    }

    // Every live node of the test and its children point at one another.
    void CheckTrees() const
    {
        for (const std::uint32_t oid : m_oids) {
            const Object* const node = Object::GetObjectA(oid);
            if (!node)
                continue;
            if (const TreeNode* const parent = node->TreeNode::GetParent()) {
                const int index = parent->FindChildIndex(node);
                ASSERT_GE(index, 0);
                ASSERT_EQ(parent->GetChild(index), node);
            }
            for (int i = 0; i < node->GetNumChildren(); ++i)
                ASSERT_EQ(node->TreeNode::GetChild(i)->GetParent(), node);
        }
    }

    std::mt19937 m_random;
    TreeRoot* m_root;
    std::vector<std::uint32_t> m_oids;
    std::unordered_set<std::uint32_t> m_known;
    int m_budget = 0;
    int m_steps = 0;
};

} // namespace

TEST(ListenerMutationTest, RandomListenersChangingTheTreeUnderRandomOperations)
{
    AttachDataModelDLL();
    for (const std::uint32_t seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        ListenerFuzz fuzz(seed);
        for (int step = 0; step < 2500; ++step)
            fuzz.Step();
    }
}
