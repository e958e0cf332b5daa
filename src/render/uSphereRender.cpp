// The sphere renderer: atoms as exact spheres computed per pixel, and their drop shadow.
#include "render/uSphereRender.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "render/uLighting.h"
#include "render/uOpenGL.h"
#include "render/uViewValues.h"
#include "support/uDebugLog.h"

namespace pelorin {
namespace {

// The shaders are GLSL 1.10 (OpenGL 2.0) on the compatibility profile's built-in attributes: the
// vertex is the atom's centre, the colour's alpha its radius, the texture coordinate a quad's
// corner (0, 0 for a point).
constexpr const char* kVertexShader = R"(#version 110
uniform vec4 uViewport;       // x, y, width, height in pixels
uniform float uPixelsPerUnit;
uniform float uRadiusUnit;    // model units of a radius stored as 1 in the colour's alpha
varying vec4 vCentre;         // the outline's centre and radius in window pixels, the centre's eye z
varying vec3 vColour;
void main() {
  float radius = gl_Color.a * uRadiusUnit;
  vec4 eye = gl_ModelViewMatrix * gl_Vertex;
  vec4 clip = gl_ProjectionMatrix * eye;
  vCentre = vec4((clip.xy / clip.w * 0.5 + 0.5) * uViewport.zw + uViewport.xy, radius * uPixelsPerUnit, eye.z);
  gl_PointSize = 2.0 * vCentre.z;
  eye.xy += gl_MultiTexCoord0.xy * radius;
  gl_Position = gl_ProjectionMatrix * eye;
  vColour = gl_Color.rgb;
}
)";

// The light of the mesh renderer's fixed lighting, per pixel: ambient, two diffuse lights and
// the key light's highlight (shininess 48 as the product of squares), then the depth cue.
constexpr const char* kSphereFragmentShader = R"(#version 110
uniform float uPixelsPerUnit;
uniform vec3 uKey, uKeyHalf, uFill;  // directions in eye space, unit length
uniform vec3 uAmbient, uKeyDiffuse, uFillDiffuse, uSpecular;
uniform vec2 uDepth;                 // window depth = x + y * eye z
uniform vec2 uFade;                  // share of its colour = x - y * eye z, clamped
uniform vec3 uBackground;
varying vec4 vCentre;
varying vec3 vColour;
void main() {
  vec2 p = (gl_FragCoord.xy - vCentre.xy) / vCentre.z;
  float d2 = dot(p, p);
  if (d2 > 1.0) discard;
  vec3 n = vec3(p, sqrt(1.0 - d2));
  float z = vCentre.w + n.z * vCentre.z / uPixelsPerUnit;
  gl_FragDepth = uDepth.x + uDepth.y * z;
  float key = dot(n, uKey);
  float highlight = 0.0;
  if (key > 0.0) {
    float s = max(dot(n, uKeyHalf), 0.0);
    s *= s;
    s *= s;
    s *= s;
    s *= s;
    highlight = s * s * s;
  }
  vec3 lit = vColour * (uAmbient + max(key, 0.0) * uKeyDiffuse + max(dot(n, uFill), 0.0) * uFillDiffuse);
  lit = min(lit + highlight * uSpecular, 1.0);
  gl_FragColor = vec4(mix(uBackground, lit, clamp(uFade.x - uFade.y * z, 0.0, 1.0)), 1.0);
}
)";

static_assert(lighting::kMaterialShininess == 48, "the sphere shader's highlight is the 48th power");

// The compiler's or linker's own words, for the log.
std::string InfoLog(const TGLFunctions& gl, GLuint object, bool program) {
  char text[1024] = {};
  GLsizei length = 0;
  if (program)
    gl.GetProgramInfoLog(object, sizeof text, &length, text);
  else
    gl.GetShaderInfoLog(object, sizeof text, &length, text);
  return std::string(text, static_cast<size_t>(std::clamp<GLsizei>(length, 0, sizeof text)));
}

GLuint Compile(const TGLFunctions& gl, GLenum kind, const char* source, std::string& error) {
  const GLuint shader = gl.CreateShader(kind);
  if (!shader) {
    error = "no shader object";
    return 0;
  }
  gl.ShaderSource(shader, 1, &source, nullptr);
  gl.CompileShader(shader);
  GLint compiled = 0;
  gl.GetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (!compiled) error = InfoLog(gl, shader, false);
  return shader;
}

