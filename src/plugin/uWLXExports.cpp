// The lister plugin's exported entry points. Each is a thin shell: it loads the
// configuration when needed, logs, calls into the plugin and never lets an exception out.
#include "uWLXExports.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "formats/uMolFormat.h"
#include "plugin/uThumbnail.h"
#include "render/uOpenGL.h"
#include "support/uConfig.h"
#include "support/uDebugLog.h"
#include "support/uGuard.h"
#include "support/uText.h"
#include "viewer/uCommands.h"
#include "viewer/uKeyboardHook.h"
#include "viewer/uViewerLogic.h"
#include "viewer/uWin32Window.h"

namespace pelorin {

std::atomic<bool> ConfigLoaded{false};

void EnsureConfigLoaded() {
  std::lock_guard<std::recursive_mutex> loading(ConfigLoadMutex());
  if (ConfigLoaded) return;
  ConfigLoaded = true;
  LoadConfig();
}

namespace {

HWND LoadViewer(HWND parent, const std::string& fileName, int showFlags, const char* section, const char* resultLine) {
  EnsureConfigLoaded();
  DebugLogSection(section);
  DebugLogFmt("File: %s  ShowFlags: %d", fileName.c_str(), showFlags);
  // Debug symbols share the extension .pdb; without a window the host tries its next viewer.
  if (IsProgramDatabaseFile(fileName)) {
    DebugLog("ListLoad: a program database (debug symbols), not a molecule: no window");
    return nullptr;
  }
  HWND wnd = CreatePelorinWindow(parent, fileName, showFlags);
  DebugLogFmt(resultLine, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(wnd)));
  return wnd;
}

// The host's next file in the same window (N and P in its viewer, the next file of its quick
// view). An error sends the host to ListLoad, and to other plugins, for that file.
int LoadNextIntoViewer(HWND pluginWin, const std::string& fileName, int showFlags, const char* section,
                       const char* resultLine) {
  EnsureConfigLoaded();
  DebugLogSection(section);
  DebugLogFmt("File: %s  ShowFlags: %d", fileName.c_str(), showFlags);
  int result = kListPluginError;
  if (IsProgramDatabaseFile(fileName))
    DebugLog("ListLoadNext: a program database (debug symbols), not a molecule: the host's next viewer");
  else if (LoadNextFile(pluginWin, fileName, showFlags))
    result = kListPluginOK;
  DebugLogFmt(resultLine, result);
  return result;
}

int RunCommand(HWND wnd, int command, int parameter) {
  DebugLogFmt("ListSendCommand: Command=%d Parameter=%d", command, parameter);
  switch (command) {
    case kCommandNewParams:
      return TakeDisplayParameters(wnd, parameter) ? kListPluginOK : kListPluginError;
    case kCommandCopy:
      return CopyViewOf(wnd) ? kListPluginOK : kListPluginError;
    default:
      return kListPluginError;
  }
}

}  // namespace

bool OnLibraryAttach(HINSTANCE instance) {
  std::string openGLError;
  if (!LoadOpenGL(openGLError)) return false;  // masks floating-point exceptions first
  ViewerLibraryAttach(instance);
  wchar_t path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
  std::wstring full(path, n);
  std::wstring dir = full.substr(0, full.find_last_of(L'\\') + 1);
  DebugLogSetDefaultDir(dir);
  PluginDir = FileNameToAnsi(dir.c_str());  // the ini file and the log are opened by 8-bit names
  return true;
}

void OnLibraryDetach(bool processExit) {
  if (processExit) {
    DebugLogCloseAtProcessExit();  // nothing else: the system reclaims the rest
    return;
  }
  RemoveAllKbdHooks();  // a hook left installed would call into the unloaded library
  ViewerLibraryDetach();
  UnloadOpenGL();
  DebugLogClose();
}

}  // namespace pelorin

using namespace pelorin;

extern "C" HWND __stdcall ListLoad(HWND ParentWin, char* FileToLoad, int ShowFlags) {
  return RunGuarded("ListLoad", HWND{}, [&] {
    return LoadViewer(ParentWin, FileToLoad ? FileToLoad : "", ShowFlags, "ListLoad (Ansi)",
                      "ListLoad result HWND: %llu");
  });
}

