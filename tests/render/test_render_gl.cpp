// OpenGL under a real display: library start and the table of entry points, pixel format and
// context, the text cache, 2D scenes (a title in its band, the dark view) and 3D atom models
// drawn into a window's back buffer and read back before the swap, the record of what a context
// keeps, the switches every drawing puts back and the read-back itself.
// GL/gl.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <GL/gl.h>
#include <GL/glext.h>
// clang-format on
#include <float.h>
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "formats/atom_test_util.h"
#include "model3d/uAtomModel.h"
#include "render/uAtomCulling.h"
#include "render/uGLContext.h"
#include "render/uGLFont.h"
#include "render/uGLResources.h"
#include "render/uMeshRender.h"
#include "render/uMessageView.h"
#include "render/uOpenGL.h"
#include "render/uRender2D.h"
#include "render/uViewValues.h"
#include "support/uDebugLog.h"
#include "support/uWinHandle.h"
#include "svg/uScenePalette.h"
#include "test_drawing.h"
#include "test_helpers.h"
#include "test_temp_dir.h"

using namespace pelorin;
using namespace pelorin_test;

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;

int gDummyWindowsCreated = 0;

LRESULT CALLBACK CountDummyWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    char name[64] = {};
    GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name);
    if (std::string(name) == "PelorinWGLDummy") ++gDummyWindowsCreated;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Loads OpenGL once for the program and watches every window this thread creates, so the
// multisample probe can be counted whichever test makes the first context.
class TOpenGLEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(LoadOpenGL(error)) << error;
    hook_ = SetWindowsHookExA(WH_CBT, CountDummyWindows, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook_, nullptr);
  }
  void TearDown() override {
    if (hook_) UnhookWindowsHookEx(hook_);
    UnloadOpenGL();
  }

 private:
  HHOOK hook_ = nullptr;
};

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TOpenGLEnvironment);

const char* TestWindowClass() {
  static const char* name = [] {
    WNDCLASSA wc{};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PelorinRenderTest";
    RegisterClassA(&wc);
    return wc.lpszClassName;
  }();
  return name;
}

// A visible top-level window with a 400 x 300 client area and its OpenGL drawing state, the
// context current while the object lives (what was current before is current again after it).
class TGLWindow {
 public:
  TGLWindow() {
    RECT r{0, 0, kWidth, kHeight};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    window_ = TOwnedWindow(CreateWindowExA(0, TestWindowClass(), "render test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                           r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                           GetModuleHandleA(nullptr), nullptr));
    if (window_) gl_ = TWindowGL::Create(window_.get());
    if (gl_) current_.emplace(gl_->DC(), gl_->Context());
  }
  bool Ready() const { return current_ && *current_; }
  HGLRC Context() const { return gl_ ? gl_->Context() : nullptr; }
  TWindowGL& GL() { return *gl_; }
  TGLResources& Resources() { return gl_->Resources(); }

 private:
  TOwnedWindow window_;
  std::unique_ptr<TWindowGL> gl_;
  std::optional<TCurrentContext> current_;
};

// The back buffer, read before any swap, seen through the projection it was drawn with.
class TFrame {
 public:
  explicit TFrame(const TOrthoBox& box) : box_(box) {
    std::vector<unsigned char> rgba(kWidth * kHeight * 4);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    image_.Width = kWidth;
    image_.Height = kHeight;
    for (int row = 0; row < kHeight; ++row)  // GL rows start at the bottom
      for (int col = 0; col < kWidth; ++col) {
        const unsigned char* p = &rgba[(static_cast<size_t>(kHeight - 1 - row) * kWidth + col) * 4];
        image_.Pixels.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
      }
  }
  uint32_t At(float x, float y) const { return image_.At(Column(x), Row(y)); }
  const TImage& Image() const { return image_; }
  // Pixels of the scene rectangle (the whole window by default) that pass `match`.
  template <typename TMatch>
  size_t Count(TMatch match, float x0 = -1e9f, float y0 = -1e9f, float x1 = 1e9f, float y1 = 1e9f) const {
    return CountPixels(image_, match, {Column(x0), Row(y0), Column(x1), Row(y1)});
  }

 private:
  int Column(float x) const { return Clamp((x - box_.Left) / (box_.Right - box_.Left) * kWidth, kWidth); }
  int Row(float y) const { return Clamp((y - box_.Top) / (box_.Bottom - box_.Top) * kHeight, kHeight); }
  static int Clamp(double v, int size) { return static_cast<int>(std::clamp(v, 0.0, size - 1.0)); }
  TOrthoBox box_;
  TImage image_;
};

// The frame corners fixed at (0, 0) and (100, 100): invisible lines, so every scene of a test
// gets the same projection.
void AddFrame(TSVGScene& scene) {
  TGeoElement corners = MakeElement(gkPolyline, kNoPaint, kNoPaint, 0, false);
  corners.Points = {{0, 0}, {100, 100}};
  AddElement(scene, corners);
}

// A 100 x 100 page, as the converter's drawings have, with the frame.
TSVGScene Page(std::initializer_list<TGeoElement> elements) {
  TSVGScene scene = SceneOf(elements, 100);
  AddFrame(scene);
  return scene;
}

class RenderGLTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(window_.Ready()); }
  // Draws with a fresh view and returns the projection used.
  TOrthoBox Draw(const TSVGScene& scene, bool showHeadings = true) {
    TView2D view;
    view.ShowHeadings = showHeadings;
    SetupProjection2D(kWidth, kHeight, scene, view);
    RenderScene2D(scene, view, Cache());
    return OrthoBox2D(kWidth, kHeight, scene, view);
  }
  TGLFontCache& Cache() { return window_.Resources().Text(); }
  TGLWindow window_;
};

}  // namespace