GLuint Link(const TGLFunctions& gl, GLuint vertex, GLuint fragment, std::string& error) {
  const GLuint program = gl.CreateProgram();
  if (!program) {
    error = "no program object";
    return 0;
  }
  gl.AttachShader(program, vertex);
  gl.AttachShader(program, fragment);
  gl.LinkProgram(program);
  GLint linked = 0;
  gl.GetProgramiv(program, GL_LINK_STATUS, &linked);
  if (!linked) {
    error = InfoLog(gl, program, true);
    gl.DeleteProgram(program);
    return 0;
  }
  return program;
}

// Compiles and links the program in the current context, once; a driver that cannot is told
// about in the log and not asked again.
bool PrepareProgram(TGLResources& resources) {
  using TState = TSphereProgram::TState;
  TSphereProgram& program = resources.SphereProgram();
  if (program.State != TState::Untried) return program.State == TState::Ready;
  program.State = TState::Failed;
  const TGLFunctions& gl = resources.Functions();
  if (!gl.Shaders()) {
    DebugLog("SphereRender: no shader functions: atoms are drawn as meshes");
    return false;
  }
  std::string error;
  GLuint& vertex = program.Shaders[0];
  GLuint& sphere = program.Shaders[1];
  vertex = Compile(gl, GL_VERTEX_SHADER, kVertexShader, error);
  if (error.empty()) sphere = Compile(gl, GL_FRAGMENT_SHADER, kSphereFragmentShader, error);
  if (error.empty()) program.Program = Link(gl, vertex, sphere, error);
  if (!error.empty()) {
    DebugLog("SphereRender: the shaders do not build, atoms are drawn as meshes: " + error);
    return false;
  }
  program.State = TState::Ready;
  DebugLogFmt("SphereRender: shaders ready, points up to %.0f pixels", resources.Limits().MaxPointSize);
  return true;
}

// The model's spheres into the context's buffer, as the model keeps them; false when there is
// no buffer to draw from (the spheres are then drawn from the model's own array).
bool UploadSpheres(const std::shared_ptr<TMeshModel>& model, TModelObjects& objects) {
  const TGLFunctions& gl = objects.Owner.Functions();
  if (!gl.Buffers()) return false;
  if (objects.Spheres.Holds(model)) return true;
  if (objects.Spheres.Refuses(model)) return false;
  if (!objects.SphereBuffer) gl.GenBuffers(1, &objects.SphereBuffer);
  if (!objects.SphereBuffer) return false;
  return objects.Spheres.Upload(model, [&] {
    gl.BindBuffer(GL_ARRAY_BUFFER, objects.SphereBuffer);
    gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(model->Atoms.size() * sizeof(TAtomSphere)),
                  model->Atoms.data(), GL_STATIC_DRAW);
    gl.BindBuffer(GL_ARRAY_BUFFER, 0);
  });
}

// Where each uniform of a program is, asked once a frame.
class TUniforms {
 public:
  TUniforms(const TGLFunctions& gl, GLuint program) : gl_(gl), program_(program) {}
  void Set(const char* name, float x) const { gl_.Uniform1f(At(name), x); }
  void Set(const char* name, float x, float y) const { gl_.Uniform2f(At(name), x, y); }
  void Set(const char* name, const float (&v)[3]) const { gl_.Uniform3f(At(name), v[0], v[1], v[2]); }
  void Set(const char* name, float x, float y, float z) const { gl_.Uniform3f(At(name), x, y, z); }
  void Set(const char* name, float x, float y, float z, float w) const { gl_.Uniform4f(At(name), x, y, z, w); }

 private:
  GLint At(const char* name) const { return gl_.GetUniformLocation(program_, name); }
  const TGLFunctions& gl_;
  GLuint program_;
};

void Normalized(const float (&v)[3], float (&out)[3]) {
  const TVec3 n = VecNormalize({v[0], v[1], v[2]});
  out[0] = n.X, out[1] = n.Y, out[2] = n.Z;
}

