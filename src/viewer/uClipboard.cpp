// Copying the viewer's current view to the clipboard: its picture and the record as text.
#include "viewer/uClipboard.h"

#include <cstring>

#include "convert/uConverter.h"
#include "formats/uMolFormat.h"
#include "support/uDebugLog.h"
#include "support/uFileIO.h"
#include "support/uGdiObjects.h"
#include "support/uGuard.h"
#include "support/uText.h"
#include "support/uWinHandle.h"
#include "viewer/uExportBitmap.h"
#include "viewer/uRecordFiles.h"
#include "viewer/uViewerLogic.h"

namespace pelorin {
namespace {

// The converter's arguments for the SMILES of a file: one line per molecule, without its
// name (a drawing program reads the bare SMILES). The name after "-O " becomes a temporary file.
constexpr char kSmilesArguments[] = "-osmi -xn -O tempfile.smi";
// Another program may hold the clipboard for a moment.
constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryMs = 20;

// The clipboard, open for the lifetime of the object.
class TOpenClipboard {
 public:
  explicit TOpenClipboard(HWND owner) {
    for (int attempt = 0; attempt < kOpenAttempts && !open_; ++attempt) {
      if (attempt) Sleep(kOpenRetryMs);
      open_ = OpenClipboard(owner) != 0;
    }
  }
  TOpenClipboard(const TOpenClipboard&) = delete;
  TOpenClipboard& operator=(const TOpenClipboard&) = delete;
  ~TOpenClipboard() {
    if (open_) CloseClipboard();
  }
  explicit operator bool() const { return open_; }

 private:
  bool open_ = false;
};

// A locked global memory block; unlocked with the object.
class TGlobalLock {
 public:
  explicit TGlobalLock(HGLOBAL memory) : memory_(memory), data_(memory ? GlobalLock(memory) : nullptr) {}
  TGlobalLock(const TGlobalLock&) = delete;
  TGlobalLock& operator=(const TGlobalLock&) = delete;
  ~TGlobalLock() {
    if (data_) GlobalUnlock(memory_);
  }
  BYTE* data() const { return static_cast<BYTE*>(data_); }

 private:
  HGLOBAL memory_;
  void* data_;
};

// `size` bytes of movable global memory holding `data` (and zeros after it).
TGlobalMemory GlobalCopy(const void* data, size_t dataSize, size_t size) {
  TGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
  TGlobalLock lock(memory.get());
  if (!lock.data()) return TGlobalMemory();
  std::memcpy(lock.data(), data, dataSize);
  return memory;
}

TGlobalMemory GlobalText(const std::string& text) {
  return GlobalCopy(text.data(), text.size(), text.size() + 1);
}

TGlobalMemory GlobalText(const std::wstring& text) {
  return GlobalCopy(text.data(), text.size() * sizeof(wchar_t), (text.size() + 1) * sizeof(wchar_t));
}

// The bitmap as a packed DIB: header and bottom-up 24-bit rows, which every program reads
// (a 32-bit one would leave the alpha byte open to interpretation).
TGlobalMemory PackedDIB(HBITMAP bitmap) {
  BITMAP shape{};
  if (!GetObjectA(bitmap, sizeof shape, &shape) || shape.bmWidth <= 0 || shape.bmHeight <= 0) return TGlobalMemory();
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = shape.bmWidth;
  info.bmiHeader.biHeight = shape.bmHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const size_t stride = (static_cast<size_t>(shape.bmWidth) * 3 + 3) & ~static_cast<size_t>(3);
  const size_t pixelBytes = stride * static_cast<size_t>(shape.bmHeight);
  info.bmiHeader.biSizeImage = static_cast<DWORD>(pixelBytes);
  TGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + pixelBytes));
  {
    TGlobalLock lock(memory.get());
    if (!lock.data()) return TGlobalMemory();
    TScreenDC screen;
    if (GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(shape.bmHeight), lock.data() + sizeof(BITMAPINFOHEADER),
                  &info, DIB_RGB_COLORS) != shape.bmHeight)
      return TGlobalMemory();
    std::memcpy(lock.data(), &info.bmiHeader, sizeof(BITMAPINFOHEADER));
  }
  return memory;
}

