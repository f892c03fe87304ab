#include <tavrel/core/GraphicsAttributes.h>

#include <string>

#include <tavrel/platform/Archive.h>

namespace Tavrel {

GraphicsAttributes::GraphicsAttributes() { SetDefaultLights(); }

void GraphicsAttributes::SetDefaultLights()
{
    constexpr int levels[numberOfLights] = {255, 127, 63, 31};
    for (int i = 0; i < numberOfLights; ++i)
        m_lights[static_cast<std::size_t>(i)] =
            LightSource(Point3d(0.0, 0.0, 1.0), Color(levels[i], levels[i], levels[i]), i == 0);
}

LightSource GraphicsAttributes::GetLight(int index) const
{
    if (index < 0 || index >= numberOfLights)
        return LightSource(Point3d(), Color(), false);
    return m_lights[static_cast<std::size_t>(index)];
}

void GraphicsAttributes::SetLight(int index, const LightSource& light)
{
    if (index >= 0 && index < numberOfLights)
        m_lights[static_cast<std::size_t>(index)] = light;
}

void GraphicsAttributes::Serialize(Archive& ar)
{
    if (ar.IsStoring()) {
        ar << m_backgroundColor << m_fastRenderOnMove << m_depthCue << m_useStereo << m_fontScale << m_lineWidth
           << m_modelMatrix << m_projectionMode << m_graphicsQuality << m_perspectiveAngle << m_stereoAngle
           << m_stereoSeparationFactor << m_stereoSkewFactor << m_viewSize << m_zFarAdj << m_zNearAdj;
        ar.WriteCount(numberOfLights);
        for (const LightSource& light : m_lights)
            ar << light;
        return;
    }

    GraphicsAttributes loaded;
    ar >> loaded.m_backgroundColor >> loaded.m_fastRenderOnMove >> loaded.m_depthCue >> loaded.m_useStereo
        >> loaded.m_fontScale >> loaded.m_lineWidth >> loaded.m_modelMatrix >> loaded.m_projectionMode
        >> loaded.m_graphicsQuality >> loaded.m_perspectiveAngle >> loaded.m_stereoAngle
        >> loaded.m_stereoSeparationFactor >> loaded.m_stereoSkewFactor >> loaded.m_viewSize >> loaded.m_zFarAdj
        >> loaded.m_zNearAdj;
    const std::size_t countAt = ar.GetPosition();
    if (const std::uint32_t count = ar.ReadCount(); count != numberOfLights)
        ar.Refuse(ArchiveException::genericException,
                  "graphics attributes with " + std::to_string(count) + " lights (" + std::to_string(numberOfLights) +
                      " expected)",
                  countAt);
    for (LightSource& light : loaded.m_lights)
        ar >> light;
    *this = loaded;
}

} // namespace Tavrel