TEST(OpenGLStart, MasksFloatingPointExceptionsAndFindsEntryPoints) {
  EXPECT_EQ(_controlfp(0, 0) & _MCW_EM, static_cast<unsigned>(_MCW_EM));
  EXPECT_EQ(_mm_getcsr() & 0x1F80u, 0x1F80u);
  EXPECT_TRUE(OpenGLLoaded());
  std::string error;
  EXPECT_TRUE(LoadOpenGL(error)) << "loading again while loaded succeeds";

  for (intptr_t fake : {0, 1, 2, 3, -1}) EXPECT_FALSE(IsRealProcAddress(reinterpret_cast<PROC>(fake))) << fake;
  EXPECT_TRUE(IsRealProcAddress(reinterpret_cast<PROC>(intptr_t{4})));

  EXPECT_FALSE(LookUpGLFunctions().Buffers()) << "no entry points without a current context";
  TGLWindow window;
  ASSERT_TRUE(window.Ready());
  const TGLFunctions gl = LookUpGLFunctions();
  EXPECT_TRUE(gl.Buffers());
  EXPECT_TRUE(gl.Shaders()) << "Mesa offers OpenGL 4.5";
  EXPECT_EQ(reinterpret_cast<void*>(gl.BindBuffer),
            reinterpret_cast<void*>(GetGLProc("glBindBuffer", "glBindBufferARB")));
  EXPECT_NE(GetGLProc("glGenBuffers", "glGenBuffersARB"), nullptr);
  EXPECT_NE(GetGLProc("glNoSuchFunctionHere", "glBindBufferARB"), nullptr) << "the fallback name is tried";
  EXPECT_NE(GetGLProc("glClear", nullptr), nullptr) << "1.1 functions come from the library";
  EXPECT_EQ(GetGLProc("glNoSuchFunctionHere", nullptr), nullptr);
  EXPECT_EQ(GetGLProc(nullptr, nullptr), nullptr);

  glEnable(0x7FFF);
  EXPECT_TRUE(DrainGLErrors()) << "the error is seen";
  EXPECT_FALSE(DrainGLErrors()) << "and gone";
}

TEST(GLContext, MultisampledContextsLoggedAndProbedOnceAndUsedAgainByTheNextWindows) {
  pelorin_test::TTempDir dir;
  DeleteIdleContexts();  // windows of earlier tests left theirs
  DebugLogSetup(dir.Dir(), true);
  HGLRC made[2] = {};
  {
    TGLWindow first;
    TGLWindow second;
    EXPECT_TRUE(first.Ready());
    EXPECT_TRUE(second.Ready());
    EXPECT_NE(first.Context(), second.Context());
    made[0] = first.Context();
    made[1] = second.Context();
  }
  // Closed windows leave their contexts to the next ones; a third window at once makes its own.
  {
    TGLWindow next[3];
    for (const TGLWindow& window : next) EXPECT_TRUE(window.Ready());
    EXPECT_TRUE(next[0].Context() == made[0] || next[0].Context() == made[1]);
    EXPECT_TRUE(next[1].Context() == made[0] || next[1].Context() == made[1]);
    EXPECT_NE(next[0].Context(), next[1].Context());
    EXPECT_NE(next[2].Context(), made[0]);
    EXPECT_NE(next[2].Context(), made[1]);
  }
  DebugLogClose();
  EXPECT_EQ(gDummyWindowsCreated, 1) << "one probe per process, whichever window came first";
  EXPECT_TRUE(ProbeMultisampleSupport());
  EXPECT_EQ(gDummyWindowsCreated, 1);
  for (int samples : {1, 0, -4}) {
    int format = -1;
    EXPECT_FALSE(ChooseMultisampleFormat(nullptr, samples, format));
    EXPECT_EQ(format, 0);
  }

  const std::string log = pelorin_test::ReadFileBytes(dir.File("pelorindebug.log"));
  const std::regex created(
      R"(SetupPixelFormat: PF=[1-9]\d* MSAA=4x\r\n[^\r\n]*wglCreateContext \xE2\x86\x92 HGLRC=[1-9]\d*\r\n)");
  const auto lines = std::distance(std::sregex_iterator(log.begin(), log.end(), created), std::sregex_iterator());
  EXPECT_EQ(lines, 3) << log;
  EXPECT_EQ(pelorin_test::CountOf(log, "of a closed window is used again"), 2u) << log;
}

TEST_F(RenderGLTest, ShapesLandWhereTheSceneSays) {
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  TSVGScene empty;
  EXPECT_EQ(TFrame(Draw(empty)).Count(IsInk), 0u) << "an empty scene is a white window";

  const TSVGScene scene = Page({
      Line({10, 10}, {90, 10}, 2),
      Polygon({{20, 30}, {50, 30}, {50, 60}, {20, 60}}, kRed, kNoPaint),  // not closed: the renderer closes it
      Circle({75, 75}, 12, 12),
      Circle({75, 40}, 12, 12, kNoPaint, kNoPaint),
  });
  const TFrame frame(Draw(scene));

  EXPECT_TRUE(IsDark(frame.At(50, 10)));
  EXPECT_TRUE(IsWhite(frame.At(50, 20)));
  EXPECT_TRUE(IsReddish(frame.At(35, 45)));
  EXPECT_TRUE(IsReddish(frame.At(22, 32)));
  EXPECT_TRUE(IsWhite(frame.At(55, 45)));
  EXPECT_TRUE(IsWhite(frame.At(75, 75))) << "a ring has no fill";
  EXPECT_GT(frame.Count(IsDark, 62, 73, 66, 77), 0u) << "the ring's outline";
  EXPECT_EQ(frame.Count(IsInk, 60, 25, 90, 55), 0u) << "no fill and no stroke draw nothing";
}

TEST_F(RenderGLTest, DashedLinesHaveGapsAndThinLinesStayVisible) {
  const TSVGScene scene =
      Page({Line({10, 20}, {90, 20}, 1), Line({10, 50}, {90, 50}, 1, true), Line({10, 80}, {90, 80}, 0.001f)});
  const TFrame frame(Draw(scene));
  const size_t solid = frame.Count(IsDark, 15, 19, 85, 21), dashed = frame.Count(IsDark, 15, 49, 85, 51);
  EXPECT_GT(solid, 300u);
  EXPECT_GT(dashed, solid / 4);
  EXPECT_LT(dashed, solid * 3 / 4);
  EXPECT_GT(frame.Count(IsInk, 15, 78, 85, 82), 50u) << "half a pixel at least";
}

