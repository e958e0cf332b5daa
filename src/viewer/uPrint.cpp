// The host's print command: the plugin's print dialog, then one page drawn with GDI.
#include "viewer/uPrint.h"

#include <commdlg.h>
#include <winspool.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "render/uPictureTiles.h"
#include "render/uRasterPlacement.h"
#include "render/uSceneRaster.h"
#include "support/uDeadline.h"
#include "support/uDebugLog.h"
#include "support/uGdiObjects.h"
#include "viewer/uViewerLogic.h"
#include "viewer/uWin32Window.h"

namespace pelorin {
namespace {

constexpr LONG kDefaultMargin = 150;  // 1/10 mm
// A 3D picture of at most this many pixels a side and in all (A4 or Letter at 600 dpi, the page
// filled in its width) is drawn for a page; the driver's own limit may be lower.
constexpr int kMaxPrintSide = 8192;
constexpr int64_t kMaxPrintPixels = 24'000'000;
// The print command runs on the host's thread: a model that takes longer to draw for the page
// is not printed.
constexpr uint32_t kPrint3DBudgetMs = 60'000;

void ShowPrintError(HWND wnd, const std::string& text) {
  DebugLog("PrintView: " + text);
  MessageBoxA(wnd, text.c_str(), "Pelorin", MB_OK | MB_ICONERROR);
}

bool AnyPrinterInstalled() {
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &count);
  if (needed == 0) return false;
  std::vector<BYTE> buffer(needed);
  return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, buffer.data(), needed, &needed,
                       &count) &&
         count > 0;
}

// The printer's device context from the print dialog; null when cancelled or failed.
HDC ChoosePrinter(HWND wnd) {
  PRINTDLGA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = wnd;
  dialog.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE;
  const BOOL chosen = PrintDlgA(&dialog);
  if (dialog.hDevMode) GlobalFree(dialog.hDevMode);
  if (dialog.hDevNames) GlobalFree(dialog.hDevNames);
  if (chosen) return dialog.hDC;
  if (const DWORD error = CommDlgExtendedError()) {
    char text[96];
    wsprintfA(text, "Could not open the print dialog (error 0x%lX).", error);
    ShowPrintError(wnd, text);
  }
  return nullptr;
}

// The printable rectangle inside the margins (1/10 mm from the paper's edges), in device units.
RECT PageArea(HDC dc, const RECT* margins) {
  const RECT m = margins && (margins->left | margins->top | margins->right | margins->bottom)
                     ? *margins
                     : RECT{kDefaultMargin, kDefaultMargin, kDefaultMargin, kDefaultMargin};
  const int dpiX = GetDeviceCaps(dc, LOGPIXELSX), dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  const int offX = GetDeviceCaps(dc, PHYSICALOFFSETX), offY = GetDeviceCaps(dc, PHYSICALOFFSETY);
  const int paperW = GetDeviceCaps(dc, PHYSICALWIDTH), paperH = GetDeviceCaps(dc, PHYSICALHEIGHT);
  const int width = GetDeviceCaps(dc, HORZRES), height = GetDeviceCaps(dc, VERTRES);
  auto px = [](LONG tenthMm, int dpi) { return static_cast<int>(static_cast<long long>(tenthMm) * dpi / 254); };
  RECT area{px(m.left, dpiX) - offX, px(m.top, dpiY) - offY, (paperW > 0 ? paperW : width) - px(m.right, dpiX) - offX,
            (paperH > 0 ? paperH : height) - px(m.bottom, dpiY) - offY};
  area.left = std::clamp<LONG>(area.left, 0, width);
  area.top = std::clamp<LONG>(area.top, 0, height);
  area.right = std::clamp<LONG>(area.right, area.left, width);
  area.bottom = std::clamp<LONG>(area.bottom, area.top, height);
  return area;
}

std::string BaseName(const std::string& path) {
  return path.substr(path.find_last_of("\\/") + 1);
}

// "file  |  Molecule n/N  |  title": what the page shows above the drawing.
std::string CaptionOf(const TPelorinState& state, const std::string& fileName) {
  std::string caption = BaseName(fileName.empty() ? state.FileName : fileName);
  if (state.RecordCount > 1 || !state.RecordCountFinal) {
    const std::string word = state.Records ? RecordWordOf(state.Records->Rule()) : "Molecule";
    caption += "  |  " + word + " " + std::to_string(state.ShownRecord + 1) + "/" + std::to_string(state.RecordCount);
  }
  if (!state.Shown.Data.Title.empty()) caption += "  |  " + state.Shown.Data.Title;
  return caption;
}

