#include <tavrel/conformers/Conformation.h>

#include <tavrel/chemistry/ConformationQueries.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Conformation)

namespace {

class ConformationAnswers final : public ConformationQueries {
public:
    bool Is2DConformation(const TreeNode& node) const override
    {
        return IsA<Conformation>(&node) && static_cast<const Conformation&>(node).Is2D();
    }
};

} // namespace

Conformation::Conformation() = default;

Conformation::Conformation(Object* reference, bool twoD) : Object(reference), m_twoD(twoD)
{
    SetDisplayStyle(1);
}

const PropertyTable& Conformation::Properties()
{
    static const PropertyTable table(PropertyList<Conformation>().Field<&Conformation::m_twoD>("Conf 2d").StreamOnly());
    return table;
}

bool Conformation::Is2D() const
{
    return m_twoD;
}

const ConformationQueries& Conformation::Queries()
{
    static const ConformationAnswers queries;
    return queries;
}

} // namespace Tavrel