TEST_F(RenderGLTest, TextsAnchorAtTheirPointAndHeadingsCanBeHidden) {
  TGeoElement uncoloured = Text("NNN", {50, 90}, 10, "start");
  uncoloured.TextColor = kNoPaint;
  const TSVGScene texts = Page({Text("NNN", {50, 30}, 10, "start"), Text("NNN", {50, 60}, 10, "end"), uncoloured});
  const TFrame frame(Draw(texts));
  EXPECT_GT(frame.Count(IsDark, 51, 22, 70, 31), 20u);
  EXPECT_EQ(frame.Count(IsDark, 30, 22, 49, 31), 0u);
  EXPECT_GT(frame.Count(IsDark, 30, 52, 49, 61), 20u);
  EXPECT_EQ(frame.Count(IsDark, 51, 52, 70, 61), 0u);
  EXPECT_GT(frame.Count(IsDark, 51, 82, 70, 91), 20u) << "no text colour means black";
  EXPECT_EQ(Cache().Stats().Textures, 1) << "one label, one texture";

  const TSVGScene titled = Page({Heading(Text("NNN", {50, 50}, 10, "middle"))});
  EXPECT_GT(TFrame(Draw(titled, true)).Count(IsDark, 40, 40, 60, 51), 20u);
  EXPECT_EQ(TFrame(Draw(titled, false)).Count(IsInk), 0u);
}

TEST_F(RenderGLTest, OutlinedTextCoversMoreThanPlainText) {
  const TSVGScene plain = Page({Text("NNN", {20, 50}, 12, "start")});
  TSVGScene outlined = plain, transparentOutline = plain;
  outlined.Elements[0].TextStroke = kBlack;
  outlined.Elements[0].TextStrokeWidth = transparentOutline.Elements[0].TextStrokeWidth = 1;

  const size_t plainDark = TFrame(Draw(plain)).Count(IsDark);
  EXPECT_GT(plainDark, 50u);
  EXPECT_GT(TFrame(Draw(outlined)).Count(IsDark), plainDark * 5 / 4);
  EXPECT_EQ(TFrame(Draw(transparentOutline)).Count(IsDark), plainDark);
}

// The alpha texels of a cached text; empty when the cache made none.
static std::vector<unsigned char> TexelsOf(TGLFontCache& cache, const std::string& text, int32_t pixels,
                                           bool bold = false) {
  const TTextTexture texture = cache.GetTexture(text, pixels, bold);
  std::vector<unsigned char> texels(static_cast<size_t>(texture.Size.TexWidth * texture.Size.TexHeight));
  if (texture.Name == 0) return texels;
  glBindTexture(GL_TEXTURE_2D, texture.Name);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return texels;
}

TEST_F(RenderGLTest, CacheKeysClampSizesAndTexturesHoldGlyphCoverage) {
  auto name = [this](int32_t pixels, bool bold) { return Cache().GetTexture("CH3", pixels, bold).Name; };
  const uint32_t id = name(10, false);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(name(72, false), id);
  EXPECT_NE(name(72, true), id);
  const uint32_t big = name(2000, false);
  EXPECT_EQ(name(1024, false), big);
  EXPECT_EQ(Cache().Stats().Textures, 3);

  const TTextTextureSize size = Cache().GetTexture("CH3", 72, false).Size;
  EXPECT_EQ(size.TexWidth & (size.TexWidth - 1), 0);
  EXPECT_EQ(size.TexHeight & (size.TexHeight - 1), 0);
  EXPECT_GT(size.TextWidth, 72) << "three glyphs of a 72-pixel font are wider than one";
  EXPECT_TRUE(size.TexWidth >= size.TextWidth && size.TexHeight >= size.TextHeight);
  const std::vector<unsigned char> texels = TexelsOf(Cache(), "CH3", 72);
  EXPECT_GT(std::count_if(texels.begin(), texels.end(), [](unsigned char a) { return a > 0; }), 100);

  const TTextTexture none = Cache().GetTexture("", 100, false);
  EXPECT_EQ(none.Name, 0u);
  EXPECT_EQ(none.Size.TexWidth | none.Size.TexHeight | none.Size.TextWidth | none.Size.TextHeight, 0);
  Cache().Clear();
  EXPECT_EQ(Cache().Stats().Entries, 0);
  EXPECT_FALSE(glIsTexture(id));
}

TEST_F(RenderGLTest, OversizedTextIsSkippedAndTheSurfaceIsReusedCleanly) {
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  ASSERT_GT(maxSize, 0);
  // Far wider than any texture at 1024 pixels: an 'M' is wider than half the font's height.
  const std::string wide(static_cast<size_t>(maxSize) / 256 + 64, 'M');
  for (int paint = 0; paint < 2; ++paint) {
    const TTextTexture texture = Cache().GetTexture(wide, 1024, false);
    EXPECT_EQ(texture.Name, 0u);
    EXPECT_EQ(texture.Size.TexWidth | texture.Size.TexHeight | texture.Size.TextWidth | texture.Size.TextHeight, 0);
  }
  EXPECT_EQ(Cache().Stats().Textures, 0);
  EXPECT_EQ(Cache().Stats().Made, 1) << "a text that cannot be drawn is not rasterised on every paint";

  // A large text grows the DIB; a small one drawn into it afterwards must come out exactly as
  // in a fresh cache, with nothing left over from the large one.
  ASSERT_FALSE(TexelsOf(Cache(), "TTTTTTTT", 400).empty());
  const std::vector<unsigned char> reused = TexelsOf(Cache(), "-", 72);
  TGLResources fresh;
  const std::vector<unsigned char> expected = TexelsOf(fresh.Text(), "-", 72);
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(reused == expected);
}

TEST_F(RenderGLTest, TextsDrawWhereOnlyOpenGL11IsOffered) {
  const std::pair<const char*, bool> versions[] = {
      {"1.1.0", false},   {"1.2 Mesa", true}, {"4.5 (Compatibility Profile) Mesa 22.3.6", true},
      {"10.0", true},     {"0.9", false},     {"", false},
      {"garbage", false}, {"1.", false}};
  for (const auto& [version, clampToEdge] : versions) EXPECT_EQ(SupportsClampToEdge(version), clampToEdge) << version;

  // Windows' own renderer reports "1.1.0" and refuses GL_CLAMP_TO_EDGE; Mesa takes GL_CLAMP as
  // well, so the path for it is drawn here.
  window_.Resources().AssumeGLVersion("1.1.0");
  glTexParameteri(GL_TEXTURE_2D, 0x7FFF, 0);  // an earlier error, not the upload's
  TSVGScene texts = Page({Text("NNN", {50, 30}, 10, "start")});
  AddFrame(texts);
  EXPECT_GT(TFrame(Draw(texts)).Count(IsDark, 51, 22, 70, 31), 20u);

  auto wrapModeOf = [](TGLFontCache& cache) {
    GLint wrap = 0;
    glBindTexture(GL_TEXTURE_2D, cache.GetTexture("NNN", 72, false).Name);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    glBindTexture(GL_TEXTURE_2D, 0);
    return wrap;
  };
  EXPECT_EQ(wrapModeOf(Cache()), GL_CLAMP);
  TGLResources asTheContextSays;
  EXPECT_EQ(wrapModeOf(asTheContextSays.Text()), 0x812F) << "GL_CLAMP_TO_EDGE from 1.2 on";
}

