// Copying the viewer's current view to the clipboard: its picture and the record as text.
#include "viewer/uClipboard.h"

#include <algorithm>
#include <cstring>

#include "convert/uConverter.h"
#include "formats/uMolFormat.h"
#include "formats/uMolSurvey.h"
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

// The converter's arguments for the SMILES of a record: one line per molecule, without its
// name (a drawing program reads the bare SMILES). The name after "-O " becomes a temporary file.
constexpr char kSmilesArguments[] = "-osmi -xn -O tempfile.smi";
// The most text a copy puts on the clipboard: a larger record is copied as its picture only.
constexpr uint64_t kCopyTextMaxBytes = uint64_t{8} << 20;
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
  if (!state.Shown.Ready || state.Loading) return nullptr;
  if (state.Mode == TViewMode::k3D) return RenderViewToBitmap(state.Wnd);
  return RenderSceneBitmap(state.Shown.Scene, state.View.ShowHeadings);
}

// The converter's SMILES of a record's text, within the host's limits; false (and nothing added)
// when it cannot be had in time.
bool ConvertToSmiles(const std::string& recordText, TRecordRule rule, std::string& smiles, std::string& error) {
  TPelorinConfig config = ConfigSnapshot();
  const TConversionLimits limits = HostThreadLimits(config);
  config.CmdLine2D = kSmilesArguments;
  config.OBabelOpts.clear();  // the user's further options are meant for the drawings
  const std::string input = MakeRecordTempName(std::string(RecordInputExtension(rule)));
  TFileRemover inputFile(input);
  if (!WriteRecordTemp(input, recordText, error)) return false;
  std::string outputPath;
  if (!RunOBabelMode(config, input, TViewMode::k2D, outputPath, error, limits)) return false;
  TFileRemover output(outputPath);
  auto bytes = ReadWholeFile(outputPath);
  if (!bytes) {
    error = "the generated SMILES cannot be read";
    return false;
  }
  smiles = NormalizeLineBreaks(*bytes);
  return true;
}

// The whole file's text, when it is not larger than the copy takes; kTooLarge otherwise.
TRecordRead WholeFileText(const std::string& fileName, std::string& text, std::string& message) {
  const std::optional<uint64_t> size = FileSizeOf(fileName);
  if (size && *size > kCopyTextMaxBytes) return TRecordRead::kTooLarge;
  auto bytes = ReadWholeFile(fileName);
  if (!bytes) {
    message = "Could not read " + fileName;
    return TRecordRead::kFailed;
  }
  text = NormalizeLineBreaks(*bytes);
  return TRecordRead::kRead;
}

// The record's own text from the file: through the window's record index, through a pass over the
// file's head when the window has none for a format with records, or the whole file (MOL).
TRecordRead OwnRecordText(const TPelorinState& state, std::string& text, std::string& message) {
  TRecordReadLimits limits;
  limits.MaxBytes = kCopyTextMaxBytes;
  if (state.Records) {
    bool wholeFile = false;
    const TRecordRead read = ReadRecordOf(state.Records.get(), state.ShownRecord, limits, text, wholeFile, message);
    return read == TRecordRead::kRead && wholeFile ? WholeFileText(state.FileName, text, message) : read;
  }
  if (const std::optional<TRecordRule> rule = RecordRuleOf(MolFormatFromFileName(state.FileName))) {
    const size_t index = static_cast<size_t>(std::max(state.ShownRecord, 0));
    return ReadFileRecord(state.FileName, *rule, index, kCopyTextMaxBytes + kReadChunkSize, limits, text, message);
  }
  return WholeFileText(state.FileName, text, message);
}

bool PutOnClipboard(HWND owner, TGlobalMemory& dib, TGlobalMemory& ansi, TGlobalMemory& wide, std::string& message) {
  TOpenClipboard clipboard(owner);
  if (!clipboard) {
    message = "Could not open the clipboard.";
    return false;
  }
  EmptyClipboard();
  for (auto [format, memory] : {std::pair{CF_DIB, &dib}, std::pair{CF_TEXT, &ansi}, std::pair{CF_UNICODETEXT, &wide}}) {
    if (!*memory) continue;  // no text: the picture alone
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
    TGlobalMemory dib = PackedDIB(picture.get()), ansi, wide;
    if (!text.empty()) {
      ansi = GlobalText(text);
      wide = GlobalText(AnsiToWide(text));
    }
    if (!dib || (!text.empty() && (!ansi || !wide)))
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
  text.clear();
  message.clear();
  switch (OwnRecordText(state, text, message)) {
    case TRecordRead::kRead:
      break;
    case TRecordRead::kTooLarge:
      text.clear();
      DebugLogFmt("CopyToClipboard: the record is larger than %llu MB: only the picture is copied",
                  static_cast<unsigned long long>(kCopyTextMaxBytes >> 20));
      return true;
    case TRecordRead::kCancelled:
    case TRecordRead::kFailed:
      return false;
  }
  const TMolFormat format = MolFormatFromFileName(state.FileName);
  const std::optional<TRecordRule> rule = RecordRuleOf(format);
  if (HoldsMolfileOrSmilesText(format) || !rule) return true;
  // The converter's SMILES of a small molecule follows the record's text, if it comes in time.
  const std::optional<TRecordSurvey> survey = SurveyRecord(text, format, 0);
  const int32_t limit = ConfigSnapshot().MaxThumbnail2DAtoms;
  if (!survey || survey->AtomCount > limit) {
    DebugLogFmt("CopyToClipboard: no SMILES added: the record has %lld atoms, more than MaxThumbnail2DAtoms (%d)",
                static_cast<long long>(survey ? survey->AtomCount : -1), static_cast<int>(limit));
    return true;
  }
  std::string smiles, error;
  if (ConvertToSmiles(text, *rule, smiles, error))
    text += smiles;
  else
    DebugLog("CopyToClipboard: no SMILES added: " + error);
  return true;
}

bool CopyView(TPelorinState* state) {
  const THeldState held(state);  // the clipboard's owner may be asked to render meanwhile
  if (!state) return false;
  return RunGuarded("CopyToClipboard", false, [state] { return CopyViewUnguarded(state); });
}

}  // namespace pelorin
