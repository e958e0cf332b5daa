// A small stand-in for the file manager's lister: a main window with a viewer pane that
// loads PELORINPLUGIN.dll the way the host does and shows files in it; N and P show the next and
// the previous file of the command line in the same window (ListLoadNextW). With --snapshot it
// saves what each view shows (2D, then 3D, then the next SDF record) as PNG files; with
// --script it runs a list of steps (open, the next file, keys, pauses, going to a record,
// exports with the save dialog answered, thumbnails, the display-parameters command, the 3D
// model chosen in the options dialog) and reports how long each took.
#include <windows.h>
// GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
//
#include <gdiplus.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "dialog_driver.h"
#include "plugin/uWLXExports.h"
#include "viewer/uOptionsDialog.h"
#include "viewer/uWin32Window.h"

namespace {

using namespace pelorin::dialogs;

struct TPlugin {
  HMODULE Module = nullptr;
  decltype(&ListLoadW) Load = nullptr;
  decltype(&ListLoadNextW) LoadNext = nullptr;
  decltype(&ListCloseWindow) Close = nullptr;
  decltype(&ListGetDetectString) Detect = nullptr;
  decltype(&ListSetDefaultParams) Defaults = nullptr;
  decltype(&ListSendCommand) SendCommand = nullptr;
  decltype(&ListGetPreviewBitmapW) Preview = nullptr;
  std::wstring Dir;
  ~TPlugin() {
    if (Module) FreeLibrary(Module);
  }
};

HWND gMain = nullptr;
HWND gPane = nullptr;
HWND gViewer = nullptr;
TPlugin* gPlugin = nullptr;

std::wstring Upper(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

std::wstring ExtensionOf(const std::wstring& path) {
  size_t dot = path.find_last_of(L'.');
  size_t slash = path.find_last_of(L"\\/");
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return L"";
  return Upper(path.substr(dot + 1));
}

// The detect string's EXT="..." clauses.
bool DetectStringTakes(const std::string& detect, const std::wstring& extension) {
  std::string ext(extension.begin(), extension.end());
  return !ext.empty() && detect.find("EXT=\"" + ext + "\"") != std::string::npos;
}

// An exported function as the type of its declaration (a data pointer first: a direct cast
// between unrelated function types draws -Wcast-function-type).
template <typename T>
void GetProc(HMODULE module, const char* name, T& proc) {
  proc = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool LoadPlugin(const std::wstring& path, TPlugin& plugin) {
  plugin.Module = LoadLibraryW(path.c_str());
  if (!plugin.Module) return false;
  GetProc(plugin.Module, "ListLoadW", plugin.Load);
  GetProc(plugin.Module, "ListLoadNextW", plugin.LoadNext);
  GetProc(plugin.Module, "ListCloseWindow", plugin.Close);
  GetProc(plugin.Module, "ListGetDetectString", plugin.Detect);
  GetProc(plugin.Module, "ListSetDefaultParams", plugin.Defaults);
  GetProc(plugin.Module, "ListSendCommand", plugin.SendCommand);
  GetProc(plugin.Module, "ListGetPreviewBitmapW", plugin.Preview);
  wchar_t full[MAX_PATH] = {};
  GetModuleFileNameW(plugin.Module, full, MAX_PATH);
  plugin.Dir = full;
  plugin.Dir = plugin.Dir.substr(0, plugin.Dir.find_last_of(L'\\') + 1);
  return plugin.Load && plugin.Close && plugin.Detect && plugin.Defaults;
}

void ResizePane(HWND main) {
  RECT client;
  GetClientRect(main, &client);
  MoveWindow(gPane, 0, 0, client.right, client.bottom, TRUE);
  if (gViewer) MoveWindow(gViewer, 0, 0, client.right, client.bottom, TRUE);
}

LRESULT CALLBACK MainWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      if (gPane) ResizePane(wnd);
      return 0;
    case WM_CLOSE:
      if (gViewer && gPlugin) gPlugin->Close(gViewer);
      gViewer = nullptr;
      DestroyWindow(wnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(wnd, msg, wParam, lParam);
  }
}

HWND CreateMainWindow(int width, int height) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &MainWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"PelorinListerHost";
  RegisterClassExW(&wc);
  HWND main = CreateWindowExW(0, wc.lpszClassName, L"Pelorin lister host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr, nullptr, wc.hInstance, nullptr);
  RECT client;
  GetClientRect(main, &client);
  gPane = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, client.right, client.bottom,
                          main, nullptr, wc.hInstance, nullptr);
  return main;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Number of views shown so far, read from the plugin's log: loads taken over, and views the
// plugin kept from before (a step back, a record made ready ahead of the step).
size_t CountFinishedLoads(const std::wstring& logPath) {
  FILE* f = _wfopen(logPath.c_str(), L"rb");
  if (!f) return 0;
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  fclose(f);
  size_t count = 0;
  for (const char* shown : {"WM_PELORIN_LOADED: ", "View kept: "})
    for (size_t at = text.find(shown); at != std::string::npos; at = text.find(shown, at + 1)) ++count;
  return count;
}

// Pumps messages until the plugin has taken over one more load (or the time is up).
bool WaitForLoad(const std::wstring& logPath, size_t before) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < deadline) {
    PumpMessages();
    if (CountFinishedLoads(logPath) > before) {
      if (gViewer) UpdateWindow(gViewer);  // the picture drawn now, when it is not yet
      PumpMessages();
      return true;
    }
    Sleep(10);
  }
  return false;
}