TEST_F(RenderGLTest, CacheKeepsToItsBudgetDroppingTheLeastRecentlyUsed) {
  auto texture = [](TGLFontCache& cache, const char* text) { return cache.GetTexture(text, 72, false).Name; };
  TGLResources probe;
  ASSERT_NE(texture(probe.Text(), "N1"), 0u);
  const int64_t oneText = probe.Text().Stats().TextureBytes;  // the digits are equally wide

  TGLResources record(2 * oneText + 1024);  // two texts and their bookkeeping
  TGLFontCache& cache = record.Text();
  const uint32_t n1 = texture(cache, "N1");
  ASSERT_NE(texture(cache, "N2"), 0u);
  EXPECT_EQ(texture(cache, "N1"), n1);
  ASSERT_NE(texture(cache, "N3"), 0u);
  TFontCacheStats stats = cache.Stats();
  EXPECT_EQ(stats.Textures, 2);
  EXPECT_EQ(stats.TextureBytes, 2 * oneText);
  EXPECT_EQ(texture(cache, "N1"), n1) << "used after N2, so N2 went";
  EXPECT_NE(texture(cache, "N2"), 0u) << "made again";
  EXPECT_EQ(cache.Stats().Made, stats.Made + 1);
}

TEST_F(RenderGLTest, TexturesStayWithTheContextTheyWereMadeIn) {
  TGLResources left;  // its texture has this context's first name
  ASSERT_NE(left.Text().GetTexture("N1", 72, false).Name, 0u);
  ASSERT_NE(Cache().GetTexture("N1", 72, false).Name, 0u);

  TGLWindow other;  // another viewer window's context is current now
  ASSERT_TRUE(other.Ready());
  GLuint theirs = 0;
  glGenTextures(1, &theirs);
  glBindTexture(GL_TEXTURE_2D, theirs);
  glBindTexture(GL_TEXTURE_2D, 0);
  left.Text().Clear();
  EXPECT_TRUE(glIsTexture(theirs)) << "names of another context are not the cache's to delete";

  const uint32_t here = Cache().GetTexture("N1", 72, false).Name;
  EXPECT_TRUE(glIsTexture(here));
  EXPECT_NE(here, theirs);
  EXPECT_EQ(Cache().Stats().Made, 2) << "made again in the current context";
  glDeleteTextures(1, &theirs);
}

namespace {

// The whole back buffer as RGBA bytes, read before any swap.
std::vector<unsigned char> BackBuffer() {
  std::vector<unsigned char> rgba(kWidth * kHeight * 4);
  glFinish();
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  return rgba;
}

// How a test draws an atom model: as the context offers (spheres, with shaders), or as meshes,
// the version forced to OpenGL 1.1 as Windows' own renderer reports it.
enum class TDrawn { Spheres, Meshes };

// A frame of atoms drawn with `record` (a 400 x 300 window, the bottom 28 pixels covered as the
// viewer's navigation bar covers them), read back; empty when nothing was drawn from the driver's
// buffers.
std::vector<unsigned char> AtomPicture(TGLResources& record, const std::shared_ptr<TMeshModel>& model, TDrawn drawn,
                                       TMeshFrame frame = TMeshFrame::Still, TViewValues view = {}) {
  if (drawn == TDrawn::Meshes) record.AssumeGLVersion("1.1.0");
  TModelObjects& objects = record.For(model);
  RenderMeshModel(model, objects, {kWidth, kHeight, 28}, view, frame);
  const bool fromBuffers = drawn == TDrawn::Meshes ? model->BuffersUploaded : objects.Spheres.Holds(model);
  return fromBuffers ? BackBuffer() : std::vector<unsigned char>{};
}

std::shared_ptr<TMeshModel> AtomModel(const TAtomArray& atoms, TAtomDrawing drawing) {
  auto model = std::make_shared<TMeshModel>();
  std::string error;
  EXPECT_TRUE(BuildAtomModel(atoms, drawing, *model, error)) << error;
  return model;
}

TAtomArray AtomGrid(int count) {
  const char* elements[] = {"C", "O", "N", "H", "S"};
  const int side = static_cast<int>(std::cbrt(count)) + 1;
  TAtomArray atoms;
  for (int i = 0; i < count; ++i) {
    TAtom atom{};
    std::snprintf(atom.Element, sizeof atom.Element, "%s", elements[i % 5]);
    atom.X = 1.4f * (i % side), atom.Y = 1.3f * (i / side % side), atom.Z = 1.5f * (i / side / side);
    atoms.push_back(atom);
  }
  return atoms;
}

// Which pixels of a picture show something other than the background.
std::vector<bool> Silhouette(const std::vector<unsigned char>& rgba) {
  std::vector<bool> mask(rgba.size() / 4);
  for (size_t i = 0; i < mask.size(); ++i)
    mask[i] = rgba[4 * i] != 33 || rgba[4 * i + 1] != 36 || rgba[4 * i + 2] != 41;  // (0.13, 0.14, 0.16)
  return mask;
}

// Pixels of `a` with no pixel of `b` within one pixel of them.
size_t FartherThanAPixel(const std::vector<bool>& a, const std::vector<bool>& b) {
  size_t alone = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      if (!a[y * kWidth + x]) continue;
      bool beside = false;
      for (int dy = -1; dy <= 1 && !beside; ++dy)
        for (int dx = -1; dx <= 1 && !beside; ++dx) {
          const int nx = x + dx, ny = y + dy;
          beside = nx >= 0 && ny >= 0 && nx < kWidth && ny < kHeight && b[ny * kWidth + nx];
        }
      alone += !beside;
    }
  return alone;
}

// The mean brightness of the pixels of a picture row band that show the model.
double MeanBrightness(const std::vector<unsigned char>& rgba, int x0, int x1) {
  double sum = 0;
  size_t count = 0;
  const std::vector<bool> mask = Silhouette(rgba);
  for (int y = 0; y < kHeight; ++y)
    for (int x = x0; x < x1; ++x)
      if (mask[y * kWidth + x]) {
        const unsigned char* p = &rgba[4 * (y * kWidth + x)];
        sum += p[0] + p[1] + p[2], ++count;
      }
  return count ? sum / count : 0;
}

}  // namespace

