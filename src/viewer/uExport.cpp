// The PNG and SVG export commands of the viewer window.
#include "viewer/uExport.h"

#include <commdlg.h>
// clang-format off
#include <objidl.h>  // declares PROPID, which gdiplus.h needs
#include <gdiplus.h>
// clang-format on

#include <exception>

#include "convert/uConverter.h"
#include "support/uDebugLog.h"
#include "support/uFileIO.h"
#include "support/uGdiObjects.h"
#include "support/uGuard.h"
#include "support/uText.h"
#include "svg/uSVGParser.h"
#include "viewer/uExportBitmap.h"
#include "viewer/uRecordFiles.h"
#include "viewer/uViewerLogic.h"

namespace pelorin {
namespace {

constexpr char kCaption[] = "Pelorin";
constexpr size_t kFileNameBufferSize = 1024;

// {557CF406-1A04-11D3-9A73-0000F81EF32E}
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

struct TSaveDialogTexts {
  const char* Title;
  const char* Filter;  // pairs of description and pattern, ending in an empty string
  const char* DefaultExtension;
};

const TSaveDialogTexts kPngDialog = {"Export current view as PNG (300 DPI)",
                                     "PNG files (*.png)\0*.png\0All files (*.*)\0*.*\0", "png"};
const TSaveDialogTexts kSvgDialog = {"Export current view as SVG", "SVG files (*.svg)\0*.svg\0All files (*.*)\0*.*\0",
                                     "svg"};

// GDI+ started for the lifetime of the object.
class TGdiplusSession {
 public:
  TGdiplusSession() {
    Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  TGdiplusSession(const TGdiplusSession&) = delete;
  TGdiplusSession& operator=(const TGdiplusSession&) = delete;
  ~TGdiplusSession() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  explicit operator bool() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

// A GDI+ bitmap made from a GDI bitmap, disposed of with the object.
class TGdiplusBitmap {
 public:
  explicit TGdiplusBitmap(HBITMAP bitmap) {
    if (Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image_) != Gdiplus::Ok) image_ = nullptr;
  }
  TGdiplusBitmap(const TGdiplusBitmap&) = delete;
  TGdiplusBitmap& operator=(const TGdiplusBitmap&) = delete;
  ~TGdiplusBitmap() {
    if (image_) Gdiplus::DllExports::GdipDisposeImage(image_);
  }
  Gdiplus::GpBitmap* get() const { return image_; }

 private:
  Gdiplus::GpBitmap* image_ = nullptr;
};

void ShowError(HWND owner, const std::string& text) {
  MessageBoxA(owner, text.c_str(), kCaption, MB_OK | MB_ICONERROR);
}

// The standard save dialog; false when the user cancels it.
bool AskSaveFileName(HWND owner, const std::string& proposed, const TSaveDialogTexts& texts, std::string& chosen) {
  char buffer[kFileNameBufferSize] = {};
  proposed.copy(buffer, kFileNameBufferSize - 1);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = texts.Filter;
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = kFileNameBufferSize;
  ofn.lpstrTitle = texts.Title;
  ofn.lpstrDefExt = texts.DefaultExtension;
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameA(&ofn)) return false;
  chosen = buffer;
  return !chosen.empty();
}

// The on-screen 3D picture without the navigation bar, read back from the window's own
// OpenGL context (a block copy of an OpenGL window gives black on many drivers).
TGdiObject<HBITMAP> Capture3D(HWND wnd) {
  RECT client{};
  if (!GetClientRect(wnd, &client)) return {};
  if (client.right - client.left <= 0 || client.bottom - client.top - kNavBarHeight <= 0) return {};
  return TGdiObject<HBITMAP>(RenderViewToBitmap(wnd));
}

// The current record's drawing at export scale: the one the window shows, or one converted now
// within the host's limits (ConvertRecord2D); false with the message to show when the drawing
// cannot be made.
bool Render2D(const TPelorinState& state, TGdiObject<HBITMAP>& bitmap, std::string& message) {
  if (state.Shown.Ready && !state.Loading) {
    bitmap.reset(RenderSceneBitmap(state.Shown.Scene, state.View.ShowHeadings));
    return true;
  }
  std::string svgText, error;
  if (!ConvertRecord2D(&state, svgText, error)) {
    message = "Could not generate 2D source: " + error;
    return false;
  }
  TSVGScene scene;
  if (!ParseSVG(svgText, scene)) {
    message = "Could not parse generated SVG.";
    return false;
  }
  bitmap.reset(RenderSceneBitmap(scene, state.View.ShowHeadings));
  return true;
}

void ExportPNGUnguarded(TPelorinState* state) {
  HWND wnd = state->Wnd;
  std::string path;
  if (!AskSaveFileName(wnd, DefaultExportName(state) + ".png", kPngDialog, path)) return;
  if (!state->Open()) return;  // closed in the dialog's message loop
  TGdiObject<HBITMAP> bitmap;
  if (state->Mode == TViewMode::k3D) {
    bitmap = Capture3D(wnd);
  } else {
    std::string message;
    if (!Render2D(*state, bitmap, message)) {
      DebugLog("ExportPNG ERROR: " + message);
      ShowError(wnd, message);
      return;
    }
  }
  if (!bitmap) {
    DebugLog("ExportPNG ERROR: no bitmap");
    ShowError(wnd, "Could not render export bitmap.");
    return;
  }
  if (!SavePNG(path, bitmap.get())) {
    DebugLogFmt("ExportPNG ERROR: cannot save [%s]", path.c_str());
    ShowError(wnd, "Could not save PNG file.");
    return;
  }
  DebugLogFmt("ExportPNG: saved [%s]", path.c_str());
}

void ExportSVGUnguarded(TPelorinState* state) {
  HWND wnd = state->Wnd;
  std::string svgText, error;
  if (!ConvertRecord2D(state, svgText, error)) {
    DebugLog("ExportSVG ERROR: " + error);
    ShowError(wnd, "Could not generate SVG: " + error);
    return;
  }
  svgText = ExportSVGText(svgText, state->View.ShowHeadings);
  std::string path;
  if (!AskSaveFileName(wnd, DefaultExportName(state) + ".svg", kSvgDialog, path)) return;
  if (!state->Open()) return;  // closed while the dialog was open: the export ends with the window
  if (!SaveTextFile(path, svgText)) {
    DebugLogFmt("ExportSVG ERROR: cannot save [%s]", path.c_str());
    ShowError(wnd, "Could not save SVG file.");
    return;
  }
  DebugLogFmt("ExportSVG: saved [%s]", path.c_str());
}

}  // namespace

// Both hold the state across their dialogs, in which the window may be closed.
void ExportPNG(TPelorinState* state) {
  const THeldState held(state);
  if (state) TryGuarded("ExportPNG", [state] { ExportPNGUnguarded(state); });
}

void ExportSVG(TPelorinState* state) {
  const THeldState held(state);
  if (state) TryGuarded("ExportSVG", [state] { ExportSVGUnguarded(state); });
}

bool SavePNG(const std::string& fileName, HBITMAP bitmap) {
  if (!bitmap) return false;
  TGdiplusSession gdiplus;
  if (!gdiplus) return false;
  TGdiplusBitmap image(bitmap);
  if (!image.get()) return false;
  // The resolution is the point of this export: a file without it counts as a failure.
  if (Gdiplus::DllExports::GdipBitmapSetResolution(image.get(), 300.0f, 300.0f) != Gdiplus::Ok) return false;
  std::wstring wideName = AnsiToWide(fileName);
  return Gdiplus::DllExports::GdipSaveImageToFile(image.get(), wideName.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
}

bool SaveTextFile(const std::string& fileName, const std::string& text) {
  std::string error;
  return WriteWholeFile(fileName, text, error);
}

std::string DefaultExportName(const TPelorinState* state) {
  if (!state) return DefaultExportNameFor(std::string(), 0, 0);
  return DefaultExportNameFor(state->FileName, static_cast<size_t>(state->RecordCount), state->ShownRecord);
}

}  // namespace pelorin