int PngEncoder(CLSID& clsid) {
  UINT count = 0, size = 0;
  Gdiplus::GetImageEncodersSize(&count, &size);
  std::vector<char> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::GetImageEncoders(count, size, codecs);
  for (UINT i = 0; i < count; ++i)
    if (std::wstring(codecs[i].MimeType) == L"image/png") {
      clsid = codecs[i].Clsid;
      return static_cast<int>(i);
    }
  return -1;
}

bool SaveBitmapPng(HBITMAP bitmap, const std::wstring& path) {
  CLSID png;
  if (!bitmap || PngEncoder(png) < 0) return false;
  Gdiplus::Bitmap image(bitmap, nullptr);
  return image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

// Asks the viewer to draw itself into a bitmap (it answers WM_PRINTCLIENT) and saves it.
bool SaveSnapshot(HWND viewer, const std::wstring& path) {
  RECT client;
  GetClientRect(viewer, &client);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(mem, bitmap);
  SendMessageW(viewer, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
  SelectObject(mem, old);
  DeleteDC(mem);
  bool ok = SaveBitmapPng(bitmap, path);
  DeleteObject(bitmap);
  return ok;
}

std::wstring Widen(const std::string& ansi) {
  std::wstring wide(ansi.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                                  static_cast<int>(wide.size())));
  return wide;
}

std::wstring BaseName(const std::wstring& path) {
  return path.substr(path.find_last_of(L"\\/") + 1);
}

// Shows one file and saves its views: 2D/3D as the viewer starts, the other mode after T,
// and the following records of a multi-record file after Right.
int SnapshotFile(const std::wstring& file, const std::wstring& outDir, const std::wstring& logPath) {
  std::vector<wchar_t> name(file.begin(), file.end());
  name.push_back(0);
  size_t loads = CountFinishedLoads(logPath);
  gViewer = gPlugin->Load(gPane, name.data(), 0);
  if (!gViewer) {
    std::wprintf(L"  %ls: ListLoadW gave no window\n", BaseName(file).c_str());
    return 1;
  }
  SetFocus(gViewer);
  int failures = 0;
  auto shoot = [&](const wchar_t* what) {
    if (!WaitForLoad(logPath, loads)) {
      std::wprintf(L"  %ls: no load finished (%ls)\n", BaseName(file).c_str(), what);
      ++failures;
      return;
    }
    loads = CountFinishedLoads(logPath);
    std::wstring out = outDir + BaseName(file) + L"-" + what + L".png";
    bool saved = SaveSnapshot(gViewer, out);
    std::wprintf(L"  %ls -> %ls%ls\n", what, out.c_str(), saved ? L"" : L" (could not save)");
    failures += saved ? 0 : 1;
  };
  shoot(L"first");
  PostMessageW(gViewer, WM_KEYDOWN, 'T', 0);
  shoot(L"toggled");
  if (ExtensionOf(file) == L"SDF") {
    PostMessageW(gViewer, WM_KEYDOWN, VK_RIGHT, 0);
    shoot(L"record2");
  }
  gPlugin->Close(gViewer);
  gViewer = nullptr;
  PumpMessages();
  return failures;
}

// ---- Scripted steps -------------------------------------------------------------

// Answers the next dialog of the main window: a save dialog gets `fileName` typed in and is
// confirmed; any other dialog (the options dialog, a message box) is cancelled. `seen` says
// which dialog it was; it is complete once the script has finished.
void AnswerNextDialog(TDialogScript& script, const std::wstring& fileName, std::string& seen) {
  HWND dialog = script.NextDialog(120);
  if (!dialog) return;
  Sleep(200);  // let the dialog finish its own set-up
  if (FileNameControl(dialog) && !fileName.empty()) {
    seen = "save dialog";
    ChooseFile(dialog, fileName);
  } else {
    seen = TextOf(dialog);
    if (GetDlgItem(dialog, kMessageBoxIcon)) seen += ": " + ReadMessageBox(dialog).Text;
    Press(dialog, IDCANCEL);
  }
  WaitGone(dialog);
}

// Chooses `model` (Auto, Surface or Atoms) as the options dialog's 3D model and presses OK.
void ChooseModel3D(TDialogScript& script, const std::wstring& model, std::string& seen) {
  HWND dialog = script.NextDialog(120);
  if (!dialog) return;
  Sleep(200);  // let the dialog finish its own set-up
  seen = TextOf(dialog);
  const std::string name(model.begin(), model.end());
  LRESULT index = SendDlgItemMessageA(dialog, pelorin::kIdModel3D, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(name.c_str()));
  if (index == CB_ERR) {
    Press(dialog, IDCANCEL);
  } else {
    SendDlgItemMessageA(dialog, pelorin::kIdModel3D, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Press(dialog, IDOK);
    seen += ": 3D model " + name;
  }
  WaitGone(dialog);
}

std::vector<std::wstring> SplitWords(const std::wstring& line) {
  std::vector<std::wstring> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::iswspace(line[i])) ++i;
    if (i >= line.size()) break;
    std::wstring word;
    if (line[i] == L'"') {
      size_t end = line.find(L'"', i + 1);
      word = line.substr(i + 1, end == std::wstring::npos ? std::wstring::npos : end - i - 1);
      i = end == std::wstring::npos ? line.size() : end + 1;
    } else {
      while (i < line.size() && !std::iswspace(line[i])) word += line[i++];
    }
    words.push_back(word);
  }
  return words;
}