// What the PNG export draws: the 2D drawing at export scale from the window's scene, or the
// 3D picture read back from the window.
HBITMAP ViewPicture(const TPelorinState& state) {
  if (!state.SceneReady || state.Loading) return nullptr;
  if (state.Mode == TViewMode::k3D) return RenderViewToBitmap(state.Wnd);
  return RenderSceneBitmap(state.Scene, state.View.ShowHeadings);
}

bool ConvertToSmiles(const std::string& input, std::string& smiles, std::string& message) {
  TPelorinConfig config = ConfigSnapshot();
  config.CmdLine2D = kSmilesArguments;
  config.OBabelOpts.clear();  // the user's further options are meant for the drawings
  std::string outputPath, error;
  if (!RunOBabelMode(config, input, TViewMode::k2D, outputPath, error)) {
    message = "Could not generate SMILES: " + error;
    return false;
  }
  TFileRemover output(outputPath);
  auto bytes = ReadWholeFile(outputPath);
  if (!bytes) {
    message = "Could not read the generated SMILES.";
    return false;
  }
  smiles = NormalizeLineBreaks(*bytes);
  return true;
}

bool PutOnClipboard(HWND owner, TGlobalMemory& dib, TGlobalMemory& ansi, TGlobalMemory& wide, std::string& message) {
  TOpenClipboard clipboard(owner);
  if (!clipboard) {
    message = "Could not open the clipboard.";
    return false;
  }
  EmptyClipboard();
  for (auto [format, memory] : {std::pair{CF_DIB, &dib}, std::pair{CF_TEXT, &ansi}, std::pair{CF_UNICODETEXT, &wide}}) {
    if (!SetClipboardData(format, memory->get())) {
      message = "Could not put the view on the clipboard.";
      return false;
    }
    memory->release();  // the clipboard owns it now
  }
  return true;
}

bool CopyViewUnguarded(TPelorinState* state) {
  HWND wnd = state->Wnd;
  std::string message, text;
  TGdiObject<HBITMAP> picture(ViewPicture(*state));
  bool copied = false;
  if (!picture) {
    message = "Could not render the view for the clipboard.";
  } else if (RecordTextForCopy(*state, text, message)) {
    TGlobalMemory dib = PackedDIB(picture.get()), ansi = GlobalText(text), wide = GlobalText(AnsiToWide(text));
    if (!dib || !ansi || !wide)
      message = "Not enough memory for the clipboard.";
    else
      copied = PutOnClipboard(wnd, dib, ansi, wide, message);
  }
  if (!copied) {
    // Shown after the clipboard is closed again, so other programs are not kept from it.
    DebugLog("CopyToClipboard ERROR: " + message);
    MessageBoxA(wnd, message.c_str(), "Pelorin", MB_OK | MB_ICONERROR);
    return false;
  }
  BITMAP shape{};
  GetObjectA(picture.get(), sizeof shape, &shape);
  DebugLogFmt("CopyToClipboard: picture %dx%d, %zu characters of text", static_cast<int>(shape.bmWidth),
              static_cast<int>(shape.bmHeight), text.size());
  return true;
}

}  // namespace

bool RecordTextForCopy(const TPelorinState& state, std::string& text, std::string& message) {
  bool wholeFile = false;
  if (!ReadRecordOf(state.Records.get(), state.MolIndex, text, wholeFile, message)) return false;
  if (!wholeFile) return true;
  if (!HoldsMolfileText(MolFormatFromFileName(state.FileName))) return ConvertToSmiles(state.FileName, text, message);
  auto bytes = ReadWholeFile(state.FileName);
  if (!bytes) {
    message = "Could not read " + state.FileName;
    return false;
  }
  text = NormalizeLineBreaks(*bytes);
  return true;
}

bool CopyView(TPelorinState* state) {
  if (!state) return false;
  return RunGuarded("CopyToClipboard", false, [state] { return CopyViewUnguarded(state); });
}

}  // namespace pelorin
