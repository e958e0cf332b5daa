// The export commands driven as a user would: keys and the context menu open the save
// dialog (filled in by a second thread), the real converter draws, and the files and
// message boxes that result are checked.
// clang-format off
#include <objidl.h>  // before gdiplus.h, which needs PROPID
#include <gdiplus.h>
#include <winspool.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <cstring>
#include <regex>

#include "dialog_driver.h"
#include "lattice_pdb.h"
#include "plugin/uWLXExports.h"
#include "render/uGLContext.h"
#include "render/uRasterPlacement.h"
#include "support/uWinHandle.h"
#include "svg/uSVGParser.h"
#include "test_drawing.h"
#include "viewer/uCommands.h"
#include "viewer/uExport.h"
#include "viewer/uPrint.h"
#include "viewer/uRecordFiles.h"
#include "viewer_test_util.h"

using namespace pelorin;
using namespace pelorin::dialogs;
using namespace pelorin::testpaths;
using namespace pelorin_test;

namespace {

// --- PNG files ---

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

struct TPngInfo {
  bool Valid = false;
  uint32_t Width = 0, Height = 0;
  bool HasPhys = false;
  uint32_t PixelsPerUnitX = 0, PixelsPerUnitY = 0;
  int Unit = -1;
};

TPngInfo ReadPngInfo(const std::string& bytes) {
  TPngInfo info;
  static const char kSignature[] = "\x89PNG\r\n\x1a\n";
  if (bytes.size() < 33 || bytes.compare(0, 8, kSignature, 8) != 0 || bytes.compare(12, 4, "IHDR") != 0) return info;
  info.Valid = true;
  info.Width = BigEndian32(bytes, 16);
  info.Height = BigEndian32(bytes, 20);
  for (size_t at = 8; at + 12 <= bytes.size();) {
    uint32_t length = BigEndian32(bytes, at);
    if (bytes.compare(at + 4, 4, "pHYs") == 0 && length == 9 && at + 17 <= bytes.size()) {
      info.HasPhys = true;
      info.PixelsPerUnitX = BigEndian32(bytes, at + 8);
      info.PixelsPerUnitY = BigEndian32(bytes, at + 12);
      info.Unit = static_cast<unsigned char>(bytes[at + 16]);
    }
    at += 12 + static_cast<size_t>(length);
  }
  return info;
}

// Decoded pixels, through GDI+.
TImage DecodePng(const std::string& path) {
  TImage image;
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return image;
  Gdiplus::GpBitmap* bitmap = nullptr;
  std::wstring wide(path.begin(), path.end());
  if (Gdiplus::DllExports::GdipCreateBitmapFromFile(wide.c_str(), &bitmap) == Gdiplus::Ok) {
    UINT w = 0, h = 0;
    Gdiplus::DllExports::GdipGetImageWidth(bitmap, &w);
    Gdiplus::DllExports::GdipGetImageHeight(bitmap, &h);
    Gdiplus::GpRect rect(0, 0, static_cast<INT>(w), static_cast<INT>(h));
    Gdiplus::BitmapData data{};
    if (Gdiplus::DllExports::GdipBitmapLockBits(bitmap, &rect, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB,
                                                &data) == Gdiplus::Ok) {
      image.Width = static_cast<int>(w);
      image.Height = static_cast<int>(h);
      image.Pixels.resize(static_cast<size_t>(w) * h);
      for (UINT y = 0; y < h; ++y)
        std::memcpy(&image.Pixels[static_cast<size_t>(y) * w], static_cast<const char*>(data.Scan0) + y * data.Stride,
                    w * 4);
      Gdiplus::DllExports::GdipBitmapUnlockBits(bitmap, &data);
    }
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
  }
  Gdiplus::GdiplusShutdown(token);
  return image;
}

// --- The clipboard ---

struct TClipboardSeen {
  TImage Picture;  // from CF_DIB
  std::string Text;
  std::wstring WideText;
};

void EmptyTheClipboard() {
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  CloseClipboard();
}

TClipboardSeen ReadClipboard() {
  TClipboardSeen seen;
  if (!OpenClipboard(nullptr)) return seen;
  if (auto* text = static_cast<const char*>(GlobalLock(GetClipboardData(CF_TEXT)))) {
    seen.Text = text;
    GlobalUnlock(GetClipboardData(CF_TEXT));
  }
  if (auto* text = static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT)))) {
    seen.WideText = text;
    GlobalUnlock(GetClipboardData(CF_UNICODETEXT));
  }
  HGLOBAL dib = GetClipboardData(CF_DIB);
  if (auto* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(dib))) {
    if (header->biBitCount == 24 && header->biCompression == BI_RGB && header->biHeight > 0) {
      TImage& image = seen.Picture;
      image.Width = header->biWidth;
      image.Height = header->biHeight;
      const auto* rows = reinterpret_cast<const uint8_t*>(header) + header->biSize;
      const size_t stride = (static_cast<size_t>(image.Width) * 3 + 3) & ~size_t{3};
      for (int y = image.Height - 1; y >= 0; --y)  // bottom-up rows
        for (int x = 0; x < image.Width; ++x) {
          const uint8_t* p = rows + y * stride + x * 3;
          image.Pixels.push_back((uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0]);
        }
    }
    GlobalUnlock(dib);
  }
  CloseClipboard();
  return seen;
}

