#include "foundation/DataModelOptions.h"

#include "chemistry/Chain.h"
#include "foundation/ChemDoc.h"
#include "graphics/Surface.h"
#include "platform/Archive.h"

namespace Tavrel {

namespace {

// Within [minimum, maximum], bounds included; NaN is outside.
template <class T>
bool Within(T value, T minimum, T maximum)
{
    return value >= minimum && value <= maximum;
}

} // namespace

DataModelOptions::DataModelOptions()
{
    SetDefaultLights();
}

bool DataModelOptions::ValidateLineWidth(double width)
{
    return Within(width, GetMinimumLineWidth(), GetMaximumLineWidth());
}

bool DataModelOptions::ValidatePerspectiveAngle(double degrees)
{
    return Within(degrees, GetMinimumPerspectiveAngle(), GetMaximumPerspectiveAngle());
}

bool DataModelOptions::ValidateStereoAngle(double degrees)
{
    return Within(degrees, GetMinimumStereoAngle(), GetMaximumStereoAngle());
}

bool DataModelOptions::ValidateStereoSeparationFactor(double factor)
{
    return Within(factor, GetMinimumStereoSeparationFactor(), GetMaximumStereoSeparationFactor());
}

bool DataModelOptions::ValidateStereoSkewFactor(double factor)
{
    return Within(factor, GetMinimumStereoSkewFactor(), GetMaximumStereoSkewFactor());
}

bool DataModelOptions::ValidateViewSize(double size)
{
    return Within(size, GetMinimumViewSize(), GetMaximumViewSize());
}

bool DataModelOptions::ValidateZFarAdj(float adjustment)
{
    return Within(adjustment, GetMinimumZFarAdj(), GetMaximumZFarAdj());
}

bool DataModelOptions::ValidateZNearAdj(float adjustment)
{
    return Within(adjustment, GetMinimumZNearAdj(), GetMaximumZNearAdj());
}

bool DataModelOptions::ValidatePickingTolerance(int pixels)
{
    return Within(pixels, 1, GetMaximumPickingTolerance());
}

bool DataModelOptions::GetLightEnabled(int index) const
{
    return index >= 0 && index < numberOfLights && m_lights[static_cast<std::size_t>(index)].IsEnabled();
}

Color DataModelOptions::GetLightingColor(int index) const
{
    if (index < 0 || index >= numberOfLights)
        return Color();
    return m_lights[static_cast<std::size_t>(index)].GetColor();
}

Point3d DataModelOptions::GetLightingDirection(int index) const
{
    if (index < 0 || index >= numberOfLights)
        return Point3d();
    return m_lights[static_cast<std::size_t>(index)].GetDirection();
}

void DataModelOptions::SetLightEnabled(int index, bool enabled)
{
    if (index >= 0 && index < numberOfLights)
        m_lights[static_cast<std::size_t>(index)].SetEnabled(enabled);
}

void DataModelOptions::SetLightingColor(int index, const Color& color)
{
    if (index >= 0 && index < numberOfLights)
        m_lights[static_cast<std::size_t>(index)].SetColor(color);
}

void DataModelOptions::SetLightingDirection(int index, const Point3d& direction)
{
    if (index >= 0 && index < numberOfLights)
        m_lights[static_cast<std::size_t>(index)].SetDirection(direction);
}

void DataModelOptions::SetDefaultLights()
{
    constexpr int levels[numberOfLights] = {255, 127, 63, 31};
    for (int i = 0; i < numberOfLights; ++i)
        m_lights[static_cast<std::size_t>(i)] =
            LightSource(Point3d(0.0, 0.0, 1.0), Color(levels[i], levels[i], levels[i]), i == 0);
}

void DataModelOptions::SetSpecialDefaultValues()
{
    SetDefaultLights();
    m_hideHydrogens = false;
    m_modelMatrix.SetIdentity();
    m_useStereo = false;
    m_viewSize = 18.0f;
    m_zFarAdj = 0.0f;
    m_zNearAdj = 0.0f;
}

void DataModelOptions::GetGraphicsAttributes(GraphicsAttributes& attributes) const
{
    attributes.SetBackgroundColor(m_backgroundColor);
    attributes.SetFastRenderOnMove(m_fastRenderOnMove);
    attributes.SetDepthCue(m_depthCue);
    attributes.SetFontScale(GetFontScale());
    for (int i = 0; i < numberOfLights; ++i)
        attributes.SetLight(i, m_lights[static_cast<std::size_t>(i)]);
    attributes.SetLineWidth(GetLineWidth());
    attributes.SetModelMatrix(m_modelMatrix);
    attributes.SetProjectionMode(m_projectionMode);
    attributes.SetPerspectiveAngle(GetPerspectiveAngle());
    attributes.SetGraphicsQuality(m_graphicsQuality);
    attributes.SetUseStereo(m_useStereo);
    attributes.SetStereoAngle(GetStereoAngle());
    attributes.SetStereoSeparationFactor(GetStereoSeparationFactor());
    attributes.SetStereoSkewFactor(GetStereoSkewFactor());
    attributes.SetViewSize(GetViewSize());
    attributes.SetZFarAdj(m_zFarAdj);
    attributes.SetZNearAdj(m_zNearAdj);
}

void DataModelOptions::SetGraphicsAttributes(const GraphicsAttributes& attributes)
{
    ApplyGraphicsAttributes(attributes);
    Chain::SetDisplayQuality(m_graphicsQuality);
    Surface::SetDisplayQuality(m_graphicsQuality);
}

void DataModelOptions::ApplyGraphicsAttributes(const GraphicsAttributes& attributes)
{
    m_backgroundColor = attributes.GetBackgroundColor();
    m_fastRenderOnMove = attributes.GetFastRenderOnMove();
    m_depthCue = attributes.GetDepthCue();
    SetFontScale(attributes.GetFontScale());
    for (int i = 0; i < numberOfLights; ++i)
        m_lights[static_cast<std::size_t>(i)] = attributes.GetLight(i);
    SetLineWidth(attributes.GetLineWidth());
    m_modelMatrix = attributes.GetModelMatrix();
    m_projectionMode = attributes.GetProjectionMode();
    SetPerspectiveAngle(attributes.GetPerspectiveAngle());
    m_graphicsQuality = attributes.GetGraphicsQuality();
    m_useStereo = attributes.GetUseStereo();
    SetStereoAngle(attributes.GetStereoAngle());
    SetStereoSeparationFactor(attributes.GetStereoSeparationFactor());
    SetStereoSkewFactor(attributes.GetStereoSkewFactor());
    SetViewSize(attributes.GetViewSize());
    m_zFarAdj = attributes.GetZFarAdj();
    m_zNearAdj = attributes.GetZNearAdj();
}

void DataModelOptions::SetupDefaultOptions()
{
    ChemDoc::GetDefaultOptions(*this);
}

void DataModelOptions::SetupOptions(const ChemDoc& document)
{
    document.GetOptions(*this);
}

void DataModelOptions::UpdateDefaultOptions() const
{
    ChemDoc::SetDefaultOptions(*this);
}

void DataModelOptions::UpdateOptions(ChemDoc& document) const
{
    document.SetOptions(*this);
}

void DataModelOptions::Serialize(Archive& ar)
{
    if (ar.IsStoring()) {
        GraphicsAttributes attributes;
        GetGraphicsAttributes(attributes);
        ar << m_backgroundColor;
        attributes.Serialize(ar);
        ar << m_addAndUpdateHydrogens << m_automaticallyCleanMolecules << m_cleanSelectedAtoms << m_depthCue
           << m_fastRenderOnMove << m_fontScale << m_graphicsQuality << m_hideHydrogens
           << m_includeIntermolecularForces << m_lineWidth << m_modelMatrix << m_perceiveAndUpdateAromaticity
           << m_perspectiveAngle << m_projectionMode << m_stereoAngle << m_stereoSeparationFactor
           << m_stereoSkewFactor << m_syncronizeViews << m_updateViews << m_useStereo << m_viewSize << m_zFarAdj
           << m_zNearAdj;
        return;
    }

    // Read into a copy so that a short input changes nothing; the attributes come after the
    // background colour and before the fields that follow them, which take precedence.
    DataModelOptions loaded(*this);
    GraphicsAttributes attributes;
    ar >> loaded.m_backgroundColor;
    attributes.Serialize(ar);
    loaded.ApplyGraphicsAttributes(attributes);
    ar >> loaded.m_addAndUpdateHydrogens >> loaded.m_automaticallyCleanMolecules >> loaded.m_cleanSelectedAtoms
        >> loaded.m_depthCue >> loaded.m_fastRenderOnMove >> loaded.m_fontScale >> loaded.m_graphicsQuality
        >> loaded.m_hideHydrogens >> loaded.m_includeIntermolecularForces >> loaded.m_lineWidth
        >> loaded.m_modelMatrix >> loaded.m_perceiveAndUpdateAromaticity >> loaded.m_perspectiveAngle
        >> loaded.m_projectionMode >> loaded.m_stereoAngle >> loaded.m_stereoSeparationFactor
        >> loaded.m_stereoSkewFactor >> loaded.m_syncronizeViews >> loaded.m_updateViews >> loaded.m_useStereo
        >> loaded.m_viewSize >> loaded.m_zFarAdj >> loaded.m_zNearAdj;
    *this = loaded;
    Chain::SetDisplayQuality(attributes.GetGraphicsQuality());
    Surface::SetDisplayQuality(attributes.GetGraphicsQuality());
}

} // namespace Tavrel
