// The host's print command: the plugin's print dialog, then one page drawn with GDI.
#include "viewer/uPrint.h"

#include <commdlg.h>
#include <winspool.h>

#include <algorithm>
#include <vector>

#include "render/uRasterPlacement.h"
#include "render/uSceneRaster.h"
#include "support/uDebugLog.h"
#include "support/uGdiObjects.h"
#include "viewer/uViewerLogic.h"
#include "viewer/uWin32Window.h"

namespace pelorin {
namespace {

constexpr LONG kDefaultMargin = 150;  // 1/10 mm

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
  if (state.MolCount > 1 || !state.MolCountFinal) {
    const std::string word = state.Records ? RecordWordOf(state.Records->Rule()) : "Molecule";
    caption += "  |  " + word + " " + std::to_string(state.MolIndex + 1) + "/" + std::to_string(state.MolCount);
  }
  if (!state.Data.Title.empty()) caption += "  |  " + state.Data.Title;
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

void Draw3D(HDC dc, HWND wnd, const RECT& area) {
  TGdiObject<HBITMAP> picture(RenderViewToBitmap(wnd));
  BITMAP info{};
  if (!picture || !GetObject(picture.get(), sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return;
  const int w = area.right - area.left, h = area.bottom - area.top;
  const double scale = std::min(static_cast<double>(w) / info.bmWidth, static_cast<double>(h) / info.bmHeight);
  const int outW = static_cast<int>(info.bmWidth * scale), outH = static_cast<int>(info.bmHeight * scale);
  BITMAPINFO header{};
  header.bmiHeader = {sizeof(BITMAPINFOHEADER), info.bmWidth, -info.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
  {
    TMemoryDC mem;
    if (!GetDIBits(mem.get(), picture.get(), 0, info.bmHeight, pixels.data(), &header, DIB_RGB_COLORS)) return;
  }
  SetStretchBltMode(dc, HALFTONE);
  StretchDIBits(dc, area.left + (w - outW) / 2, area.top, outW, outH, 0, 0, info.bmWidth, info.bmHeight, pixels.data(),
                &header, DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace

bool PrintView(HWND wnd, const std::string& fileName, const RECT* margins) {
  TPelorinState* state = ViewerStateOf(wnd);
  if (!state) return false;
  if (state->Loading || !state->SceneReady) {
    ShowPrintError(wnd, "Nothing to print yet: the molecule is still loading.");
    return false;
  }
  if (!AnyPrinterInstalled()) {
    ShowPrintError(wnd, "No printer is installed.");
    return false;
  }
  HDC printer = ChoosePrinter(wnd);
  state = StateOf(wnd);
  if (!printer || !state) {
    if (printer) DeleteDC(printer);
    return false;
  }
  const std::string caption = CaptionOf(*state, fileName);
  DOCINFOA doc{};
  doc.cbSize = sizeof doc;
  const std::string docName = "Pelorin - " + BaseName(state->FileName);
  doc.lpszDocName = docName.c_str();
  bool printed = false;
  if (StartDocA(printer, &doc) > 0) {
    if (StartPage(printer) > 0) {
      RECT area = PageArea(printer, margins);
      area.top += DrawCaption(printer, area, caption);
      if (state->Mode == TViewMode::k3D)
        Draw3D(printer, wnd, area);
      else
        Draw2D(printer, state->Scene, area, state->View.ShowHeadings);
      printed = EndPage(printer) > 0;
    }
    printed = EndDoc(printer) > 0 && printed;
  }
  DeleteDC(printer);
  DebugLogFmt("PrintView: %s [%s]", printed ? "printed" : "FAILED", caption.c_str());
  if (!printed) ShowPrintError(wnd, "Could not print.");
  return printed;
}

}  // namespace pelorin