extern "C" HWND __stdcall ListLoadW(HWND ParentWin, wchar_t* FileToLoad, int ShowFlags) {
  return RunGuarded("ListLoadW", HWND{}, [&] {
    return LoadViewer(ParentWin, FileNameToAnsi(FileToLoad), ShowFlags, "ListLoadW (Unicode)",
                      "ListLoadW result HWND: %llu");
  });
}

extern "C" int __stdcall ListLoadNext(HWND /*ParentWin*/, HWND PluginWin, char* FileToLoad, int ShowFlags) {
  return RunGuarded("ListLoadNext", kListPluginError, [&] {
    return LoadNextIntoViewer(PluginWin, FileToLoad ? FileToLoad : "", ShowFlags, "ListLoadNext (Ansi)",
                              "ListLoadNext result: %d");
  });
}

extern "C" int __stdcall ListLoadNextW(HWND /*ParentWin*/, HWND PluginWin, wchar_t* FileToLoad, int ShowFlags) {
  return RunGuarded("ListLoadNextW", kListPluginError, [&] {
    return LoadNextIntoViewer(PluginWin, FileNameToAnsi(FileToLoad), ShowFlags, "ListLoadNextW (Unicode)",
                              "ListLoadNextW result: %d");
  });
}

extern "C" void __stdcall ListCloseWindow(HWND ListWin) {
  TryGuarded("ListCloseWindow", [&] {
    if (ListWin) DestroyWindow(ListWin);
  });
}

extern "C" void __stdcall ListGetDetectString(char* DetectString, int maxlen) {
  TryGuarded("ListGetDetectString", [&] {
    if (DetectString && maxlen > 0) {
      size_t n = std::min(static_cast<size_t>(maxlen - 1), sizeof kDetectString - 1);
      std::memcpy(DetectString, kDetectString, n);
      DetectString[n] = '\0';
    }
    DebugLog(std::string("ListGetDetectString \xE2\x86\x92 ") + kDetectString);
  });
}

extern "C" void __stdcall ListSetDefaultParams(ListDefaultParamStruct* dps) {
  TryGuarded("ListSetDefaultParams", [&] {
    std::string hostIni;
    if (dps) hostIni.assign(dps->DefaultIniName, strnlen(dps->DefaultIniName, sizeof dps->DefaultIniName));
    {
      std::lock_guard<std::recursive_mutex> loading(ConfigLoadMutex());
      if (dps) SetHostIniName(hostIni);  // settings and log go there when the plugin's folder is read-only
      ConfigLoaded = true;
      LoadConfig();
    }
    if (dps) {
      DebugLogFmt("ListSetDefaultParams: TC-IniPath=%s PluginDir=%s", hostIni.c_str(), PluginDir.c_str());
    } else {
      DebugLogFmt("ListSetDefaultParams: dps=nil PluginDir=%s", PluginDir.c_str());
    }
  });
}

extern "C" int __stdcall ListSendCommand(HWND ListWin, int Command, int Parameter) {
  return RunGuarded("ListSendCommand", kListPluginError, [&] { return RunCommand(ListWin, Command, Parameter); });
}

extern "C" HBITMAP __stdcall ListGetPreviewBitmap(char* FileToLoad, int width, int height, char* /*contentbuf*/,
                                                  int /*contentbuflen*/) {
  return RunGuarded("ListGetPreviewBitmap", HBITMAP{}, [&]() -> HBITMAP {
    EnsureConfigLoaded();
    if (!FileToLoad) return nullptr;
    return MakeThumbnail(FileToLoad, width, height);
  });
}

extern "C" HBITMAP __stdcall ListGetPreviewBitmapW(wchar_t* FileToLoad, int width, int height, char* /*contentbuf*/,
                                                   int /*contentbuflen*/) {
  return RunGuarded("ListGetPreviewBitmapW", HBITMAP{}, [&]() -> HBITMAP {
    EnsureConfigLoaded();
    if (!FileToLoad) return nullptr;
    return MakeThumbnail(FileNameToAnsi(FileToLoad), width, height);
  });
}