// --- A printer whose pages land in a file ---

// A PostScript printer of Wine's own driver at `dpi` on A4 paper whose port is a file, made
// for a test and taken away after it (one of its name that a crashed run left is replaced). It
// is the default printer meanwhile, so the print dialog offers it.
class TFilePrinter {
 public:
  TFilePrinter(const std::string& output, int dpi) {
    Remove();
    wchar_t previous[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (GetDefaultPrinterW(previous, &size)) previousDefault_ = previous;
    wchar_t folder[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof folder, &needed))
      return;
    ppd_ = std::wstring(folder) + L"\\" + kPPDName;
    installedPPD_ = std::wstring(folder) + L"\\3\\" + kPPDName;  // where the driver takes its copy
    WriteFileBytes(std::string(ppd_.begin(), ppd_.end()), PPDText(dpi));
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<wchar_t*>(kDriverName);
    driver.pDriverPath = const_cast<wchar_t*>(L"wineps.drv");
    driver.pConfigFile = const_cast<wchar_t*>(L"wineps.drv");
    driver.pDataFile = const_cast<wchar_t*>(kPPDName);
    if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver))) return;
    std::wstring port(output.begin(), output.end());
    PRINTER_INFO_2W info{};
    info.pPrinterName = const_cast<wchar_t*>(kPrinterName);
    info.pPortName = port.data();
    info.pDriverName = const_cast<wchar_t*>(kDriverName);
    info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
    info.pDatatype = const_cast<wchar_t*>(L"RAW");
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (!printer) return;
    ClosePrinter(printer);
    ready_ = SetDefaultPrinterW(kPrinterName) != 0;
  }
  TFilePrinter(const TFilePrinter&) = delete;
  TFilePrinter& operator=(const TFilePrinter&) = delete;
  ~TFilePrinter() {
    Remove();
    for (const std::wstring& file : {ppd_, installedPPD_})
      if (!file.empty()) DeleteFileW(file.c_str());
    if (!previousDefault_.empty()) SetDefaultPrinterW(previousDefault_.c_str());
  }
  bool Ready() const { return ready_; }

 private:
  static constexpr const wchar_t* kPrinterName = L"Pelorin Test File Printer";
  static constexpr const wchar_t* kDriverName = L"Pelorin Test PostScript";
  static constexpr const wchar_t* kPPDName = L"pelorin-test.ppd";

  static void Remove() {
    HANDLE printer = nullptr;
    if (OpenPrinterW(const_cast<wchar_t*>(kPrinterName), &printer, nullptr)) {
      DeletePrinter(printer);
      ClosePrinter(printer);
    }
    DeletePrinterDriverW(nullptr, nullptr, const_cast<wchar_t*>(kDriverName));
  }
  // A colour PostScript printer with A4 paper and a margin of a quarter inch.
  static std::string PPDText(int dpi) {
    return "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*LanguageVersion: English\n"
           "*LanguageEncoding: ISOLatin1\n*ModelName: \"Pelorin Test\"\n*NickName: \"Pelorin Test\"\n"
           "*PCFileName: \"PELORIN.PPD\"\n*LanguageLevel: \"2\"\n*ColorDevice: True\n*DefaultColorSpace: RGB\n"
           "*DefaultResolution: " +
           std::to_string(dpi) +
           "dpi\n*OpenUI *PageSize: PickOne\n*DefaultPageSize: A4\n"
           "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n*CloseUI: *PageSize\n"
           "*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"18 18 577 824\"\n"
           "*DefaultPaperDimension: A4\n*PaperDimension A4/A4: \"595 842\"\n";
  }

  std::wstring ppd_, installedPPD_, previousDefault_;
  bool ready_ = false;
};

// The bitmaps a PostScript page holds: each one's pixels and the size it is drawn at in the
// driver's device units ("w h scale" before its dictionary).
struct TPostScriptImage {
  int Width = 0, Height = 0, DrawnWidth = 0, DrawnHeight = 0;
};
std::vector<TPostScriptImage> PostScriptImages(const std::string& ps) {
  std::vector<TPostScriptImage> images;
  const std::regex image(R"((\d+) (\d+) scale\s*<<\s*/ImageType 1\s*/Width (\d+)\s*/Height (\d+))");
  for (auto it = std::sregex_iterator(ps.begin(), ps.end(), image); it != std::sregex_iterator(); ++it)
    images.push_back({std::stoi((*it)[3]), std::stoi((*it)[4]), std::stoi((*it)[1]), std::stoi((*it)[2])});
  return images;
}

// --- Fixture ---

