// CellBuildMethod: the build sequence every named crystal build method shares; a method supplies the image keys.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <tavrel/crystal/CellBuilder.h>

namespace Tavrel {

class AsymmetricUnit;
class BuildResults;

// Build brings the cell's symmetry map up to date, takes its asymmetric unit, lets Run choose the
// images of every asymmetric-unit atom and has the map show them. Failures are a false result with
// the message kept for GetErrorMessage; nothing is thrown.
class CellBuildMethod : public CellBuilder {
public:
    // The most image keys one build may ask for: a larger request is refused with "Could not obtain
    // build results" before any key is made.
    static constexpr std::int64_t MaxImageKeys = 100'000'000;

    using CellBuilder::CellBuilder;

    bool Build() override;
    std::string GetErrorMessage() const override { return m_message; }

    virtual void SetErrorMessage(std::string_view message);
    // A new, empty asymmetric unit for the map to fill.
    virtual std::unique_ptr<AsymmetricUnit> CreateAsymmetricUnit() const;
    // The images to show for each atom of the asymmetric unit, or null (a method may set its own
    // message first).
    virtual std::unique_ptr<BuildResults> Run(const AsymmetricUnit& unit) = 0;

private:
    std::string m_message;
};

// A build method holding one parameter structure of its own kind, with that kind's defaults.
template <class Parameters>
class CellBuildMethodWith : public CellBuildMethod {
public:
    using CellBuildMethod::CellBuildMethod;

    std::unique_ptr<CellBuildMethodParameters> CloneParameters() const override
    {
        return std::make_unique<Parameters>(m_parameters);
    }
    // Parameters of this method's name and class; any others are ignored.
    void SetParameters(const CellBuildMethodParameters& parameters) override
    {
        if (parameters.GetMethodName() != Parameters::methodName)
            return;
        if (const auto* own = dynamic_cast<const Parameters*>(&parameters))
            m_parameters = *own;
    }

    const Parameters& GetParameters() const { return m_parameters; }

private:
    Parameters m_parameters;
};

} // namespace Tavrel