// Draws the caption and returns the height it took.
int DrawCaption(HDC dc, const RECT& area, const std::string& caption) {
  const int height = MulDiv(11, GetDeviceCaps(dc, LOGPIXELSY), 72);
  TGdiObject<HFONT> font(CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                     "Segoe UI"));
  TSelection select(dc, font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  RECT line{area.left, area.top, area.right, area.top + 2 * height};
  DrawTextA(dc, caption.c_str(), -1, &line, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  return 2 * height;
}

void Draw2D(HDC dc, const TSVGScene& scene, const RECT& area, bool showHeadings) {
  const int w = area.right - area.left, h = area.bottom - area.top;
  if (w <= 0 || h <= 0) return;
  TRasterPlacement placement = ThumbnailPlacement(scene, w, h);
  placement.OffsetX += static_cast<float>(area.left);
  placement.OffsetY += static_cast<float>(area.top);
  placement.ShowHeadings = showHeadings;
  DrawSceneElements(dc, scene, placement);
}

// The 3D model drawn for the page at the printer's pixels (within CapPicture's bounds: past them
// the printer scales the picture up), a tile of the window's size at a time, each tile sent to
// the printer as soon as it is read back: the picture's pixels are never held together (the
// sphere renderer's culling and shadow, a few bytes a pixel, are, while it draws). Empty, or
// what went wrong.
std::string Draw3DTiles(HDC dc, HWND wnd, const RECT& area) {
  const TPictureSize placed = FitPicture(ShownPictureSize(wnd), {area.right - area.left, area.bottom - area.top});
  const TPictureSize drawn = CapPicture(placed, std::min(kMaxPrintSide, LargestTiledPictureSide(wnd)), kMaxPrintPixels);
  if (drawn.Width <= 0 || drawn.Height <= 0) return "Could not print: there is no room for the picture.";
  const int left = area.left + (area.right - area.left - placed.Width) / 2;
  if (!(drawn == placed)) {
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
  }
  DebugLogFmt("PrintView: 3D at %dx%d for %dx%d printer pixels", drawn.Width, drawn.Height, placed.Width,
              placed.Height);
  const TDeadline deadline = TDeadline::In(kPrint3DBudgetMs);
  bool late = false;
  const bool done = RenderShown3DTiles(wnd, drawn, [&](const TPictureTile& tile, const uint32_t* pixels) {
    if (deadline.Passed()) return !(late = true);
    const TPictureTile at = PlaceTile(tile, drawn, placed);
    BITMAPINFO header{};
    header.bmiHeader = {sizeof(BITMAPINFOHEADER), tile.Width, -tile.Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    return StretchDIBits(dc, left + at.X, area.top + at.Y, at.Width, at.Height, 0, 0, tile.Width, tile.Height, pixels,
                         &header, DIB_RGB_COLORS, SRCCOPY) != 0;
  });
  if (done) return {};
  if (late)
    return "Could not print: drawing the 3D model for the printer took longer than " +
           std::to_string(kPrint3DBudgetMs / 1000) + " s.";
  return "Could not print: the 3D model could not be drawn at the printer's resolution.";
}

std::string Draw3D(HDC dc, HWND wnd, const RECT& area) {
  try {
    return Draw3DTiles(dc, wnd, area);
  } catch (const std::bad_alloc&) {
    return "Could not print: not enough memory to draw the 3D model at the printer's resolution.";
  }
}

// One print job on a printer's device context: aborted when it goes without being finished, so
// that no part of a page reaches the printer on any path (an exception included).
class TPrintJob {
 public:
  TPrintJob(HDC printer, const std::string& name) : printer_(printer) {
    DOCINFOA doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = name.c_str();
    started_ = StartDocA(printer_, &doc) > 0;
  }
  TPrintJob(const TPrintJob&) = delete;
  TPrintJob& operator=(const TPrintJob&) = delete;
  ~TPrintJob() {
    if (started_) AbortDoc(printer_);
  }
  bool Started() const { return started_; }
  // Ends the job and hands it to the printer; true when it took it.
  bool Finish() {
    started_ = false;
    return EndDoc(printer_) > 0;
  }

 private:
  HDC printer_;
  bool started_ = false;
};

}  // namespace

bool PrintView(HWND wnd, const std::string& fileName, const RECT* margins) {
  const THeldState state(ViewerStateOf(wnd));
  if (!state) return false;
  if (state->Loading || !state->Shown.Ready) {
    ShowPrintError(wnd, "Nothing to print yet: the molecule is still loading.");
    return false;
  }
  if (!AnyPrinterInstalled()) {
    ShowPrintError(wnd, "No printer is installed.");
    return false;
  }
  const TOwnedDC printerDC(ChoosePrinter(wnd));
  if (!printerDC || !state) return false;  // the window may have closed in the dialog's message loop
  const HDC printer = printerDC.get();
  const std::string caption = CaptionOf(*state, fileName);
  bool printed = false;
  std::string failure = "Could not print.";
  TPrintJob job(printer, "Pelorin - " + BaseName(state->FileName));
  if (job.Started()) {
    if (StartPage(printer) > 0) {
      RECT area = PageArea(printer, margins);
      area.top += DrawCaption(printer, area, caption);
      std::string drawFailure;
      if (state->Mode == TViewMode::k3D)
        drawFailure = Draw3D(printer, wnd, area);
      else
        Draw2D(printer, state->Shown.Scene, area, state->View.ShowHeadings);
      if (!drawFailure.empty()) failure = drawFailure;
      printed = drawFailure.empty() && EndPage(printer) > 0;
    }
    // A page that could not be drawn whole goes nowhere: the job is aborted.
    if (printed) printed = job.Finish();
  }
  DebugLogFmt("PrintView: %s [%s]", printed ? "printed" : "FAILED", caption.c_str());
  if (!printed) ShowPrintError(wnd, failure);
  return printed;
}

}  // namespace pelorin
