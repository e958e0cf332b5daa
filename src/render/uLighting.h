// The light of the 3D view, one set of values for both renderers: the mesh renderer hands them to
// OpenGL's fixed lighting, the sphere renderer's shaders compute the same light per pixel.
#pragma once

namespace pelorin {
namespace lighting {

// The background every 3D frame is cleared to (and the depth cue fades towards).
inline constexpr float kBackground[3] = {0.13f, 0.14f, 0.16f};

inline constexpr float kSceneAmbient[3] = {0.18f, 0.18f, 0.20f};
// Two directional lights, fixed to the viewer: a warm key light from the upper right front with
// a highlight, and a cool fill light from the left.
inline constexpr float kKeyDirection[3] = {1.2f, 1.5f, 1.0f};
inline constexpr float kKeyDiffuse[3] = {1.0f, 0.95f, 0.85f};
inline constexpr float kKeySpecular[3] = {0.9f, 0.88f, 0.8f};
inline constexpr float kFillDirection[3] = {-1.5f, 0.5f, 0.3f};
inline constexpr float kFillDiffuse[3] = {0.35f, 0.42f, 0.65f};
// The material: ambient and diffuse are the vertex's (the atom's or the facet's) colour.
inline constexpr float kMaterialSpecular[3] = {0.55f, 0.53f, 0.50f};
inline constexpr float kMaterialShininess = 48;

// The drop shadow's darkness: the alpha of its black.
inline constexpr float kShadowAlpha = 0.22f;

}  // namespace lighting
}  // namespace pelorin