void SetLight(const TUniforms& u) {
  float key[3], fill[3], half[3];
  Normalized(lighting::kKeyDirection, key);
  Normalized(lighting::kFillDirection, fill);
  Normalized({key[0], key[1], key[2] + 1}, half);  // towards a viewer at infinity
  u.Set("uKey", key);
  u.Set("uKeyHalf", half);
  u.Set("uFill", fill);
  u.Set("uAmbient", lighting::kSceneAmbient);
  u.Set("uKeyDiffuse", lighting::kKeyDiffuse);
  u.Set("uFillDiffuse", lighting::kFillDiffuse);
  u.Set("uSpecular", lighting::kKeySpecular[0] * lighting::kMaterialSpecular[0],
        lighting::kKeySpecular[1] * lighting::kMaterialSpecular[1],
        lighting::kKeySpecular[2] * lighting::kMaterialSpecular[2]);
  u.Set("uBackground", lighting::kBackground);
}

// A quad's corner: the atom and which corner of its outline's box (-1 or 1 in x and y).
struct TCornerVertex {
  TAtomSphere Atom;
  float CornerX, CornerY;
};

// The atoms a pass draws: all of the model's, or those its culling kept.
struct TAtomSelection {
  const std::vector<TAtomSphere>& Atoms;
  const std::vector<uint32_t>* Kept = nullptr;
  size_t Count() const { return Kept ? Kept->size() : Atoms.size(); }
  const TAtomSphere& operator[](size_t i) const { return Atoms[Kept ? (*Kept)[i] : i]; }
};

// The spheres whose outline reaches into the view, as quads: for spheres larger than the
// driver's points. Only these are turned into vertices, so a model seen close up costs no more
// than what is in sight.
std::vector<TCornerVertex> VisibleQuads(const TAtomSelection& atoms, const TView3D& view) {
  const TViewTurn turn(view.RotX, view.RotY);
  std::vector<TCornerVertex> corners;
  for (size_t i = 0; i < atoms.Count(); ++i) {
    const TAtomSphere& atom = atoms[i];
    const TVec3 seen = turn.Apply({atom.X - view.Pivot.X, atom.Y - view.Pivot.Y, atom.Z - view.Pivot.Z});
    const float reach = SphereRadius(atom);
    if (std::fabs(seen.X) > view.HalfWidth + reach || std::fabs(seen.Y) > view.HalfHeight + reach) continue;
    for (const auto& [x, y] : {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}})
      corners.push_back({atom, x, y});
  }
  return corners;
}

// Every selected sphere as a point, from the buffer or from the model's own array.
void DrawPoints(const TAtomSelection& atoms, const TModelObjects& objects, bool fromBuffer) {
  TGLStateScope state({GL_VERTEX_PROGRAM_POINT_SIZE, GL_POINT_SPRITE});
  state.EnableArray(GL_VERTEX_ARRAY).EnableArray(GL_COLOR_ARRAY);
  glTexCoord2f(0, 0);  // no corner: the point is centred on the atom
  constexpr GLsizei kStride = sizeof(TAtomSphere);
  const auto* base = fromBuffer ? nullptr : reinterpret_cast<const char*>(atoms.Atoms.data());
  const TGLFunctions& gl = objects.Owner.Functions();
  if (fromBuffer) gl.BindBuffer(GL_ARRAY_BUFFER, objects.SphereBuffer);
  glVertexPointer(3, GL_FLOAT, kStride, base + offsetof(TAtomSphere, X));
  glColorPointer(4, GL_UNSIGNED_BYTE, kStride, base + offsetof(TAtomSphere, R));
  if (fromBuffer) gl.BindBuffer(GL_ARRAY_BUFFER, 0);
  const auto count = static_cast<GLsizei>(atoms.Count());
  if (atoms.Kept)
    glDrawElements(GL_POINTS, count, GL_UNSIGNED_INT, atoms.Kept->data());
  else
    glDrawArrays(GL_POINTS, 0, count);
}

