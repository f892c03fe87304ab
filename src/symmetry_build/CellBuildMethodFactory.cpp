#include <tavrel/symmetry_build/CellBuildMethodFactory.h>

#include <array>

#include <tavrel/core/StringUtils.h>
#include <tavrel/symmetry_build/CellBuildMethodAsymmetric.h>
#include <tavrel/symmetry_build/CellBuildMethodDefault.h>
#include <tavrel/symmetry_build/CellBuildMethodOneCell.h>
#include <tavrel/symmetry_build/CellBuildMethodOriginal.h>
#include <tavrel/symmetry_build/CellBuildMethodZone.h>

namespace Tavrel {

namespace {

using MethodMaker = std::unique_ptr<CellBuildMethod> (*)(Cell3d*);

template <class Method>
std::unique_ptr<CellBuildMethod> Make(Cell3d* cell)
{
    return std::make_unique<Method>(cell);
}

struct MethodName {
    std::string_view name;
    MethodMaker make;
};

constexpr std::array methodNames{
    MethodName{"Asymmetric", &Make<CellBuildMethodAsymmetric>},
    MethodName{"AsymmetricUnit", &Make<CellBuildMethodAsymmetric>},
    MethodName{"Asymmetric Unit", &Make<CellBuildMethodAsymmetric>},
    MethodName{"Positions", &Make<CellBuildMethodAsymmetric>},
    MethodName{"Default", &Make<CellBuildMethodDefault>},
    MethodName{"OneCell", &Make<CellBuildMethodOneCell>},
    MethodName{"One Cell", &Make<CellBuildMethodOneCell>},
    MethodName{"Original", &Make<CellBuildMethodOriginal>},
    MethodName{"Zone", &Make<CellBuildMethodZone>},
    MethodName{"ZoneDisplay", &Make<CellBuildMethodZone>},
    MethodName{"Zone Display", &Make<CellBuildMethodZone>},
};

} // namespace

std::unique_ptr<CellBuilder> CellBuildMethodFactory::CreateCellBuildMethod(
    Cell3d* cell, std::string_view name, const CellBuildMethodParameters* parameters) const
{
    if (!cell || name.empty())
        return nullptr;
    for (const MethodName& entry : methodNames) {
        if (!StringUtils::EqualsNoCase(entry.name, name))
            continue;
        std::unique_ptr<CellBuildMethod> method = entry.make(cell);
        if (parameters)
            method->SetParameters(*parameters);
        return method;
    }
    return nullptr;
}

const CellBuildMethodFactory& GetCellBuildMethodFactory()
{
    static const CellBuildMethodFactory factory;
    return factory;
}

} // namespace Tavrel