UINT KeyCode(const std::wstring& name) {
  if (name == L"Left") return VK_LEFT;
  if (name == L"Right") return VK_RIGHT;
  if (name == L"Up") return VK_UP;
  if (name == L"Down") return VK_DOWN;
  return name.size() == 1 ? static_cast<UINT>(std::towupper(name[0])) : 0;
}

bool WaitForFile(const std::wstring& path, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    PumpMessages();
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(30);
  }
  return false;
}

// Runs one step; false when it failed. `what` tells what came out of it.
bool RunStep(const std::vector<std::wstring>& w, const std::wstring& logPath, std::wstring& what) {
  const std::wstring& verb = w[0];
  if (verb == L"open" && w.size() == 2) {
    if (gViewer) gPlugin->Close(gViewer);
    std::vector<wchar_t> name(w[1].begin(), w[1].end());
    name.push_back(0);
    size_t loads = CountFinishedLoads(logPath);
    auto start = std::chrono::steady_clock::now();
    gViewer = gPlugin->Load(gPane, name.data(), 0);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!gViewer) return false;
    SetFocus(gViewer);
    what = BaseName(w[1]) + L" (ListLoad " + std::to_wstring(static_cast<int>(ms + 0.5)) + L" ms)";
    return WaitForLoad(logPath, loads);
  }
  if (verb == L"next" && w.size() == 2 && gViewer) {
    // The host's N and P: the file into the window that is open; the plugin may refuse it.
    std::vector<wchar_t> name(w[1].begin(), w[1].end());
    name.push_back(0);
    size_t loads = CountFinishedLoads(logPath);
    auto start = std::chrono::steady_clock::now();
    const int result = gPlugin->LoadNext ? gPlugin->LoadNext(gPane, gViewer, name.data(), 0) : 1;
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    what = BaseName(w[1]) + L" (ListLoadNext " + std::to_wstring(static_cast<int>(ms + 0.5)) + L" ms" +
           (result == 0 ? L")" : L": refused)");
    return result == 0 && WaitForLoad(logPath, loads);
  }
  if (verb == L"pause" && w.size() == 2) {
    // A user looking at the record: the plugin may make the next one ready meanwhile.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(_wtoi(w[1].c_str()));
    while (std::chrono::steady_clock::now() < until) {
      PumpMessages();
      Sleep(10);
    }
    what = w[1] + L" ms";
    return true;
  }
  if (verb == L"record" && w.size() == 2 && gViewer) {
    // "record last" waits until the viewer has counted its records; "record N" goes to the Nth.
    const WPARAM target = w[1] == L"last" ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(_wtoi(w[1].c_str()) - 1);
    what = w[1];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (std::chrono::steady_clock::now() < deadline) {
      size_t loads = CountFinishedLoads(logPath);
      LRESULT went = SendMessageW(gViewer, pelorin::WM_PELORIN_GOTO_RECORD, target, 0);
      if (went == 0) return true;
      if (went > 0) return WaitForLoad(logPath, loads);
      PumpMessages();
      Sleep(30);
    }
    return false;
  }
  if (verb == L"key" && w.size() == 2 && gViewer) {
    size_t loads = CountFinishedLoads(logPath);
    PostMessageW(gViewer, WM_KEYDOWN, KeyCode(w[1]), 0);
    bool startsLoad = w[1] == L"T" || w[1] == L"Left" || w[1] == L"Right" || w[1] == L"Up" || w[1] == L"Down";
    what = w[1];
    if (startsLoad) return WaitForLoad(logPath, loads);
    PumpMessages();
    return true;
  }
  if (verb == L"snapshot" && w.size() == 2 && gViewer) {
    what = w[1];
    return SaveSnapshot(gViewer, w[1]);
  }
  if ((verb == L"export-png" || verb == L"export-svg") && w.size() == 2 && gViewer) {
    DeleteFileW(w[1].c_str());
    std::string seen;
    TDialogScript answerer(gMain, [&](TDialogScript& s) { AnswerNextDialog(s, w[1], seen); });
    PostMessageW(gViewer, WM_KEYDOWN, verb == L"export-png" ? 'G' : 'S', 0);
    bool made = WaitForFile(w[1], 120);
    what = w[1];
    return made;
  }
  if (verb == L"thumbnail" && w.size() == 4) {
    int width = 0, height = 0;
    if (swscanf(w[1].c_str(), L"%dx%d", &width, &height) != 2) return false;
    std::vector<wchar_t> name(w[3].begin(), w[3].end());
    name.push_back(0);
    HBITMAP bitmap = gPlugin->Preview(name.data(), width, height, nullptr, 0);
    bool saved = SaveBitmapPng(bitmap, w[2]);
    if (bitmap) DeleteObject(bitmap);
    what = w[2];
    return saved;
  }
  if (verb == L"options" && gViewer) {
    size_t loads = CountFinishedLoads(logPath);
    std::string seen;
    TDialogScript answerer(gMain, [&](TDialogScript& s) { AnswerNextDialog(s, L"", seen); });
    gPlugin->SendCommand(gViewer, pelorin::kCommandNewParams, 0);
    bool reloaded = WaitForLoad(logPath, loads);
    answerer.Finish();
    what = seen.empty() ? L"no dialog" : Widen(seen) + L" (cancelled)";
    return reloaded;
  }
  if (verb == L"model3d" && w.size() == 2 && gViewer) {
    size_t loads = CountFinishedLoads(logPath);
    std::string seen;
    TDialogScript chooser(gMain, [&](TDialogScript& s) { ChooseModel3D(s, w[1], seen); });
    gPlugin->SendCommand(gViewer, pelorin::kCommandNewParams, 0);
    bool reloaded = WaitForLoad(logPath, loads);
    chooser.Finish();
    what = seen.empty() ? L"no dialog" : Widen(seen);
    return reloaded && seen.find(": 3D model") != std::string::npos;
  }
  if (verb == L"close" && gViewer) {
    gPlugin->Close(gViewer);
    gViewer = nullptr;
    PumpMessages();
    return true;
  }
  return false;
}