void DrawQuads(const std::vector<TCornerVertex>& corners) {
  if (corners.empty()) return;
  constexpr GLsizei kStride = sizeof(TCornerVertex);
  TGLStateScope state;
  state.EnableArray(GL_VERTEX_ARRAY).EnableArray(GL_COLOR_ARRAY).EnableArray(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, kStride, &corners[0].Atom.X);
  glColorPointer(4, GL_UNSIGNED_BYTE, kStride, &corners[0].Atom.R);
  glTexCoordPointer(2, GL_FLOAT, kStride, &corners[0].CornerX);
  glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(corners.size()));
}

// Work done on a thread of its own beside the caller's, joined by Wait() or when the object goes.
// Work that throws, or a thread that cannot be had, counts as not done: the caller then does it.
class TWorkBeside {
 public:
  template <typename TWork>
  TWorkBeside(bool wanted, TWork work) {
    if (!wanted) return;
    try {
      thread_ = std::thread([this, work] {
        try {
          work();
          done_ = true;
        } catch (...) {
        }
      });
    } catch (...) {
    }
  }
  TWorkBeside(const TWorkBeside&) = delete;
  TWorkBeside& operator=(const TWorkBeside&) = delete;
  ~TWorkBeside() { Wait(); }
  bool Wait() {
    if (thread_.joinable()) thread_.join();
    return done_;
  }

 private:
  std::thread thread_;
  bool done_ = false;  // written by the thread, read once it is joined
};

// The drop shadow's texture: the shadows over each pixel (TAtomCuller::ShadowLayers) as alpha,
// each layer darkening by the shadow's alpha as a blended layer would. False when the driver
// refused it (a picture past its largest texture).
bool UploadShadowLayers(TModelObjects& objects, const TView3D& view, const std::vector<uint8_t>& layers) {
  static const std::array<uint8_t, kShadowLayersSeen + 1> alphaOf = [] {
    std::array<uint8_t, kShadowLayersSeen + 1> alpha{};
    for (int n = 0; n <= kShadowLayersSeen; ++n)
      alpha[n] = static_cast<uint8_t>(std::lround(255 * (1 - std::pow(1 - lighting::kShadowAlpha, n))));
    return alpha;
  }();
  objects.ShadowAlpha.resize(layers.size());
  std::transform(layers.begin(), layers.end(), objects.ShadowAlpha.begin(), [](uint8_t n) { return alphaOf[n]; });
  if (!objects.ShadowTexture) glGenTextures(1, &objects.ShadowTexture);
  DrainGLErrors();  // errors of earlier drawing are not the upload's
  glBindTexture(GL_TEXTURE_2D, objects.ShadowTexture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, view.Width, view.Height, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
               objects.ShadowAlpha.data());
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, 0);
  return !DrainGLErrors();
}

// The shadow's texture laid over the drawing area.
void DrawShadowTexture(const TModelObjects& objects, const TView3D& view) {
  glBindTexture(GL_TEXTURE_2D, objects.ShadowTexture);
  glViewport(view.X, view.Y, view.Width, view.Height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const TGLStateScope state({GL_TEXTURE_2D, GL_BLEND});
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0, 0, 0, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0), glVertex2f(-1, -1);
  glTexCoord2f(1, 0), glVertex2f(1, -1);
  glTexCoord2f(1, 1), glVertex2f(1, 1);
  glTexCoord2f(0, 1), glVertex2f(-1, 1);
  glEnd();
  glBindTexture(GL_TEXTURE_2D, 0);
}

// Finds the spheres that show and the shadow's layers for `work`, at once on two processors,
// and uploads the layers; the result is kept in objects.WorkedOut.
void WorkOut(TModelObjects& objects, const std::shared_ptr<TMeshModel>& model, const TView3D& view,
             const TModelObjects::TWorkedOut& work) {
  objects.WorkedOut.reset();  // nothing holds for any view until the work is done
  const TShadowProjection shadow(*model);
  const std::vector<uint8_t>* layers = nullptr;
  TWorkBeside shadowWork(work.Shadowed,
                         [&] { layers = &objects.Culler.ShadowLayers(model->Atoms, work.View, shadow); });
  if (work.Culled) objects.Culler.VisibleSpheres(model->Atoms, work.View);
  if (work.Shadowed && !shadowWork.Wait()) layers = &objects.Culler.ShadowLayers(model->Atoms, work.View, shadow);
  objects.WorkedOut = work;
  objects.WorkedOut->ShadowTextureReady = layers && UploadShadowLayers(objects, view, *layers);
}

}  // namespace