class ExportTest : public ViewerTest {
 protected:
  // Runs a command on this thread while `steps` drive its dialogs from another.
  static void RunCommand(TDialogScript& script, const std::function<void()>& command) {
    command();
    PumpUntil([&] { return script.StepsDone(); }, 120);
    script.Finish();
  }
  static void PressKey(HWND wnd, WPARAM key) { SendMessageA(wnd, WM_KEYDOWN, key, 0); }

  // Saves through the dialog the key opens; returns the dialog's title and proposed name.
  struct TDialogSeen {
    std::string Title, Proposed;
  };
  TDialogSeen ExportWith(HWND wnd, WPARAM key, const std::string& path) {
    TDialogSeen seen;
    TDialogScript script(parent_, [&](TDialogScript& s) {
      HWND dialog = WaitForDialog(s.Owner());
      if (!dialog) return s.Notes.push_back("no save dialog");
      seen.Title = TextOf(dialog);
      seen.Proposed = FileNameOf(dialog);
      ChooseFile(dialog, path);
      WaitGone(dialog);
    });
    RunCommand(script, [&] { PressKey(wnd, key); });
    EXPECT_TRUE(script.Notes.empty()) << script.Notes.front();
    EXPECT_TRUE(script.Unexpected.empty()) << script.Unexpected.front();
    return seen;
  }

  TTempDir out_;
};

TEST_F(ExportTest, PngIn2DHas300DpiAndTheSizeOfTheExportPlacement) {
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  std::string svg, error;
  ASSERT_TRUE(ConvertRecord2D(State(wnd), svg, error)) << error;
  TSVGScene scene;
  ASSERT_TRUE(ParseSVG(svg, scene));
  State(wnd)->View.Zoom2D = 3;  // the export is redrawn: zoom and pan do not matter

  uint32_t heights[2] = {};
  for (bool headings : {true, false}) {
    SCOPED_TRACE(headings ? "headings shown" : "headings hidden");
    State(wnd)->View.ShowHeadings = headings;
    std::string path = out_.File(headings ? "with.png" : "without.png");
    TDialogSeen seen = ExportWith(wnd, 'G', path);
    EXPECT_EQ(seen.Title, "Export current view as PNG (300 DPI)");
    EXPECT_EQ(seen.Proposed, "caffeine.png");

    TPngInfo info = ReadPngInfo(ReadFileBytes(path));
    ASSERT_TRUE(info.Valid);
    ASSERT_TRUE(info.HasPhys);
    EXPECT_EQ(info.PixelsPerUnitX, 11811u);  // 300 DPI in pixels per metre
    EXPECT_EQ(info.PixelsPerUnitY, 11811u);
    EXPECT_EQ(info.Unit, 1);
    const TRasterPlacement placement = ExportPlacement(scene, headings);
    EXPECT_EQ(info.Width, static_cast<uint32_t>(placement.Width));
    EXPECT_EQ(info.Height, static_cast<uint32_t>(placement.Height));
    heights[headings ? 0 : 1] = info.Height;

    TImage image = DecodePng(path);
    ASSERT_EQ(image.Width, static_cast<int>(info.Width));
    EXPECT_EQ(image.At(0, 0), 0xFFFFFFu);
    EXPECT_GT(CountPixels(image, IsDark), 300u);
    EXPECT_GT(CountPixels(image, IsReddish), 20u) << "the oxygen labels are red";
  }
  EXPECT_LT(heights[1], heights[0]) << "the title below the molecule is not counted";
  EXPECT_TRUE(State(wnd)->Shown.Ready);
  EXPECT_FLOAT_EQ(State(wnd)->View.Zoom2D, 3);
}

TEST_F(ExportTest, PngIn3DIsTheWindowPictureWithoutTheNavigationBar) {
  UseStartMode(TViewMode::k3D);
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
  std::string path = out_.File("model.png");
  ExportWith(wnd, 'G', path);

  RECT client;
  GetClientRect(wnd, &client);
  TPngInfo info = ReadPngInfo(ReadFileBytes(path));
  ASSERT_TRUE(info.Valid);
  EXPECT_EQ(info.Width, static_cast<uint32_t>(client.right));
  EXPECT_EQ(info.Height, static_cast<uint32_t>(client.bottom - 28));
  EXPECT_EQ(info.PixelsPerUnitX, 11811u);
  TImage image = DecodePng(path);
  ASSERT_EQ(image.Height, client.bottom - 28);
  uint32_t corner = image.At(0, 0);
  EXPECT_TRUE(std::abs(Red(corner) - 33) <= 3 && std::abs(Green(corner) - 36) <= 3 && std::abs(Blue(corner) - 41) <= 3)
      << std::hex << corner << " is not the 3D background";
  const size_t bluish = CountPixels(image, [](uint32_t c) { return Blue(c) > Red(c) + 20 && Blue(c) > 90; });
  EXPECT_GT(bluish, image.Pixels.size() / 50) << "the model's colours are in the picture";
}