TEST(AtomModelPicture, SharedSphereCornersDrawTheSamePictureAsEveryFacetsOwn) {
  TGLWindow window;
  ASSERT_TRUE(window.Ready());
  for (int atoms : {27, 13000}) {  // the finest spheres, and the coarsest (more atoms than 65,535 corners)
    SCOPED_TRACE(atoms);
    TViewValues view;
    view.RotY = 35;
    const auto model = AtomModel(AtomGrid(atoms), TAtomDrawing::Meshes);
    const std::vector<unsigned char> shared =
        AtomPicture(window.Resources(), model, TDrawn::Meshes, TMeshFrame::Still, view);
    auto own = AtomModel(AtomGrid(atoms), TAtomDrawing::Meshes);
    own->SphereLevel = -1;  // the renderer then draws every facet's own corners
    const std::vector<unsigned char> owned =
        AtomPicture(window.Resources(), own, TDrawn::Meshes, TMeshFrame::Still, view);
    ASSERT_FALSE(shared.empty());
    ASSERT_FALSE(owned.empty());
    size_t differing = 0, lit = 0;
    for (size_t i = 0; i < shared.size(); i += 4) {
      differing += std::memcmp(&shared[i], &owned[i], 3) != 0;
      lit += shared[i] > 100 || shared[i + 1] > 100 || shared[i + 2] > 100;
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(lit, size_t(kWidth * kHeight / 20)) << "the spheres are in the picture";
  }
}

// The same atoms drawn as exact spheres and, where the driver offers only OpenGL 1.1, as meshes
// made from the very same atoms (the model was built for spheres): their outlines agree within
// a pixel, fitted into the window above its covered bottom, also when zoomed in so far that
// spheres at the edge are cut and the largest outgrow the driver's points.
TEST(AtomModelPicture, SpheresAndMeshesHaveTheSameSilhouette) {
  TGLWindow window;
  ASSERT_TRUE(window.Ready());
  ASSERT_EQ(window.Resources().AtomDrawing(), TAtomDrawing::Impostors) << "Mesa offers OpenGL 4.5";
  TGLResources meshes;
  const auto model = AtomModel(AtomGrid(14), TAtomDrawing::Impostors);
  for (float zoom : {1.0f, 2.5f, 6.0f}) {
    SCOPED_TRACE(zoom);
    TViewValues view;
    view.Zoom3D = zoom;
    const std::vector<unsigned char> spheres =
        AtomPicture(window.Resources(), model, TDrawn::Spheres, TMeshFrame::Dragged, view);
    const std::vector<unsigned char> meshed = AtomPicture(meshes, model, TDrawn::Meshes, TMeshFrame::Dragged, view);
    ASSERT_FALSE(spheres.empty());
    ASSERT_FALSE(meshed.empty());
    const std::vector<bool> a = Silhouette(spheres), b = Silhouette(meshed);
    const size_t inside = static_cast<size_t>(std::count(a.begin(), a.end(), true));
    EXPECT_GT(inside, size_t(kWidth * kHeight / 5));
    EXPECT_EQ(FartherThanAPixel(a, b), 0u);
    EXPECT_EQ(FartherThanAPixel(b, a), 0u);
    if (zoom != 1) continue;
    // Fitted: the outline fills 85 % or more of the uncovered area's binding side, centred in it.
    int left = kWidth, right = -1, top = kHeight, bottom = -1;  // rows of the read-back run bottom-up
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        if (a[y * kWidth + x])
          left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    const int area = kHeight - 28;
    EXPECT_GE(std::max((right - left + 1) / double(kWidth), (bottom - top + 1) / double(area)), 0.85);
    EXPECT_NEAR(left, kWidth - 1 - right, 2);
    EXPECT_NEAR(top - 28, kHeight - 1 - bottom, 2) << "centred above the covered bottom";
  }
  EXPECT_GT(model->FacetCount, 0) << "the meshes were made from the atoms when first drawn";
  EXPECT_EQ(model->Atoms.size(), 14u);
}

// A large model is drawn without the spheres that do not show: the picture is the same as with
// all of them, the shadow included (above the covered bottom, which the window does not show).
TEST(AtomModelPicture, LargeModelsLeaveOutOnlyWhatDoesNotShow) {
  TGLWindow window;
  ASSERT_TRUE(window.Ready());
  const auto model = AtomModel(AtomGrid(int(kCullMinAtoms) + 3000), TAtomDrawing::Impostors);
  for (float zoom : {1.0f, 3.0f}) {
    SCOPED_TRACE(zoom);
    TViewValues view;
    view.Zoom3D = zoom;
    TModelObjects& objects = window.Resources().For(model);
    objects.Cull = true;
    const std::vector<unsigned char> culled =
        AtomPicture(window.Resources(), model, TDrawn::Spheres, TMeshFrame::Still, view);
    const size_t kept = objects.Culler.Spheres().size();
    objects.Cull = false;
    const std::vector<unsigned char> whole =
        AtomPicture(window.Resources(), model, TDrawn::Spheres, TMeshFrame::Still, view);
    ASSERT_FALSE(culled.empty());
    size_t differing = 0;
    for (size_t i = 4 * kWidth * 28; i < culled.size(); i += 4) differing += std::memcmp(&culled[i], &whole[i], 3) != 0;
    EXPECT_EQ(differing, 0u);
    EXPECT_LT(kept, model->Atoms.size() / 2) << "most of the grid lies behind its front";
  }
}

// Large models fade towards the background with depth on both ways of drawing: a far atom
// darkens, a near one keeps its colour. The drop shadow lies beneath either.
TEST(AtomModelPicture, DepthCueAndShadowOnBothWays) {
  TGLWindow window;
  ASSERT_TRUE(window.Ready());
  TGLResources meshes;
  // Two atoms side by side on the screen, one far behind the other.
  TAtomArray atoms = {pelorin_test::MakeAtom("C", -3, 0, -20), pelorin_test::MakeAtom("C", 3, 0, 20)};
  std::vector<size_t> shadows;
  for (TDrawn drawn : {TDrawn::Spheres, TDrawn::Meshes}) {
    SCOPED_TRACE(drawn == TDrawn::Spheres ? "spheres" : "meshes");
    TGLResources& buffers = drawn == TDrawn::Spheres ? window.Resources() : meshes;
    const auto model = AtomModel(atoms, TAtomDrawing::Impostors);
    TViewValues straight;
    straight.RotX = straight.RotY = 0;
    const std::vector<unsigned char> plain = AtomPicture(buffers, model, drawn, TMeshFrame::Dragged, straight);
    model->DepthCue = true;
    const std::vector<unsigned char> cued = AtomPicture(buffers, model, drawn, TMeshFrame::Dragged, straight);
    ASSERT_FALSE(plain.empty());
    ASSERT_FALSE(cued.empty());
    // Seen straight on, the far atom (z -20) is the left one.
    EXPECT_LT(MeanBrightness(cued, 0, kWidth / 2), 0.7 * MeanBrightness(plain, 0, kWidth / 2)) << "the far atom fades";
    EXPECT_NEAR(MeanBrightness(cued, kWidth / 2, kWidth), MeanBrightness(plain, kWidth / 2, kWidth), 3)
        << "the nearest point keeps its colour";
    model->DepthCue = false;
    const std::vector<unsigned char> still = AtomPicture(buffers, model, drawn);  // the first view, with its shadow
    ASSERT_FALSE(still.empty());
    size_t shadow = 0;
    for (size_t i = 0; i < still.size(); i += 4) shadow += still[i] < 33 && still[i + 1] < 36 && still[i + 2] < 41;
    EXPECT_GT(shadow, 200u) << "darker than the background";
    shadows.push_back(shadow);
  }
  EXPECT_NEAR(double(shadows[0]) / shadows[1], 1, 0.2) << "the same shadow";
}

// A picture larger than the buffer is drawn a tile at a time: put together, the tiles are the
// picture drawn whole (framed above a covered band as the window frames it), for spheres as points and (zoomed in) as
// quads, for meshes, and for a model large enough to be culled, with its shadow. A sink that says stop ends the
// drawing; a picture past the driver's viewport, or of an empty model, is refused.
TEST(AtomModelPicture, DrawnInTilesIsThePictureDrawnWhole) {
  constexpr int kBar = 28, kPicture = kHeight - kBar;
  TGLWindow window;
  ASSERT_TRUE(window.Ready());
  const struct {
    const char* Name;
    int Atoms;
    float Zoom;
    TDrawn Drawn;
  } cases[] = {
      {"spheres", 14, 1, TDrawn::Spheres},
      {"spheres as quads", 14, 6, TDrawn::Spheres},
      {"meshes", 14, 1.5f, TDrawn::Meshes},
      {"culled", int(kCullMinAtoms) + 3000, 1, TDrawn::Spheres},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TGLResources record;
    if (c.Drawn == TDrawn::Meshes) record.AssumeGLVersion("1.1.0");
    const auto model = AtomModel(AtomGrid(c.Atoms), TAtomDrawing::Impostors);
    TModelObjects& buffers = record.For(model);
    TViewValues view;
    view.Zoom3D = c.Zoom;
    // Whole as the window draws it, its bottom covered by the bar; the picture is the rest.
    RenderMeshModel(model, buffers, {kWidth, kHeight, kBar}, view, TMeshFrame::Still);
    const std::vector<unsigned char> whole = BackBuffer();  // rows from the bottom
    buffers.ReleaseWorkingMemory();                         // the tiles work the culling out again
    std::vector<uint32_t> tiled(kWidth * kPicture);
    size_t tiles = 0;
    const bool drawn = RenderMeshModelTiles(
        model, buffers, {kWidth, kPicture}, kBar, {150, 110}, view, [&](const TPictureTile& t, const uint32_t* pixels) {
          for (int y = 0; y < t.Height; ++y)
            std::copy_n(pixels + y * t.Width, t.Width, &tiled[(t.Y + y) * kWidth + t.X]);
          return ++tiles > 0;
        });
    EXPECT_TRUE(drawn);
    EXPECT_EQ(tiles, 9u);
    size_t differing = 0, lit = 0;
    for (int y = 0; y < kPicture; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const unsigned char* p = &whole[4 * ((kHeight - 1 - y) * kWidth + x)];
        const uint32_t t = tiled[y * kWidth + x];
        // A mesh's shading may round a level apart where its facets are set up from another corner.
        differing += std::abs(int(t >> 16 & 0xFF) - p[0]) > 1 || std::abs(int(t >> 8 & 0xFF) - p[1]) > 1 ||
                     std::abs(int(t & 0xFF) - p[2]) > 1;
        lit += p[0] > 100;
      }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(lit, size_t(kWidth * kPicture / 50)) << "the model is in the picture";
    tiles = 0;
    EXPECT_FALSE(RenderMeshModelTiles(model, buffers, {kWidth, kPicture}, kBar, {150, 110}, view,
                                      [&](const TPictureTile&, const uint32_t*) { return ++tiles < 2; }));
    EXPECT_EQ(tiles, 2u) << "stopped where the sink said";
  }
  GLint maxViewport[2] = {0, 0}, maxTexture = 0;
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
  EXPECT_EQ(LargestTiledAreaSide(window.Resources()), std::min({maxViewport[0], maxViewport[1], maxTexture}));
  bool called = false;
  const auto model = AtomModel(AtomGrid(14), TAtomDrawing::Impostors);
  EXPECT_FALSE(RenderMeshModelTiles(model, window.Resources().For(model), {maxViewport[0] + 1, 100}, 0, {150, 110}, {},
                                    [&](const TPictureTile&, const uint32_t*) { return called = true; }));
  const auto empty = std::make_shared<TMeshModel>();
  EXPECT_FALSE(RenderMeshModelTiles(empty, window.Resources().For(empty), {kWidth, kPicture}, 0, {150, 110}, {},
                                    [&](const TPictureTile&, const uint32_t*) { return called = true; }))
      << "no model, no picture";
  EXPECT_FALSE(called);
}

// A window's record of what the renderers keep goes with the window: its buffers, textures and
// program are deleted while their context is current, and never in another context, whose
// objects of the same names are not the record's.
TEST(GLResources, AreDeletedInTheirOwnContextOnly) {
  TGLWindow window;
  ASSERT_TRUE(window.Ready());
  auto proc = [](const char* name, const char* arbName) { return reinterpret_cast<void*>(GetGLProc(name, arbName)); };
  const auto isBuffer = reinterpret_cast<PFNGLISBUFFERPROC>(proc("glIsBuffer", "glIsBufferARB"));
  const auto genBuffers = reinterpret_cast<PFNGLGENBUFFERSPROC>(proc("glGenBuffers", "glGenBuffersARB"));
  const auto bindBuffer = reinterpret_cast<PFNGLBINDBUFFERPROC>(proc("glBindBuffer", "glBindBufferARB"));
  const auto isProgram = reinterpret_cast<PFNGLISPROGRAMPROC>(proc("glIsProgram", nullptr));
  ASSERT_TRUE(isBuffer && genBuffers && bindBuffer && isProgram);
  // What a record holds: its buffers, its textures and its program.
  struct TNames {
    std::vector<uint32_t> Buffers, Textures;
    uint32_t Program = 0;
  };
  auto exist = [&](const TNames& names) {
    return std::all_of(names.Buffers.begin(), names.Buffers.end(), [&](uint32_t n) { return isBuffer(n); }) &&
           std::all_of(names.Textures.begin(), names.Textures.end(), [&](uint32_t n) { return glIsTexture(n); }) &&
           (names.Program == 0 || isProgram(names.Program));
  };
  auto gone = [&](const TNames& names) {
    return std::none_of(names.Buffers.begin(), names.Buffers.end(), [&](uint32_t n) { return isBuffer(n); }) &&
           std::none_of(names.Textures.begin(), names.Textures.end(), [&](uint32_t n) { return glIsTexture(n); }) &&
           !isProgram(names.Program);
  };
  // Spheres with their shadow's texture, meshes and a text: every kind of object a record keeps.
  auto drawAll = [](TGLResources& record) {
    TNames names;
    const auto spheres = AtomModel(AtomGrid(8), TAtomDrawing::Impostors);
    const auto meshes = AtomModel(AtomGrid(8), TAtomDrawing::Meshes);
    TModelObjects& sphereObjects = record.For(spheres);
    if (AtomPicture(record, spheres, TDrawn::Spheres).empty() || AtomPicture(record, meshes, TDrawn::Meshes).empty())
      return names;
    for (const TModelObjects* objects : {&sphereObjects, &record.For(meshes)}) {
      names.Buffers.insert(names.Buffers.end(), std::begin(objects->MeshBuffers), std::end(objects->MeshBuffers));
      names.Buffers.push_back(objects->SphereBuffer);
      names.Textures.push_back(objects->ShadowTexture);
    }
    names.Textures.push_back(record.Text().GetTexture("N1", 72, false).Name);
    names.Program = record.SphereProgram().Program;
    return names;
  };
  TNames names;
  {
    TGLResources record;
    names = drawAll(record);
    ASSERT_NE(names.Program, 0u);
    ASSERT_TRUE(std::find(names.Buffers.begin(), names.Buffers.end(), 0u) == names.Buffers.end());
    ASSERT_TRUE(std::find(names.Textures.begin(), names.Textures.end(), 0u) == names.Textures.end());
    EXPECT_TRUE(exist(names));
  }
  EXPECT_TRUE(gone(names)) << "deleted with the record";

  auto kept = std::make_unique<TGLResources>();
  names = drawAll(*kept);
  ASSERT_NE(names.Program, 0u);
  {
    TGLWindow other;  // another window's context is current, with objects of the same names
    ASSERT_TRUE(other.Ready());
    // A fresh context's names count up from 1: these cover every name the record holds.
    TNames theirs;
    const uint32_t highestBuffer = *std::max_element(names.Buffers.begin(), names.Buffers.end());
    for (GLuint name = 0; theirs.Buffers.size() < highestBuffer;) {
      genBuffers(1, &name);
      bindBuffer(GL_ARRAY_BUFFER, name);  // a buffer object from its first binding on
      theirs.Buffers.push_back(name);
    }
    bindBuffer(GL_ARRAY_BUFFER, 0);
    const uint32_t highestTexture = *std::max_element(names.Textures.begin(), names.Textures.end());
    for (GLuint name = 0; theirs.Textures.size() < highestTexture;) {
      glGenTextures(1, &name);
      glBindTexture(GL_TEXTURE_2D, name);  // likewise a texture
      theirs.Textures.push_back(name);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    kept.reset();
    EXPECT_TRUE(exist(theirs)) << "another context's objects are not the record's to delete";
    glDeleteTextures(static_cast<GLsizei>(theirs.Textures.size()), theirs.Textures.data());
  }
  EXPECT_TRUE(exist(names)) << "left to their own context, whose deletion frees them";
}

TEST_F(RenderGLTest, ATitleStandsBelowItsDrawingAndTheDarkViewIsDark) {
  const TSVGScene scene = ConverterMolecule("caffeine", kRed);
  const TImage shown = TFrame(Draw(scene)).Image();
  const TBox drawing = BoxOf(shown, IsDark), title = BoxOf(shown, IsReddish);
  ASSERT_GT(title.Count, 20u);
  EXPECT_GT(title.Top, drawing.Bottom) << "the title's ink lies below the drawing's";
  EXPECT_NEAR((title.Left + title.Right) / 2.0, (drawing.Left + drawing.Right) / 2.0, 10) << "centred under it";
  const TImage hidden = TFrame(Draw(scene, false)).Image();
  EXPECT_EQ(CountPixels(hidden, IsReddish), 0u);
  EXPECT_GT(BoxOf(hidden, IsDark).Height(), drawing.Height()) << "the drawing alone fills the window";

  // The dark map drawn on its background: dark corners, light bonds, no black ink.
  TView2D view;
  const TSVGScene dark = DarkScene(scene);
  SetupProjection2D(kWidth, kHeight, dark, view);
  RenderScene2D(dark, view, Cache(), kDarkBackground);
  const TImage night = TFrame(OrthoBox2D(kWidth, kHeight, dark, view)).Image();
  EXPECT_EQ(night.At(0, 0), 0u);
  EXPECT_EQ(night.At(kWidth - 1, kHeight - 1), 0u);
  const size_t light = CountPixels(night, [](uint32_t c) { return Red(c) > 200 && Green(c) > 200 && Blue(c) > 200; });
  EXPECT_GT(light, 200u) << "bonds and labels light";
  EXPECT_GT(CountPixels(night, IsReddish), 20u) << "the title keeps its colour";
}

// Every drawing leaves the context's switches as it found them, so that none depends on what was
// drawn before it: a 2D scene with dashed lines, fills and outlined texts, a message, a surface
// with its wire overlay, atoms as spheres and as meshes fading with depth, still and dragged,
// and a picture in tiles; from the initial state, and from one that another drawing changed.
TEST(GLState, EveryDrawingLeavesTheSwitchesAsItFoundThem) {
  TGLWindow window;
  ASSERT_TRUE(window.Ready());
  const GLenum switches[] = {GL_BLEND,
                             GL_DEPTH_TEST,
                             GL_CULL_FACE,
                             GL_LIGHTING,
                             GL_LIGHT0,
                             GL_LIGHT1,
                             GL_COLOR_MATERIAL,
                             GL_FOG,
                             GL_MULTISAMPLE,
                             GL_TEXTURE_2D,
                             GL_LINE_SMOOTH,
                             GL_LINE_STIPPLE,
                             GL_POLYGON_OFFSET_LINE,
                             GL_POINT_SPRITE,
                             GL_VERTEX_PROGRAM_POINT_SIZE,
                             GL_VERTEX_ARRAY,
                             GL_NORMAL_ARRAY,
                             GL_COLOR_ARRAY,
                             GL_TEXTURE_COORD_ARRAY};
  auto state = [&] {
    std::string on;
    for (GLenum name : switches) on += glIsEnabled(name) ? '1' : '0';
    return on;
  };
  TSVGScene scene = Page({Line({10, 10}, {90, 10}, 1, true), Polygon({{20, 30}, {50, 30}, {50, 60}}, kRed, kBlack),
                          Circle({75, 75}, 12, 12), Text("NNN", {20, 80}, 10, "start")});
  scene.Elements[3].TextStroke = kBlack;
  scene.Elements[3].TextStrokeWidth = 1;
  const auto surface = AtomModel(AtomGrid(8), TAtomDrawing::Meshes);
  surface->Kind = TModelKind::Surface;  // drawn with the wire overlay
  const auto spheres = AtomModel(AtomGrid(8), TAtomDrawing::Impostors);
  const auto meshes = AtomModel(AtomGrid(8), TAtomDrawing::Meshes);
  spheres->DepthCue = meshes->DepthCue = true;
  TGLResources meshRecord;
  meshRecord.AssumeGLVersion("1.1.0");
  TGLResources& record = window.Resources();
  auto frame = [&](TGLResources& r, const std::shared_ptr<TMeshModel>& model, TMeshFrame f) {
    return [&r, model, f] { RenderMeshModel(model, r.For(model), {kWidth, kHeight, 28}, {}, f); };
  };
  const std::pair<const char*, std::function<void()>> drawings[] = {
      {"2D scene",
       [&] {
         TView2D view;
         SetupProjection2D(kWidth, kHeight, scene, view);
         RenderScene2D(scene, view, record.Text());
       }},
      {"message", [&] { DrawCenteredMessage(record.Text(), "Loading\nthe second line", kWidth, kHeight); }},
      {"surface", frame(record, surface, TMeshFrame::Still)},
      {"surface dragged", frame(record, surface, TMeshFrame::Dragged)},
      {"spheres", frame(record, spheres, TMeshFrame::Still)},
      {"spheres dragged", frame(record, spheres, TMeshFrame::Dragged)},
      {"meshes", frame(meshRecord, meshes, TMeshFrame::Still)},
      {"meshes dragged", frame(meshRecord, meshes, TMeshFrame::Dragged)},
      {"tiles",
       [&] {
         EXPECT_TRUE(RenderMeshModelTiles(spheres, record.For(spheres), {kWidth, 200}, 28, {150, 110}, {},
                                          [](const TPictureTile&, const uint32_t*) { return true; }));
       }},
  };
  for (bool changed : {false, true}) {
    if (changed) {  // as another drawing might have left them
      glEnable(GL_BLEND), glEnable(GL_DEPTH_TEST), glEnable(GL_LINE_SMOOTH), glDisable(GL_MULTISAMPLE);
      glEnableClientState(GL_COLOR_ARRAY);
    }
    for (const auto& [name, draw] : drawings) {
      SCOPED_TRACE(std::string(name) + (changed ? ", from a changed state" : ""));
      const std::string before = state();
      draw();
      EXPECT_EQ(state(), before);
    }
  }
  glDisable(GL_BLEND), glDisable(GL_DEPTH_TEST), glDisable(GL_LINE_SMOOTH), glEnable(GL_MULTISAMPLE);
  glDisableClientState(GL_COLOR_ARRAY);
}

// The read-back gives the rectangle asked for, rows from the top, as the driver holds it: the
// pixels a plain read of the back buffer finds there, into rows and into a window's bitmap.
TEST_F(RenderGLTest, ReadBackGivesTheRectangleRowsFromTheTop) {
  const TSVGScene scene = Page({Polygon({{5, 45}, {60, 45}, {60, 85}, {5, 85}}, kRed, kNoPaint),
                                Line({10, 90}, {95, 60}, 3), Text("NNN", {40, 70}, 10, "start")});
  Draw(scene);
  const std::vector<unsigned char> whole = BackBuffer();  // RGBA, rows from the bottom
  const TBufferRect rect{30, 28, 200, 150};
  auto expected = [&](int x, int y) {  // the rectangle's pixel x, y (from its top) as 0xRRGGBB
    const unsigned char* p = &whole[4 * (static_cast<size_t>(rect.Y + rect.Height - 1 - y) * kWidth + rect.X + x)];
    return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  };
  std::vector<uint32_t> rows(static_cast<size_t>(rect.Width) * rect.Height);
  std::string error;
  ASSERT_TRUE(DrawAndReadBack([&] { Draw(scene); }, rect, rows.data(), error)) << error;
  const TImage picture = TakeImage(window_.GL().DrawAndReadBack(rect, [&] { Draw(scene); }).release());
  ASSERT_EQ(picture.Width, rect.Width);
  ASSERT_EQ(picture.Height, rect.Height);
  size_t differing = 0, reddish = 0;
  for (int y = 0; y < rect.Height; ++y)
    for (int x = 0; x < rect.Width; ++x) {
      const uint32_t want = expected(x, y);
      differing += (rows[static_cast<size_t>(y) * rect.Width + x] & 0xFFFFFF) != want;
      differing += picture.At(x, y) != want;
      reddish += IsReddish(want);
    }
  EXPECT_EQ(differing, 0u);
  EXPECT_GT(reddish, 1000u) << "the rectangle holds part of the drawing";
  EXPECT_FALSE(window_.GL().DrawAndReadBack({0, 0, 0, 10}, [] {})) << "an empty rectangle is no picture";
}
