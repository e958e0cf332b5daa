// The lister plugin's exported entry points. Each is a thin shell: it loads the
// configuration when needed, logs, calls into the plugin and never lets an exception out.
#include "uWLXExports.h"

#include <float.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "support/uConfig.h"
#include "support/uDebugLog.h"
#include "support/uText.h"

namespace pelorin {

std::atomic<bool> ConfigLoaded{false};

void EnsureConfigLoaded() {
  std::lock_guard<std::recursive_mutex> loading(ConfigLoadMutex());
  if (ConfigLoaded) return;
  ConfigLoaded = true;
  LoadConfig();
}

void OnLibraryAttach(HINSTANCE instance) {
  // Hosts written in languages that unmask floating-point exceptions must not see
  // them raised from our geometry code.
  _controlfp(_MCW_EM, _MCW_EM);
  wchar_t path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
  std::wstring full(path, n);
  std::wstring dir = full.substr(0, full.find_last_of(L'\\') + 1);
  DebugLogSetDefaultDir(dir);
  PluginDir = WideToAnsi(dir);
}

void OnLibraryDetach() { DebugLogClose(); }

}  // namespace pelorin

using namespace pelorin;

extern "C" void __stdcall ListGetDetectString(char* DetectString, int maxlen) {
  try {
    if (DetectString && maxlen > 0) {
      size_t n = std::min(static_cast<size_t>(maxlen - 1), sizeof kDetectString - 1);
      std::memcpy(DetectString, kDetectString, n);
      DetectString[n] = '\0';
    }
    DebugLog(std::string("ListGetDetectString \xE2\x86\x92 ") + kDetectString);
  } catch (...) {
  }
}

extern "C" void __stdcall ListSetDefaultParams(ListDefaultParamStruct* dps) {
  try {
    {
      std::lock_guard<std::recursive_mutex> loading(ConfigLoadMutex());
      ConfigLoaded = true;
      LoadConfig();
    }
    if (dps) {
      std::string hostIni(dps->DefaultIniName, strnlen(dps->DefaultIniName, sizeof dps->DefaultIniName));
      DebugLogFmt("ListSetDefaultParams: TC-IniPath=%s PluginDir=%s", hostIni.c_str(), PluginDir.c_str());
    } else {
      DebugLogFmt("ListSetDefaultParams: dps=nil PluginDir=%s", PluginDir.c_str());
    }
  } catch (...) {
  }
}