// An atom model drawn as exact spheres, and as meshes where the driver offers only OpenGL 1.1:
// the PNG export and the copied picture are the window's picture either way, with the spheres'
// colours and their shadow, and the same as each other.
TEST_F(ExportTest, AtomPicturesExportAndCopyAsSpheresAndAsMeshes) {
  UseStartMode(TViewMode::k3D);
  Configure([](TPelorinConfig& c) { c.Model3D = TModel3D::Atoms; });
  for (const char* version : {"4.5 Mesa", "1.1.0"}) {
    SCOPED_TRACE(version);
    HWND wnd = Open(SamplePath("caffeine.mol"));
    ASSERT_TRUE(WaitLoaded(wnd));
    State(wnd)->GL->Resources().AssumeGLVersion(version);
    SendMessageA(wnd, WM_PELORIN_RELOAD, 0, 0);  // the load makes the model the window draws
    ASSERT_TRUE(WaitLoaded(wnd));
    ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
    EXPECT_EQ(State(wnd)->Shown.Model->FacetCount > 0, version[0] == '1') << "meshes only for OpenGL 1.1";
    const std::string path = out_.File(std::string("atoms-") + version[0] + ".png");
    ExportWith(wnd, 'G', path);
    const TImage image = DecodePng(path);
    ASSERT_GT(image.Width, 0);
    uint32_t corner = image.At(0, 0);
    EXPECT_TRUE(std::abs(Red(corner) - 33) <= 3 && std::abs(Green(corner) - 36) <= 3 &&
                std::abs(Blue(corner) - 41) <= 3)
        << std::hex << corner << " is not the 3D background";
    EXPECT_GT(CountPixels(image, IsReddish), 200u) << "oxygen";
    EXPECT_GT(CountPixels(image, IsNitrogenBlue), 200u) << "nitrogen";
    EXPECT_GT(CountPixels(image, [](uint32_t c) { return Red(c) < 30 && Green(c) < 33 && Blue(c) < 38; }), 500u)
        << "the shadow";
    EmptyTheClipboard();
    EXPECT_EQ(ListSendCommand(wnd, 1, 0), 0);
    const TClipboardSeen seen = ReadClipboard();
    EXPECT_TRUE(seen.Picture == image) << "the copied picture is the exported one";
    DestroyWindow(wnd);
  }
}

TEST_F(ExportTest, SvgIsTheConvertersTextWithTheTitleInItsBandOrWithoutTheTitles) {
  HWND wnd = Open(SamplePath("three.sdf"));
  ASSERT_TRUE(WaitLoaded(wnd));
  PressKey(wnd, VK_RIGHT);  // record 2, aspirin: converted from a temporary record file
  ASSERT_TRUE(WaitLoaded(wnd));
  std::string converted, error;
  ASSERT_TRUE(ConvertRecord2D(State(wnd), converted, error)) << error;
  ASSERT_NE(converted.find(">aspirin<"), std::string::npos);

  TDialogSeen seen = ExportWith(wnd, 'S', out_.File("with.svg"));
  EXPECT_EQ(seen.Title, "Export current view as SVG");
  EXPECT_EQ(seen.Proposed, "three_2.svg");
  const std::string exported = ReadFileBytes(out_.File("with.svg"));
  EXPECT_EQ(exported, ExportSVGText(converted, true)) << "the converter's text, its title below the drawing";
  EXPECT_NE(exported, converted);
  EXPECT_NE(exported.find(">aspirin<"), std::string::npos);

  PressKey(wnd, 'H');
  ExportWith(wnd, 'S', out_.File("without.svg"));
  std::string stripped = ReadFileBytes(out_.File("without.svg"));
  EXPECT_EQ(stripped.find(">aspirin<"), std::string::npos);
  EXPECT_EQ(stripped, StripHeadings(converted, false));
  TSVGScene full, bare;
  ASSERT_TRUE(ParseSVG(converted, full));
  ASSERT_TRUE(ParseSVG(stripped, bare));
  EXPECT_EQ(bare.Count, full.Count - 1) << "only the title is gone";
}

TEST_F(ExportTest, ProposedNamesAndCancellingWritesNothing) {
  std::string mol = ReadFileBytes(SamplePath("caffeine.mol"));
  ASSERT_FALSE(mol.empty());
  std::string library;
  for (int i = 0; i < 10; ++i) library += mol + "$$$$\r\n";
  TTempDir in;
  WriteFileBytes(in.File("lib.sdf"), library);

  struct TCase {
    std::string File;
    int Steps;  // records to step forward
    WPARAM Key;
    const char* Proposed;
  };
  const TCase cases[] = {
      {SamplePath("caffeine.mol"), 0, 'G', "caffeine.png"},
      {in.File("lib.sdf"), 2, 'S', "lib_3.svg"},
      {"", 0, 'G', "pelorin_export.png"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Proposed);
    HWND wnd = Open(c.File);
    ASSERT_TRUE(WaitLoaded(wnd));
    for (int i = 0; i < c.Steps; ++i) {
      PressKey(wnd, VK_RIGHT);
      ASSERT_TRUE(WaitLoaded(wnd));
    }
    std::string proposed;
    TDialogScript script(parent_, [&](TDialogScript& s) {
      HWND dialog = WaitForDialog(s.Owner());
      if (!dialog) return s.Notes.push_back("no save dialog");
      proposed = FileNameOf(dialog);
      Press(dialog, IDCANCEL);
      WaitGone(dialog);
    });
    RunCommand(script, [&] { PressKey(wnd, c.Key); });
    EXPECT_TRUE(script.Notes.empty());
    EXPECT_EQ(proposed, c.Proposed);
    EXPECT_TRUE(script.Unexpected.empty()) << "no message after a cancel: " << script.Unexpected.front();
    EXPECT_TRUE(std::filesystem::is_empty(out_.Path()));
    DestroyWindow(wnd);
  }
}

