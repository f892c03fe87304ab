#include <tavrel/document/DataModelOptions.h>

#include <tavrel/chemistry/Chain.h>
#include <tavrel/core/LightSource.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/monitors/Surface.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

// Within [minimum, maximum], bounds included; NaN is outside.
template <class T>
bool Within(T value, T minimum, T maximum)
{
    return value >= minimum && value <= maximum;
}

} // namespace

DataModelOptions::DataModelOptions() = default;

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
    return m_graphics.GetLight(index).IsEnabled();
}

Color DataModelOptions::GetLightingColor(int index) const
{
    return m_graphics.GetLight(index).GetColor();
}

Point3d DataModelOptions::GetLightingDirection(int index) const
{
    return m_graphics.GetLight(index).GetDirection();
}

// Out of range, GetLight gives a stand-in and SetLight ignores it.
void DataModelOptions::SetLightEnabled(int index, bool enabled)
{
    LightSource light = m_graphics.GetLight(index);
    light.SetEnabled(enabled);
    m_graphics.SetLight(index, light);
}

void DataModelOptions::SetLightingColor(int index, const Color& color)
{
    LightSource light = m_graphics.GetLight(index);
    light.SetColor(color);
    m_graphics.SetLight(index, light);
}

void DataModelOptions::SetLightingDirection(int index, const Point3d& direction)
{
    LightSource light = m_graphics.GetLight(index);
    light.SetDirection(direction);
    m_graphics.SetLight(index, light);
}

void DataModelOptions::SetDefaultLights()
{
    m_graphics.SetDefaultLights();
}

void DataModelOptions::SetSpecialDefaultValues()
{
    m_graphics.SetDefaultLights();
    m_hideHydrogens = false;
    m_graphics.SetModelMatrix(Matrix4x4());
    m_graphics.SetUseStereo(false);
    m_graphics.SetViewSize(18.0);
    m_graphics.SetZFarAdj(0.0f);
    m_graphics.SetZNearAdj(0.0f);
}

void DataModelOptions::GetGraphicsAttributes(GraphicsAttributes& attributes) const
{
    attributes = m_graphics;
}

void DataModelOptions::SetGraphicsAttributes(const GraphicsAttributes& attributes)
{
    m_graphics = attributes;
    Chain::SetDisplayQuality(m_graphics.GetGraphicsQuality());
    Surface::SetDisplayQuality(m_graphics.GetGraphicsQuality());
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
    // The rendering options stand twice: in the attributes block and again among the options' own
    // fields, where they are kept as floats.
    if (ar.IsStoring()) {
        const GraphicsAttributes& g = m_graphics;
        ar << g.GetBackgroundColor();
        m_graphics.Serialize(ar);
        ar << m_addAndUpdateHydrogens << m_automaticallyCleanMolecules << m_cleanSelectedAtoms << g.GetDepthCue()
           << g.GetFastRenderOnMove() << static_cast<float>(g.GetFontScale()) << g.GetGraphicsQuality()
           << m_hideHydrogens << m_includeIntermolecularForces << static_cast<float>(g.GetLineWidth())
           << g.GetModelMatrix() << m_perceiveAndUpdateAromaticity << static_cast<float>(g.GetPerspectiveAngle())
           << g.GetProjectionMode() << static_cast<float>(g.GetStereoAngle())
           << static_cast<float>(g.GetStereoSeparationFactor()) << static_cast<float>(g.GetStereoSkewFactor())
           << m_syncronizeViews << m_updateViews << g.GetUseStereo() << static_cast<float>(g.GetViewSize())
           << g.GetZFarAdj() << g.GetZNearAdj();
        return;
    }

    // Read into a copy so that a short input changes nothing. The leading colour is superseded by
    // the attributes' own; the fields after the attributes take precedence over them, except for the
    // display quality, which follows the attributes.
    DataModelOptions loaded(*this);
    Color leadingColor;
    ar >> leadingColor;
    loaded.m_graphics.Serialize(ar);
    const std::int32_t displayQuality = loaded.m_graphics.GetGraphicsQuality();
    bool depthCue = false, fastRenderOnMove = false, useStereo = false;
    float fontScale = 0.0f, lineWidth = 0.0f, perspectiveAngle = 0.0f, stereoAngle = 0.0f;
    float stereoSeparationFactor = 0.0f, stereoSkewFactor = 0.0f, viewSize = 0.0f, zFarAdj = 0.0f, zNearAdj = 0.0f;
    std::int32_t graphicsQuality = 0, projectionMode = 0;
    Matrix4x4 modelMatrix;
    ar >> loaded.m_addAndUpdateHydrogens >> loaded.m_automaticallyCleanMolecules >> loaded.m_cleanSelectedAtoms
        >> depthCue >> fastRenderOnMove >> fontScale >> graphicsQuality >> loaded.m_hideHydrogens
        >> loaded.m_includeIntermolecularForces >> lineWidth >> modelMatrix >> loaded.m_perceiveAndUpdateAromaticity
        >> perspectiveAngle >> projectionMode >> stereoAngle >> stereoSeparationFactor >> stereoSkewFactor
        >> loaded.m_syncronizeViews >> loaded.m_updateViews >> useStereo >> viewSize >> zFarAdj >> zNearAdj;

    GraphicsAttributes& g = loaded.m_graphics;
    g.SetDepthCue(depthCue);
    g.SetFastRenderOnMove(fastRenderOnMove);
    g.SetFontScale(fontScale);
    g.SetGraphicsQuality(graphicsQuality);
    g.SetLineWidth(lineWidth);
    g.SetModelMatrix(modelMatrix);
    g.SetPerspectiveAngle(perspectiveAngle);
    g.SetProjectionMode(projectionMode);
    g.SetStereoAngle(stereoAngle);
    g.SetStereoSeparationFactor(stereoSeparationFactor);
    g.SetStereoSkewFactor(stereoSkewFactor);
    g.SetUseStereo(useStereo);
    g.SetViewSize(viewSize);
    g.SetZFarAdj(zFarAdj);
    g.SetZNearAdj(zNearAdj);
    *this = loaded;
    Chain::SetDisplayQuality(displayQuality);
    Surface::SetDisplayQuality(displayQuality);
}

} // namespace Tavrel
