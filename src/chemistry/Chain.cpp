#include <tavrel/chemistry/Chain.h>

#include <atomic>
#include <vector>

#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Chain)

namespace {

std::atomic<std::int32_t> g_displayQuality{1};

// Chain and SubUnit report their centre (their GetXYZ and CalculateCenter are final).
bool ReportsContentsCenter(const TreeNode& node)
{
    return node.IsA(Chain::classType) || node.IsA(SubUnit::classType);
}

} // namespace

Point3d CalculateContentsCenter(const Geometric& container)
{
    // One frame per level of the current path: the node, its next child and the sum and count of the
    // positions below it seen so far. A finished frame hands its node's own position (when it is a
    // Geometric) and its sums to its parent's frame.
    struct Frame {
        const TreeNode* node;
        int next = 0;
        double x = 0.0;
        double y = 0.0;
        double z = 0.0;
        std::size_t count = 0;

        Point3d Mean() const
        {
            if (count == 0)
                return Point3d::origin;
            const auto n = static_cast<double>(count);
            return Point3d(x / n, y / n, z / n);
        }
    };
    std::vector<Frame> stack{Frame{&container}};
    while (true) {
        Frame& frame = stack.back();
        if (TreeNode* child = frame.node->GetChild(frame.next++)) {
            stack.push_back(Frame{child});
            continue;
        }
        if (stack.size() == 1)
            return frame.Mean();
        const Frame done = frame;
        stack.pop_back();
        Frame& parent = stack.back();
        parent.x += done.x;
        parent.y += done.y;
        parent.z += done.z;
        parent.count += done.count;
        if (const Geometric* geometric = DynCast<Geometric>(done.node)) {
            const Point3d p = ReportsContentsCenter(*done.node) ? done.Mean() : geometric->GetXYZ();
            parent.x += p.x;
            parent.y += p.y;
            parent.z += p.z;
            ++parent.count;
        }
    }
}

Chain::Chain(Object* parent) : Geometric3d(parent) {}

Point3d Chain::GetXYZ() const
{
    return CalculateCenter();
}

Point3d Chain::CalculateCenter() const
{
    return CalculateContentsCenter(*this);
}

ObjectProperty Chain::GetPropertyAsObjectProperty(std::string_view name) const
{
    return DescribeProperty(Object::Properties(), name);
}

std::int32_t Chain::GetProperties(ObjectProperty::Array& properties) const
{
    return ListProperties(Object::Properties(), properties);
}

bool Chain::GetSecondaryStructureDefined() const
{
    return m_secondaryStructureDefined;
}

void Chain::SetSecondaryStructureDefined(bool defined)
{
    m_secondaryStructureDefined = defined;
}

void Chain::SetDisplayQuality(std::int32_t quality)
{
    g_displayQuality.store(quality, std::memory_order_relaxed);
}

std::int32_t Chain::GetDisplayQuality()
{
    return g_displayQuality.load(std::memory_order_relaxed);
}

} // namespace Tavrel
