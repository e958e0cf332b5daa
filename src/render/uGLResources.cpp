// The record of what the renderers keep in one OpenGL context.
#include "render/uGLResources.h"

#include <algorithm>
#include <initializer_list>

#include "render/uOpenGL.h"
#include "render/uSphereRender.h"

namespace pelorin {
namespace {

TGLLimits AskLimits(std::string_view version) {
  TGLLimits limits;
  GLint viewport[2] = {0, 0}, texture = 0;
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
  limits.MaxViewportWidth = viewport[0], limits.MaxViewportHeight = viewport[1];
  limits.MaxTextureSize = texture;
  // OpenGL 1.1 knows no point size range; only the sphere renderer (2.0) draws points.
  if (GLVersionAtLeast(version, 1, 2)) {
    GLfloat pointSizes[2] = {1, 1};
    glGetFloatv(GL_ALIASED_POINT_SIZE_RANGE, pointSizes);
    limits.MaxPointSize = std::max(pointSizes[1], 1.0f);
  }
  return limits;
}

// Sized to nothing, so that the driver frees their data; the names stay for the next model.
void EmptyBuffers(const TGLFunctions& gl, std::initializer_list<GLuint> names) {
  for (GLuint name : names) {
    if (!name) continue;
    gl.BindBuffer(GL_ARRAY_BUFFER, name);
    gl.BufferData(GL_ARRAY_BUFFER, 0, nullptr, GL_STATIC_DRAW);
  }
  gl.BindBuffer(GL_ARRAY_BUFFER, 0);
}

}  // namespace

bool TUploadRecord::Upload(const std::shared_ptr<const TMeshModel>& model, const std::function<void()>& upload) {
  DrainGLErrors();  // errors of earlier drawing are not the upload's
  upload();
  if (DrainGLErrors()) {
    Held.reset();
    Refused = model;
    return false;
  }
  Held = model;
  Filled = true;
  return true;
}

void TModelObjects::ReleaseWorkingMemory() {
  Culler = TAtomCuller();
  std::vector<uint8_t>().swap(ShadowAlpha);
  WorkedOut.reset();
}

void TModelObjects::Forget() {
  std::fill(std::begin(MeshBuffers), std::end(MeshBuffers), 0u);
  IndexCount = 0;
  Mesh = {};
  SphereBuffer = ShadowTexture = 0;
  Spheres = {};
  WorkedOut.reset();
}

TGLResources::TGLResources(int64_t textBudgetBytes)
    : functions_(std::make_unique<TGLFunctions>()), text_(textBudgetBytes) {}

TGLResources::~TGLResources() {
  if (context_ != nullptr && wglGetCurrentContext() == context_) DeleteAll();
}

bool TGLResources::TakeCurrentContext() {
  const HGLRC current = wglGetCurrentContext();
  if (current == nullptr) return false;
  if (current == context_) return true;
  Forget();
  context_ = current;
  *functions_ = LookUpGLFunctions();
  const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  version_ = version ? version : "";
  limits_ = AskLimits(version_);
  TellTheTextCache();
  return true;
}

void TGLResources::AssumeGLVersion(std::string_view version) {
  assumedVersion_ = std::string(version);
  TellTheTextCache();
}

TAtomDrawing TGLResources::AtomDrawing() {
  if (context_ == nullptr) TakeCurrentContext();
  if (sphereProgram_.State == TSphereProgram::TState::Failed) return TAtomDrawing::Meshes;
  return SupportsSphereShaders(Version()) ? TAtomDrawing::Impostors : TAtomDrawing::Meshes;
}

TModelObjects& TGLResources::For(const std::shared_ptr<const TMeshModel>& model) {
  for (const auto& objects : models_)
    if (objects->Mesh.Holds(model) || objects->Mesh.Refuses(model)) return *objects;
  for (const auto& objects : models_)
    if (objects->Mesh.Held.expired() && objects->Mesh.Refused.expired()) return *objects;
  models_.push_back(std::make_unique<TModelObjects>(*this));
  return *models_.back();
}

void TGLResources::ReleaseStale() {
  if (!TakeCurrentContext() || !functions_->Buffers()) return;
  for (const auto& objects : models_) {
    if (objects->Mesh.Stale()) {
      const uint32_t* names = objects->MeshBuffers;
      EmptyBuffers(*functions_, {names[0], names[1], names[2]});
      objects->Mesh.Filled = false;
    }
    if (objects->Spheres.Stale()) {
      EmptyBuffers(*functions_, {objects->SphereBuffer});
      objects->Spheres.Filled = false;
    }
  }
}

TGLFontCache& TGLResources::Text() {
  TakeCurrentContext();
  return text_;
}

void TGLResources::Forget() {
  for (const auto& objects : models_) objects->Forget();
  sphereProgram_ = TSphereProgram();
  text_.Forget();
}

void TGLResources::DeleteAll() {
  const TGLFunctions& gl = *functions_;
  for (const auto& objects : models_) {
    if (gl.Buffers()) {  // names are only made where the functions are
      for (GLuint name : objects->MeshBuffers)
        if (name) gl.DeleteBuffers(1, &name);
      if (objects->SphereBuffer) gl.DeleteBuffers(1, &objects->SphereBuffer);
    }
    if (objects->ShadowTexture) glDeleteTextures(1, &objects->ShadowTexture);
    objects->Forget();
  }
  if (gl.Shaders()) {
    if (sphereProgram_.Program) gl.DeleteProgram(sphereProgram_.Program);
    for (GLuint shader : sphereProgram_.Shaders)
      if (shader) gl.DeleteShader(shader);
  }
  sphereProgram_ = TSphereProgram();
  text_.Clear();
}

void TGLResources::TellTheTextCache() {
  text_.TakeDriver(SupportsClampToEdge(Version()), limits_.MaxTextureSize);
}

}  // namespace pelorin