int RunScript(const std::wstring& scriptPath, const std::wstring& logPath) {
  FILE* f = _wfopen(scriptPath.c_str(), L"rt, ccs=UTF-8");
  if (!f) {
    std::fwprintf(stderr, L"cannot read %ls\n", scriptPath.c_str());
    return 1;
  }
  std::vector<std::wstring> lines;
  wchar_t buffer[4096];
  while (fgetws(buffer, 4096, f)) {
    std::wstring line = buffer;
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    lines.push_back(line);
  }
  fclose(f);
  int failures = 0;
  for (const std::wstring& line : lines) {
    std::vector<std::wstring> words = SplitWords(line);
    if (words.empty() || words[0][0] == L'#') continue;
    auto start = std::chrono::steady_clock::now();
    std::wstring what;
    bool ok = RunStep(words, logPath, what);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::wprintf(L"  %-11ls %7.0f ms  %ls%ls\n", words[0].c_str(), ms, what.c_str(), ok ? L"" : L"  FAILED");
    std::fflush(stdout);
    failures += ok ? 0 : 1;
  }
  return failures;
}

// N and P in the viewer, as the host takes them: the next or previous file of the list in the
// same window, or in a new one when the plugin refuses it.
void ShowNeighbour(const std::vector<std::wstring>& files, size_t& shown, int step) {
  if (files.empty() || !gViewer) return;
  shown = (shown + files.size() + step) % files.size();
  std::vector<wchar_t> name(files[shown].begin(), files[shown].end());
  name.push_back(0);
  if (gPlugin->LoadNext && gPlugin->LoadNext(gPane, gViewer, name.data(), 0) == 0) return;
  gPlugin->Close(gViewer);
  gViewer = gPlugin->Load(gPane, name.data(), 0);
  if (gViewer) SetFocus(gViewer);
}

