// A small stand-in for the file manager's lister: a main window with a viewer pane that
// loads PELORINPLUGIN.dll the way the host does and shows files in it. With --snapshot it
// also saves what each view shows (2D, then 3D, then the next SDF records) as PNG files.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <chrono>
#include <cstdio>
#include <cwctype>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TDefaultParams {
  int32_t size;
  uint32_t low, hi;
  char iniName[260];
};
using TListLoadW = HWND(__stdcall*)(HWND, wchar_t*, int);
using TListCloseWindow = void(__stdcall*)(HWND);
using TListGetDetectString = void(__stdcall*)(char*, int);
using TListSetDefaultParams = void(__stdcall*)(TDefaultParams*);

struct TPlugin {
  HMODULE Module = nullptr;
  TListLoadW Load = nullptr;
  TListCloseWindow Close = nullptr;
  TListGetDetectString Detect = nullptr;
  TListSetDefaultParams Defaults = nullptr;
  std::wstring Dir;
  ~TPlugin() {
    if (Module) FreeLibrary(Module);
  }
};

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

template <typename T>
T ProcAs(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool LoadPlugin(const std::wstring& path, TPlugin& plugin) {
  plugin.Module = LoadLibraryW(path.c_str());
  if (!plugin.Module) return false;
  plugin.Load = ProcAs<TListLoadW>(plugin.Module, "ListLoadW");
  plugin.Close = ProcAs<TListCloseWindow>(plugin.Module, "ListCloseWindow");
  plugin.Detect = ProcAs<TListGetDetectString>(plugin.Module, "ListGetDetectString");
  plugin.Defaults = ProcAs<TListSetDefaultParams>(plugin.Module, "ListSetDefaultParams");
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
  gPane = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, client.right,
                          client.bottom, main, nullptr, wc.hInstance, nullptr);
  return main;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Number of finished loads so far, read from the plugin's log.
size_t CountFinishedLoads(const std::wstring& logPath) {
  FILE* f = _wfopen(logPath.c_str(), L"rb");
  if (!f) return 0;
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  fclose(f);
  size_t count = 0;
  for (size_t at = text.find("WM_PELORIN_LOADED: "); at != std::string::npos;
       at = text.find("WM_PELORIN_LOADED: ", at + 1))
    ++count;
  return count;
}

// Pumps messages until the plugin has taken over one more load (or the time is up).
bool WaitForLoad(const std::wstring& logPath, size_t before) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < deadline) {
    PumpMessages();
    if (CountFinishedLoads(logPath) > before) {
      for (int i = 0; i < 5; ++i) {  // let the repaint happen
        PumpMessages();
        Sleep(20);
      }
      return true;
    }
    Sleep(30);
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
  bool ok = false;
  CLSID png;
  if (PngEncoder(png) >= 0) {
    Gdiplus::Bitmap image(bitmap, nullptr);
    ok = image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
  }
  DeleteObject(bitmap);
  return ok;
}

std::wstring BaseName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

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

int Run(int argc, wchar_t** argv) {
  std::wstring pluginPath, snapshotDir;
  std::vector<std::wstring> files;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--plugin" && i + 1 < argc) {
      pluginPath = argv[++i];
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
  TDefaultParams params{};
  params.size = sizeof params;
  params.low = 10;
  params.hi = 2;
  std::snprintf(params.iniName, sizeof params.iniName, "%s", "C:\\lister-host\\lister.ini");
  plugin.Defaults(&params);
  char detect[2048] = {};
  plugin.Detect(detect, sizeof detect);

  Gdiplus::GdiplusStartupInput gdiplusInput;
  ULONG_PTR gdiplusToken = 0;
  Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);
  HWND main = CreateMainWindow(900, 700);
  int failures = 0;
  std::vector<std::wstring> accepted;
  for (const std::wstring& f : files) {
    if (DetectStringTakes(detect, ExtensionOf(f)))
      accepted.push_back(f);
    else
      std::wprintf(L"%ls: not a file the plugin takes\n", BaseName(f).c_str());
  }
  if (!snapshotDir.empty()) {
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
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
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

int wmain(int argc, wchar_t** argv) { return Run(argc, argv); }
