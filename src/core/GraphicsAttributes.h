// GraphicsAttributes: the view and rendering settings a document hands to the host's renderer.
#pragma once

#include <array>
#include <cstdint>

#include <tavrel/core/Color.h>
#include <tavrel/core/LightSource.h>
#include <tavrel/core/Matrix4x4.h>

namespace Tavrel {

class Archive;

class GraphicsAttributes {
public:
    static constexpr int numberOfLights = 4;

    // Background black, fast render on move, no depth cue, font scale 1.0, line width 1.6, identity
    // model matrix, projection mode 0, perspective angle 45, graphics quality 1, no stereo, stereo
    // angle 3.5, separation and skew factors 1.0, view size 18.0, clipping adjustments 0.0, and the
    // default lights (SetDefaultLights).
    GraphicsAttributes();

    // Every light points along (0, 0, 1); light i is the grey of level 255, 127, 63, 31 for
    // i = 0..3 (alpha 0); only light 0 is on.
    void SetDefaultLights();

    // Out of range: a light with direction (0, 0, 0), colour 0, switched off.
    LightSource GetLight(int index) const;
    // Out of range: nothing.
    void SetLight(int index, const LightSource& light);

    const Color& GetBackgroundColor() const { return m_backgroundColor; }
    void SetBackgroundColor(const Color& color) { m_backgroundColor = color; }
    bool GetFastRenderOnMove() const { return m_fastRenderOnMove; }
    void SetFastRenderOnMove(bool on) { m_fastRenderOnMove = on; }
    bool GetDepthCue() const { return m_depthCue; }
    void SetDepthCue(bool on) { m_depthCue = on; }
    bool GetUseStereo() const { return m_useStereo; }
    void SetUseStereo(bool on) { m_useStereo = on; }
    const Matrix4x4& GetModelMatrix() const { return m_modelMatrix; }
    void SetModelMatrix(const Matrix4x4& matrix) { m_modelMatrix = matrix; }
    std::int32_t GetProjectionMode() const { return m_projectionMode; }
    void SetProjectionMode(std::int32_t mode) { m_projectionMode = mode; }
    std::int32_t GetGraphicsQuality() const { return m_graphicsQuality; }
    void SetGraphicsQuality(std::int32_t quality) { m_graphicsQuality = quality; }

    // Kept as 32-bit floats, exchanged as doubles.
    double GetFontScale() const { return m_fontScale; }
    void SetFontScale(double scale) { m_fontScale = static_cast<float>(scale); }
    double GetLineWidth() const { return m_lineWidth; }
    void SetLineWidth(double width) { m_lineWidth = static_cast<float>(width); }
    double GetPerspectiveAngle() const { return m_perspectiveAngle; }
    void SetPerspectiveAngle(double degrees) { m_perspectiveAngle = static_cast<float>(degrees); }
    double GetStereoAngle() const { return m_stereoAngle; }
    void SetStereoAngle(double degrees) { m_stereoAngle = static_cast<float>(degrees); }
    double GetStereoSeparationFactor() const { return m_stereoSeparationFactor; }
    void SetStereoSeparationFactor(double factor) { m_stereoSeparationFactor = static_cast<float>(factor); }
    double GetStereoSkewFactor() const { return m_stereoSkewFactor; }
    void SetStereoSkewFactor(double factor) { m_stereoSkewFactor = static_cast<float>(factor); }
    double GetViewSize() const { return m_viewSize; }
    void SetViewSize(double size) { m_viewSize = static_cast<float>(size); }
    float GetZFarAdj() const { return m_zFarAdj; }
    void SetZFarAdj(float adjustment) { m_zFarAdj = adjustment; }
    float GetZNearAdj() const { return m_zNearAdj; }
    void SetZNearAdj(float adjustment) { m_zNearAdj = adjustment; }

    friend bool operator==(const GraphicsAttributes&, const GraphicsAttributes&) = default;

    // Layout, little-endian: background colour (u32); fast render on move, depth cue, use stereo
    // (bytes); font scale, line width (floats); model matrix; projection mode, graphics quality
    // (i32); perspective angle, stereo angle, stereo separation and skew factors, view size, far and
    // near clipping adjustments (floats); the light count (an archive count, always 4) and each
    // light. Loading reads everything before changing anything; a wrong light count raises the
    // archive exception.
    void Serialize(Archive& ar);

private:
    Color m_backgroundColor = Color::Black();
    bool m_fastRenderOnMove = true;
    bool m_depthCue = false;
    bool m_useStereo = false;
    float m_fontScale = 1.0f;
    float m_lineWidth = 1.6f;
    Matrix4x4 m_modelMatrix;
    std::int32_t m_projectionMode = 0;
    std::int32_t m_graphicsQuality = 1;
    float m_perspectiveAngle = 45.0f;
    float m_stereoAngle = 3.5f;
    float m_stereoSeparationFactor = 1.0f;
    float m_stereoSkewFactor = 1.0f;
    float m_viewSize = 18.0f;
    float m_zFarAdj = 0.0f;
    float m_zNearAdj = 0.0f;
    std::array<LightSource, numberOfLights> m_lights;
};

} // namespace Tavrel
