// Entry function of PELORINPLUGIN.dll: library start and unload.
#include <windows.h>

#include "uWLXExports.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  try {
    if (reason == DLL_PROCESS_ATTACH) {
      DisableThreadLibraryCalls(instance);
      return pelorin::OnLibraryAttach(instance) ? TRUE : FALSE;
    } else if (reason == DLL_PROCESS_DETACH) {
      pelorin::OnLibraryDetach(reserved != nullptr);
    }
  } catch (...) {
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
  }
  return TRUE;
}