bool SupportsSphereShaders(std::string_view glVersion) noexcept {
  return GLVersionAtLeast(glVersion, 2, 0);
}

void ApplyView3D(const TView3D& view, int guardPixels) {
  const double perPixel = 1 / view.PixelsPerUnit();
  const double halfWidth = view.HalfWidth + guardPixels * perPixel,
               halfHeight = view.HalfHeight + guardPixels * perPixel;
  glViewport(view.X - guardPixels, view.Y - guardPixels, view.Width + 2 * guardPixels, view.Height + 2 * guardPixels);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-halfWidth, halfWidth, -halfHeight, halfHeight, 0, 2 * view.Depth);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslated(0, 0, -view.Depth);
  glRotatef(view.RotX, 1, 0, 0);
  glRotatef(view.RotY, 0, 1, 0);
  glTranslatef(-view.Pivot.X, -view.Pivot.Y, -view.Pivot.Z);
}

bool DrawSphereFrame(const std::shared_ptr<TMeshModel>& model, TModelObjects& objects, const TView3D& view,
                     const TDepthCueFade& fade, bool withShadow) {
  TGLResources& resources = objects.Owner;
  if (!PrepareProgram(resources)) return false;
  if (!model || model->Atoms.empty()) return true;
  const bool fromBuffer = UploadSpheres(model, objects);
  const TModelObjects::TWorkedOut work{
      model,
      {view.Width, view.Height, view.HalfWidth, view.HalfHeight, view.Pivot, view.RotX, view.RotY},
      objects.Cull && model->Atoms.size() >= kCullMinAtoms,
      withShadow};
  const std::optional<TModelObjects::TWorkedOut>& last = objects.WorkedOut;
  if (!last || last->Model.lock() != model || !(last->View == work.View) || last->Culled != work.Culled ||
      last->Shadowed != work.Shadowed)
    WorkOut(objects, model, view, work);
  if (withShadow && objects.WorkedOut->ShadowTextureReady) DrawShadowTexture(objects, view);
  const bool cull = work.Culled;

  const TGLLimits& limits = resources.Limits();
  const double radiusPixels = model->LargestAtomRadius * view.PixelsPerUnit();
  const bool points = 2 * radiusPixels <= limits.MaxPointSize;
  // Points are dropped whole when their centre leaves the viewport: widened by a sphere's
  // radius, those partly in the area are drawn as well.
  int guard = points ? static_cast<int>(std::ceil(radiusPixels)) + 1 : 0;
  const int maxViewport = std::min(limits.MaxViewportWidth, limits.MaxViewportHeight);
  guard = std::clamp(guard, 0, std::max(0, (maxViewport - std::max(view.Width, view.Height)) / 2));
  ApplyView3D(view, guard);
  const TAtomSelection spheres{model->Atoms, cull ? &objects.Culler.Spheres() : nullptr};
  const TGLFunctions& gl = resources.Functions();
  const GLuint program = resources.SphereProgram().Program;
  gl.UseProgram(program);
  const TUniforms u(gl, program);
  u.Set("uViewport", static_cast<float>(view.X - guard), static_cast<float>(view.Y - guard),
        static_cast<float>(view.Width + 2 * guard), static_cast<float>(view.Height + 2 * guard));
  u.Set("uPixelsPerUnit", static_cast<float>(view.PixelsPerUnit()));
  u.Set("uRadiusUnit", 255 * kSphereRadiusStep);
  SetLight(u);
  // Window depth of an eye z as glOrtho(..., 0, 2 Depth) and the default depth range make it.
  u.Set("uDepth", 0, static_cast<float>(-1 / (2 * view.Depth)));
  u.Set("uFade", fade.Constant, fade.PerDistance);
  // The outline is cut per pixel: sampling the edge more often changes nothing but the cost.
  const TGLStateScope state({GL_DEPTH_TEST}, {GL_MULTISAMPLE});
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_TRUE);
  if (points)
    DrawPoints(spheres, objects, fromBuffer);
  else
    DrawQuads(VisibleQuads(spheres, view));
  gl.UseProgram(0);
  return true;
}

}  // namespace pelorin