bool IsNextOrPreviousKey(const MSG& msg) {
  return msg.message == WM_KEYDOWN && (msg.wParam == 'N' || msg.wParam == 'P') && gViewer &&
         (msg.hwnd == gViewer || IsChild(gViewer, msg.hwnd));
}

int Run(int argc, wchar_t** argv) {
  std::wstring pluginPath, snapshotDir, scriptPath;
  std::vector<std::wstring> files;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--plugin" && i + 1 < argc) {
      pluginPath = argv[++i];
    } else if (arg == L"--script" && i + 1 < argc) {
      scriptPath = argv[++i];
    } else if (arg == L"--snapshot" && i + 1 < argc) {
      snapshotDir = argv[++i];
      if (!snapshotDir.empty() && snapshotDir.back() != L'\\') snapshotDir += L'\\';
    } else {
      files.push_back(arg);
    }
  }
  if (pluginPath.empty()) pluginPath = L"PELORINPLUGIN.dll";
  TPlugin plugin;
  if (!LoadPlugin(pluginPath, plugin)) {
    std::fwprintf(stderr, L"cannot load the plugin %ls\n", pluginPath.c_str());
    return 2;
  }
  gPlugin = &plugin;
  ListDefaultParamStruct params{};
  params.size = sizeof params;
  params.PluginInterfaceVersionLow = 10;
  params.PluginInterfaceVersionHi = 2;
  std::snprintf(params.DefaultIniName, sizeof params.DefaultIniName, "%s", "C:\\lister-host\\lister.ini");
  plugin.Defaults(&params);
  char detect[2048] = {};
  plugin.Detect(detect, sizeof detect);

  Gdiplus::GdiplusStartupInput gdiplusInput;
  ULONG_PTR gdiplusToken = 0;
  Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);
  HWND main = gMain = CreateMainWindow(900, 700);
  int failures = 0;
  std::vector<std::wstring> accepted;
  for (const std::wstring& f : files) {
    if (DetectStringTakes(detect, ExtensionOf(f)))
      accepted.push_back(f);
    else
      std::wprintf(L"%ls: not a file the plugin takes\n", BaseName(f).c_str());
  }
  if (!scriptPath.empty()) {
    failures = RunScript(scriptPath, plugin.Dir + L"pelorindebug.log");
    if (gViewer) plugin.Close(gViewer);
    gViewer = nullptr;
    DestroyWindow(main);
  } else if (!snapshotDir.empty()) {
    std::wstring logPath = plugin.Dir + L"pelorindebug.log";
    for (const std::wstring& f : accepted) {
      std::wprintf(L"%ls\n", BaseName(f).c_str());
      failures += SnapshotFile(f, snapshotDir, logPath);
    }
    DestroyWindow(main);
  } else {
    if (!accepted.empty()) {
      std::vector<wchar_t> name(accepted.front().begin(), accepted.front().end());
      name.push_back(0);
      gViewer = plugin.Load(gPane, name.data(), 0);
      if (gViewer) SetFocus(gViewer);
    }
    size_t shown = 0;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (IsNextOrPreviousKey(msg)) {
        ShowNeighbour(accepted, shown, msg.wParam == 'N' ? 1 : -1);
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  PumpMessages();
  Gdiplus::GdiplusShutdown(gdiplusToken);
  gPlugin = nullptr;
  return failures ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return Run(argc, argv);
}