TEST_F(ExportTest, EveryFailureIsShownInAnErrorBox) {
  TPelorinConfig smilesAsSvg;  // the real converter writing SMILES into the ".svg" output
  smilesAsSvg.CmdLine2D = "-osmi -O tempfile.svg";

  enum TTarget { kNoDialog, kFreshFile, kLockedFile };
  struct TCase {
    const char* Name;
    std::string Converter;
    bool SmilesOutput;
    TViewMode Mode;
    int PaneHeight;  // 0: the test's main window
    WPARAM Key;
    TTarget Target;
    std::string Message;
    bool MessageIsPrefix;
  };
  const TCase cases[] = {
      {"2D source", Exit1StandInExe(), false, TViewMode::k2D, 0, 'G', kFreshFile,
       "Could not generate 2D source: obabel exit code=1", true},
      {"unreadable drawing", BridgeExe(), true, TViewMode::k2D, 0, 'G', kFreshFile, "Could not parse generated SVG.",
       false},
      {"no picture", BridgeExe(), false, TViewMode::k3D, 28, 'G', kFreshFile, "Could not render export bitmap.", false},
      {"PNG not writable", BridgeExe(), false, TViewMode::k2D, 0, 'G', kLockedFile, "Could not save PNG file.", false},
      {"SVG source", Exit1StandInExe(), false, TViewMode::k2D, 0, 'S', kNoDialog,
       "Could not generate SVG: obabel exit code=1", true},
      {"SVG not writable", BridgeExe(), false, TViewMode::k2D, 0, 'S', kLockedFile, "Could not save SVG file.", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    UseStartMode(c.Mode, c.Converter);
    if (c.SmilesOutput) {
      TPelorinConfig config = ConfigSnapshot();
      config.CmdLine2D = smilesAsSvg.CmdLine2D;
      config.OBabelOpts.clear();
      StoreConfig(config);
    }
    HWND pane = c.PaneHeight ? CreatePane(400, c.PaneHeight) : parent_;
    HWND wnd = CreatePelorinWindow(pane, SamplePath("caffeine.mol"));
    ASSERT_TRUE(WaitLoaded(wnd));

    std::string target = out_.File(std::string(c.Name) + (c.Key == 'G' ? ".png" : ".svg"));
    TUniqueHandle lock;
    if (c.Target == kLockedFile) {
      WriteFileBytes(target, "old");
      lock.reset(CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(lock);
    }
    TDialogScript script(parent_, [&](TDialogScript& s) {
      if (c.Target != kNoDialog) {
        HWND dialog = WaitForDialog(s.Owner());
        if (!dialog) return s.Notes.push_back("no save dialog");
        ChooseFile(dialog, target);
        if (c.Target == kLockedFile) {  // confirm replacing the existing file
          HWND prompt = WaitForDialog(dialog, 10);
          if (!prompt) return s.Notes.push_back("no overwrite prompt");
          Press(prompt, IDYES);
        }
        WaitGone(dialog);
      }
      s.TakeMessageBox();
    });
    RunCommand(script, [&] { PressKey(wnd, c.Key); });
    EXPECT_TRUE(script.Notes.empty()) << script.Notes.front();
    EXPECT_TRUE(script.Unexpected.empty()) << script.Unexpected.front();
    ASSERT_EQ(script.Boxes.size(), 1u);
    const TMessageBoxSeen& box = script.Boxes[0];
    EXPECT_EQ(box.Caption, "Pelorin");
    EXPECT_TRUE(box.ErrorIcon);
    if (c.MessageIsPrefix)
      EXPECT_EQ(box.Text.rfind(c.Message, 0), 0u) << box.Text;
    else
      EXPECT_EQ(box.Text, c.Message);
    lock.reset();
    if (c.Target == kLockedFile) {
      EXPECT_EQ(ReadFileBytes(target), "old");
    } else {
      EXPECT_FALSE(std::filesystem::exists(target));
    }
    DestroyWindow(wnd);
    if (pane != parent_) DestroyWindow(pane);
    PumpMessages();
  }
}

// The SVG export of a 3D view converts on the host's thread: within the thumbnail's time limit,
// one attempt, and not at all for a molecule of more atoms than a 2D drawing is made of.
TEST_F(ExportTest, SvgOfAThreeDViewIsBoundedOrNotAvailable) {
  TTempDir dir;
  const std::string protein = dir.File("protein.pdb");
  WriteFileBytes(protein, lattice::LatticePDBText(20000));
  UseStartMode(TViewMode::k3D);
  Configure([](TPelorinConfig& c) { c.Model3D = TModel3D::Atoms; });  // the files' own atoms, no converter
  const struct {
    const char* Name;
    std::string File, Message;
    size_t Runs;  // converter runs of the export
  } cases[] = {
      {"a converter that hangs", SamplePath("ethanol.pdb"),
       "Could not generate SVG: Open Babel did not finish within 0.6 s: ethanol.pdb", 1},  // its one model is all of it
      {"20,000 atoms", protein,
       "Could not generate SVG: SVG is not available for a record of 20000 atoms (MaxThumbnail2DAtoms is 150)", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    HWND wnd = Open(c.File);
    ASSERT_TRUE(WaitLoaded(wnd));
    ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
    Configure([](TPelorinConfig& config) {
      config.OBabelPath = SleepStandInExe();
      config.ThumbnailTimeoutMs = 600;
    });
    const size_t runsBefore = CountOf(Log(), "RunProcessWait: CMD=");
    TDialogScript script(parent_, [](TDialogScript& s) { s.TakeMessageBox(); });
    RunCommand(script, [&] { PressKey(wnd, 'S'); });
    ASSERT_EQ(script.Boxes.size(), 1u);
    EXPECT_EQ(script.Boxes[0].Text.substr(0, c.Message.size()), c.Message);
    EXPECT_EQ(CountOf(Log(), "RunProcessWait: CMD="), runsBefore + c.Runs);
    DestroyWindow(wnd);
    UseStartMode(TViewMode::k3D);
    Configure([](TPelorinConfig& config) { config.Model3D = TModel3D::Atoms; });
  }
}

// The host's print command: without a printer a clear message and nothing else; with one, the
// print dialog (cancelled here: no page goes anywhere).
TEST_F(ExportTest, PrintWithoutAPrinterSaysSoAndWithOneOffersItsDialog) {
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  DWORD needed = 0, printers = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &printers);
  bool printed = true;
  TDialogScript script(parent_, [&](TDialogScript& s) {
    if (needed == 0) {
      s.TakeMessageBox();
      return;
    }
    HWND dialog = WaitForDialog(s.Owner());
    if (dialog) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  RunCommand(script, [&] { printed = PrintView(wnd, "caffeine.mol", nullptr); });
  EXPECT_FALSE(printed);
  if (needed == 0) {
    ASSERT_EQ(script.Boxes.size(), 1u);
    EXPECT_EQ(script.Boxes[0].Text, "No printer is installed.");
    EXPECT_EQ(script.Boxes[0].Caption, "Pelorin");
    EXPECT_NE(Log().find("PrintView: No printer is installed."), std::string::npos);
  }
  EXPECT_TRUE(State(wnd)->Shown.Ready);  // the view is as it was
  DestroyWindow(wnd);
}

// With a printer (Wine's PostScript driver printing into a file at 300 dpi): the 2D drawing
// goes to the page as vectors, no bitmap; the 3D model is drawn again for the page, its tiles
// sent at the printer's own pixels (each bitmap drawn at its own size) and together many times
// the window's picture.
TEST_F(ExportTest, PrintsTheDrawingAsVectorsAndTheModelAtThePrintersResolution) {
  for (TViewMode mode : {TViewMode::k2D, TViewMode::k3D}) {
    SCOPED_TRACE(ViewModeText(mode));
    const std::string output = out_.File(ViewModeText(mode) + ".ps");
    TFilePrinter printer(output, 300);
    ASSERT_TRUE(printer.Ready());
    UseStartMode(mode);
    HWND wnd = Open(SamplePath("caffeine.mol"));
    ASSERT_TRUE(WaitLoaded(wnd));
    ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
    TDialogScript script(parent_, [&](TDialogScript& s) {
      HWND dialog = WaitForDialog(s.Owner());
      if (!dialog) return s.Notes.push_back("no print dialog");
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    bool printed = false;
    RunCommand(script, [&] { printed = PrintView(wnd, "caffeine.mol", nullptr); });
    EXPECT_TRUE(script.Notes.empty()) << script.Notes.front();
    EXPECT_TRUE(script.Boxes.empty()) << script.Boxes.front().Text;
    EXPECT_TRUE(printed);
    const std::string ps = ReadFileBytes(output);
    ASSERT_EQ(ps.compare(0, 4, "%!PS"), 0) << "a PostScript page";
    const std::vector<TPostScriptImage> images = PostScriptImages(ps);
    if (mode == TViewMode::k2D) {
      EXPECT_TRUE(images.empty());
      EXPECT_NE(ps.find("lineto"), std::string::npos) << "bonds as lines";
    } else {
      int64_t pixels = 0;
      for (const TPostScriptImage& image : images) {
        EXPECT_EQ(image.DrawnWidth, image.Width);
        EXPECT_EQ(image.DrawnHeight, image.Height);
        pixels += int64_t{image.Width} * image.Height;
      }
      const TPictureSize shown = ShownPictureSize(wnd);
      EXPECT_GT(pixels, 8 * int64_t{shown.Width} * shown.Height);
      EXPECT_GT(images.size(), 1u) << "a tile at a time";
    }
    DestroyWindow(wnd);
  }
}

TEST_F(ExportTest, ClosingTheViewerDuringADialogEndsTheCommandQuietly) {
  struct TCase {
    const char* Name;
    WPARAM Key;
    std::string Converter;
    bool MessageBox;  // the viewer goes while the error box is open, else while the save dialog is
  };
  const TCase cases[] = {
      {"PNG save dialog", 'G', BridgeExe(), false},
      {"SVG save dialog", 'S', BridgeExe(), false},
      {"error box", 'S', Exit1StandInExe(), true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    UseStartMode(TViewMode::k2D, c.Converter);
    HWND wnd = Open(SamplePath("caffeine.mol"));
    ASSERT_TRUE(WaitLoaded(wnd));
    std::string target = out_.File(std::string(c.Name) + ".out");
    TDialogScript script(parent_, [&](TDialogScript& s) {
      HWND dialog = WaitForDialog(s.Owner());
      if (!dialog) return s.Notes.push_back("no dialog");
      if (!DestroyFromAnotherThread(wnd)) s.Notes.push_back("viewer not destroyed");
      if (c.MessageBox)
        Press(dialog, IDOK);
      else
        ChooseFile(dialog, target);
      WaitGone(dialog);
    });
    RunCommand(script, [&] { PressKey(wnd, c.Key); });
    EXPECT_TRUE(script.Notes.empty()) << script.Notes.front();
    EXPECT_TRUE(script.Unexpected.empty()) << script.Unexpected.front();
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(StateOf(wnd), nullptr);
    EXPECT_FALSE(std::filesystem::exists(target)) << "nothing is exported for a closed viewer";
  }
}

TEST_F(ExportTest, ContextMenuOffersBothExportsAndTheOptionsAtTheCursor) {
  HWND wnd = Open(SamplePath("caffeine.mol"));
  ASSERT_TRUE(WaitLoaded(wnd));
  SetCursorPos(150, 160);
  POINT cursor;
  GetCursorPos(&cursor);

  std::vector<std::pair<UINT, std::string>> items;
  RECT menuRect{};
  std::string saveTitle;
  TDialogScript script(parent_, [&](TDialogScript& s) {
    HWND menuWindow = WaitForOwnedWindow(nullptr, "#32768");
    if (!menuWindow) return s.Notes.push_back("no menu");
    GetWindowRect(menuWindow, &menuRect);
    auto menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[128] = {};
      GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
      items.emplace_back(GetMenuItemID(menu, i), text);
    }
    for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN}) PostMessageA(menuWindow, WM_KEYDOWN, key, 0);
    HWND dialog = WaitForDialog(s.Owner());
    if (!dialog) return s.Notes.push_back("the second item opened no save dialog");
    saveTitle = TextOf(dialog);
    Press(dialog, IDCANCEL);
    WaitGone(dialog);
  });
  // Asked for from the keyboard: (-1, -1) puts the menu at the mouse cursor.
  RunCommand(script, [&] { SendMessageA(wnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(-1, -1)); });
  EXPECT_TRUE(script.Notes.empty()) << script.Notes.front();
  EXPECT_TRUE(script.Unexpected.empty()) << script.Unexpected.front();
  const std::vector<std::pair<UINT, std::string>> expected = {{kCmdExportPNG, "Export view as PNG (300 DPI)..."},
                                                              {kCmdExportSVG, "Export source as SVG..."},
                                                              {0, ""},
                                                              {kCmdOptions, "Options..."}};
  EXPECT_EQ(items, expected);
  EXPECT_EQ(menuRect.left, cursor.x);
  EXPECT_EQ(menuRect.top, cursor.y);
  EXPECT_EQ(saveTitle, "Export current view as SVG");

  // Commands other than the items do nothing (a dialog would be swept up as unexpected).
  TDialogScript quiet(parent_, [](TDialogScript&) {});
  for (WPARAM id : {kCmdExportPNG - 1, kCmdOptions + 1}) EXPECT_EQ(SendMessageA(wnd, WM_COMMAND, id, 0), 0);
  PumpUntil([] { return false; }, 0.3);
  quiet.Finish();
  EXPECT_TRUE(quiet.Unexpected.empty());
}

TEST_F(ExportTest, CopyPutsThePictureAndTheRecordOnTheClipboard) {
  // 2D, an SDF record, by Ctrl+C through the keyboard hook: the export's drawing and the record's text.
  HWND wnd = Open(SamplePath("three.sdf"));
  ASSERT_TRUE(WaitLoaded(wnd));
  PressKey(wnd, VK_RIGHT);
  ASSERT_TRUE(WaitLoaded(wnd));
  EmptyTheClipboard();
  SetForegroundWindow(parent_);
  SetFocus(wnd);
  PumpMessages();
  INPUT keys[4] = {};
  for (INPUT& key : keys) key.type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[3].ki.wVk = VK_CONTROL;
  keys[1].ki.wVk = keys[2].ki.wVk = 'C';
  keys[2].ki.dwFlags = keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(4, keys, sizeof(INPUT));
  ASSERT_TRUE(PumpUntil([this] { return Log().find("CopyToClipboard: picture") != std::string::npos; }, 20));
  TClipboardSeen seen = ReadClipboard();
  const std::vector<std::string> records = RecordsOf(SamplePath("three.sdf"));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(seen.Text, records[1]);
  EXPECT_NE(seen.Text.find("aspirin"), std::string::npos);
  EXPECT_EQ(seen.WideText, std::wstring(seen.Text.begin(), seen.Text.end()));
  const TRasterPlacement placement = ExportPlacement(State(wnd)->Shown.Scene, true);
  EXPECT_EQ(seen.Picture.Width, placement.Width);
  EXPECT_EQ(seen.Picture.Height, placement.Height);
  ASSERT_FALSE(seen.Picture.Pixels.empty());
  EXPECT_EQ(seen.Picture.At(0, 0), 0xFFFFFFu);
  EXPECT_GT(CountPixels(seen.Picture, IsDark), 300u);
  EXPECT_GT(CountPixels(seen.Picture, IsReddish), 20u);
  EXPECT_EQ(State(wnd)->ShownRecord, 1) << "Ctrl+C is no other key";
  DestroyWindow(wnd);

  // 3D, a MOL2 file, by the host's copy command: the window's picture, the molecule's own text
  // and the converter's SMILES after it.
  UseStartMode(TViewMode::k3D);
  wnd = Open(SamplePath("aspirin.mol2"));
  ASSERT_TRUE(WaitLoaded(wnd));
  ASSERT_TRUE(State(wnd)->Shown.Ready) << State(wnd)->Shown.ErrorMsg;
  EmptyTheClipboard();
  EXPECT_EQ(ListSendCommand(wnd, 1, 0), 0);
  seen = ReadClipboard();
  const std::string mol2 = ReadFileBytes(SamplePath("aspirin.mol2"));
  ASSERT_EQ(seen.Text.rfind("@<TRIPOS>MOLECULE\r\naspirin\r\n", 0), 0u) << seen.Text;
  EXPECT_EQ(CountOf(seen.Text, "\r\n"), CountOf(mol2, "\n") + 1);
  EXPECT_EQ(seen.Text.substr(seen.Text.size() - 25), "\r\nCC(=O)Oc1ccccc1C(=O)O\r\n");
  EXPECT_EQ(seen.WideText, std::wstring(seen.Text.begin(), seen.Text.end()));
  RECT client;
  GetClientRect(wnd, &client);
  ASSERT_EQ(seen.Picture.Width, client.right);
  ASSERT_EQ(seen.Picture.Height, client.bottom - 28);
  uint32_t corner = seen.Picture.At(0, 0);
  EXPECT_TRUE(std::abs(Red(corner) - 33) <= 3 && std::abs(Green(corner) - 36) <= 3 && std::abs(Blue(corner) - 41) <= 3)
      << std::hex << corner << " is not the 3D background";
  // TearDown checks that the SMILES file is gone.
}

TEST_F(ExportTest, CopyFailuresAreShownAndTheHostsCommandFails) {
  struct TCase {
    const char* Name;
    std::string LoadConverter, CopyConverter;
    std::string Message;
  };
  const TCase cases[] = {
      {"no picture", Exit1StandInExe(), Exit1StandInExe(), "Could not render the view for the clipboard."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    UseStartMode(TViewMode::k2D, c.LoadConverter);
    HWND wnd = Open(SamplePath("aspirin.mol2"));
    ASSERT_TRUE(WaitLoaded(wnd));
    UseStartMode(TViewMode::k2D, c.CopyConverter);
    int result = -1;
    TDialogScript script(parent_, [](TDialogScript& s) { s.TakeMessageBox(); });
    RunCommand(script, [&] { result = ListSendCommand(wnd, 1, 0); });
    EXPECT_EQ(result, 1);
    ASSERT_EQ(script.Boxes.size(), 1u);
    EXPECT_EQ(script.Boxes[0].Caption, "Pelorin");
    EXPECT_TRUE(script.Boxes[0].ErrorIcon);
    EXPECT_EQ(script.Boxes[0].Text.rfind(c.Message, 0), 0u) << script.Boxes[0].Text;
    EXPECT_NE(Log().find("CopyToClipboard ERROR: " + c.Message), std::string::npos);
    DestroyWindow(wnd);
  }
}

}  // namespace
