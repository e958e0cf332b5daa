// Cost of a drawing with very many distinct texts: 20,000 short labels drawn into a hidden
// window's OpenGL context through the text cache, first frame and a later frame (and a drawing
// of 200 labels for scale), with the texture memory kept. Windows only (runs under Wine).
//   bench_text_cache [--texts N] [--budget-mb M] [--font-size S]   (S 12: every label at 1024 pixels)
// clang-format off
#include <windows.h>
#include <psapi.h>
#include <GL/gl.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "render/uGLContext.h"
#include "render/uGLFont.h"
#include "render/uGLResources.h"
#include "render/uOpenGL.h"
#include "render/uRender2D.h"
#include "support/uWglObjects.h"
#include "support/uWinHandle.h"

using namespace pelorin;

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kSmallScene = 200;

// A hidden window with its own OpenGL drawing state, its context current while the object lives.
class THiddenGLWindow {
 public:
  THiddenGLWindow() {
    WNDCLASSA wc{};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PelorinTextCacheBench";
    RegisterClassA(&wc);
    window_ = TOwnedWindow(CreateWindowExA(0, wc.lpszClassName, "bench", WS_OVERLAPPEDWINDOW, 0, 0, kWidth, kHeight,
                                           nullptr, nullptr, wc.hInstance, nullptr));
    if (window_) gl_ = TWindowGL::Create(window_.get());
    if (gl_) current_.emplace(gl_->DC(), gl_->Context());
  }
  bool Ready() const { return current_ && *current_; }

 private:
  TOwnedWindow window_;
  std::unique_ptr<TWindowGL> gl_;
  std::optional<TCurrentContext> current_;
};

// `count` distinct atom labels ("C1", "N2", ...) on a square grid, 1.5 units apart, as a
// converter draws the atoms of a large molecule.
TSVGScene LabelScene(int count, float fontSize) {
  static const char* const kElements[] = {"C", "N", "O", "S", "P", "H"};
  TSVGScene scene;
  const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
  scene.Width = scene.Height = side * 1.5f;
  for (int i = 0; i < count; ++i) {
    TGeoElement e = MakeElement(gkText, {0, 0, 0, 0}, {0, 0, 0, 0}, 0, false);
    e.Points = {{(i % side) * 1.5f + 0.5f, (i / side) * 1.5f + 1.0f}};
    e.Text = std::string(kElements[i % 6]) + std::to_string(i + 1);
    e.FontSize = fontSize;
    e.TextAnchor = "start";
    e.TextColor = {0, 0, 0, 1};
    AddElement(scene, std::move(e));
  }
  return scene;
}

double FrameMilliseconds(const TSVGScene& scene, TGLFontCache& cache) {
  const auto start = std::chrono::steady_clock::now();
  TView2D view;
  SetupProjection2D(kWidth, kHeight, scene, view);
  RenderScene2D(scene, view, cache);
  glFinish();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double WorkingSetMB(bool peak) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize) / (1 << 20);
}

struct TSceneTimes {
  double FirstMs = 0;
  double LaterMs = 0;
  double TextureMB = 0;
  int32_t Textures = 0;
};

TSceneTimes Measure(int texts, int64_t budgetBytes, float fontSize) {
  const TSVGScene scene = LabelScene(texts, fontSize);
  TGLResources resources(budgetBytes);  // the text cache of a context of its own, as a window's
  TGLFontCache& cache = resources.Text();
  TSceneTimes t;
  t.FirstMs = FrameMilliseconds(scene, cache);
  t.LaterMs = FrameMilliseconds(scene, cache);
  const TFontCacheStats stats = cache.Stats();
  t.TextureMB = static_cast<double>(stats.TextureBytes) / (1 << 20);
  t.Textures = stats.Textures;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  int texts = 20000;
  int64_t budgetBytes = TGLFontCache::kDefaultBudgetBytes;
  float fontSize = 1;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--texts") == 0)
      texts = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--budget-mb") == 0)
      budgetBytes = int64_t{std::max(1, std::atoi(argv[++i]))} << 20;
    else if (std::strcmp(argv[i], "--font-size") == 0)
      fontSize = std::clamp(static_cast<float>(std::atof(argv[++i])), 0.1f, 100.0f);
  }
  std::string error;
  if (!LoadOpenGL(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  int status = 1;
  {
    THiddenGLWindow window;
    if (window.Ready()) {
      const TSceneTimes small = Measure(kSmallScene, budgetBytes, fontSize);
      const TSceneTimes large = Measure(texts, budgetBytes, fontSize);
      std::printf("%d texts: first frame %.0f ms, later frame %.1f ms, %d textures, %.1f MB of texels\n", kSmallScene,
                  small.FirstMs, small.LaterMs, small.Textures, small.TextureMB);
      std::printf("%d texts: first frame %.0f ms, later frame %.1f ms, %d textures, %.1f MB of texels\n", texts,
                  large.FirstMs, large.LaterMs, large.Textures, large.TextureMB);
      std::printf("working set: peak %.0f MB, now %.0f MB\n", WorkingSetMB(true), WorkingSetMB(false));
      // A later frame against the first: near 0 when the cache keeps what the frame needs, near 1
      // when the texts need more than the budget and are made again on every frame.
      std::printf("FIGURE text_cache_20k: %.3g ms (%.2f x baseline)\n", large.LaterMs,
                  large.FirstMs > 0 ? large.LaterMs / large.FirstMs : 0.0);
      status = 0;
    } else {
      std::fprintf(stderr, "no OpenGL context for a hidden window\n");
    }
  }
  UnloadOpenGL();
  return status;
}
