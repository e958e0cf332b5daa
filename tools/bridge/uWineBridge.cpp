// Runs the machine's real Linux converter from a Windows program inside Wine.
//
// Wine cannot start a Linux program through CreateProcess, and a windowless child's Unix
// standard output is /dev/null, so the converter is started through Wine's own Unix spawn
// entry point under /bin/sh, which sends its output into temporary files that are then
// copied to this process's standard handles.
#include "uWineBridge.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cstdio>
#include <memory>

namespace pelorin {
namespace {

using TUnixSpawn = LONG(CDECL*)(char* const argv[], int wait);
using TUnixFileName = char*(CDECL*)(LPCWSTR dosName);

// The converter runs in the background so that a watchdog can end it (and remove the
// capture files) when this Windows process is killed, for example by a caller's time-out:
// a killed Wine process leaves its Unix children running. A changed parent process id
// shows that this process is gone (a zombie would still answer `kill -0`). The files go
// first: ending the converter also wakes the main shell, which then stops the watchdog.
// Arguments: out file, err file, "merged" or "apart" (err into its own file), program, its
// arguments.
constexpr const char* kShellScript = R"(out=$1 err=$2 streams=$3
shift 3
exec 3>"$out" || exit 126
if [ "$streams" = apart ]; then exec 4>"$err" || exit 126; else exec 4>&3; fi
"$@" </dev/null >&3 2>&4 3>&- 4>&- &
child=$!
exec 3>&- 4>&- 2>/dev/null
(
  while kill -0 "$child" 2>/dev/null; do
    read -r _ _ _ parent _ </proc/$$/stat
    if [ "$parent" != "$PPID" ]; then
      rm -f "$out" "$err"
      kill "$child"
      exit
    fi
    sleep 1
  done
) </dev/null >/dev/null 2>&1 &
watchdog=$!
wait "$child"
status=$?
kill "$watchdog" 2>/dev/null
exit $status
)";

class THandle {
 public:
  explicit THandle(HANDLE h) : h_(h) {}
  ~THandle() {
    if (valid()) CloseHandle(h_);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// A temporary file made (empty) in the temporary directory and deleted on destruction.
class TTempFile {
 public:
  TTempFile() {
    wchar_t dir[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    if (n == 0 || n > MAX_PATH) return;
    if (GetTempFileNameW(dir, L"pob", 0, name) == 0) return;
    path_ = name;
  }
  ~TTempFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  bool valid() const { return !path_.empty(); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

struct TWineEntryPoints {
  TUnixSpawn spawn = nullptr;
  TUnixFileName unixFileName = nullptr;
};

TWineEntryPoints FindWineEntryPoints() {
  TWineEntryPoints wine;
  if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll"))
    wine.spawn = reinterpret_cast<TUnixSpawn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "__wine_unix_spawnvp")));
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll"))
    wine.unixFileName =
        reinterpret_cast<TUnixFileName>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
  return wine;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// The Unix name of a Windows path; empty when Wine cannot map it (its folder is missing).
std::string UnixPathOf(const TWineEntryPoints& wine, const std::wstring& path) {
  struct THeapFree {
    void operator()(char* p) const { HeapFree(GetProcessHeap(), 0, p); }
  };
  std::unique_ptr<char, THeapFree> unixName(wine.unixFileName(path.c_str()));
  return unixName ? std::string(unixName.get()) : std::string();
}

// A drive path that cannot be mapped is passed on unchanged: the converter then reports
// the unreadable file itself, as it would for any other bad name.
std::string UnixArgument(const TWineEntryPoints& wine, const std::wstring& arg) {
  if (IsDrivePath(arg)) {
    std::string mapped = UnixPathOf(wine, arg);
    if (!mapped.empty()) return mapped;
  }
  return ToUtf8(arg);
}

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t buffer[1024];
  DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  return (n > 0 && n < 1024) ? std::wstring(buffer, n) : std::wstring();
}

std::string UnixConverterPath() {
  std::wstring configured = EnvironmentValue(L"PELORIN_UNIX_OBABEL");
  return configured.empty() ? std::string(kDefaultUnixConverter) : ToUtf8(configured);
}

bool HasHandle(HANDLE h) {
  return h != nullptr && h != INVALID_HANDLE_VALUE;
}

// Standard output and error that lead to one file must get the converter's two streams
// through one Unix file, or their relative order would be lost.
bool SameFile(HANDLE a, HANDLE b) {
  if (!HasHandle(a) || !HasHandle(b)) return false;
  if (a == b) return true;
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!GetFileInformationByHandle(a, &ia) || !GetFileInformationByHandle(b, &ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

bool WriteAll(HANDLE to, const char* data, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(to, data, size, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

void CopyFileToHandle(const std::wstring& path, HANDLE to) {
  if (!HasHandle(to)) return;
  THandle from(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!from.valid()) return;
  char buffer[64 * 1024];
  DWORD got = 0;
  while (ReadFile(from.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    if (!WriteAll(to, buffer, got)) return;
  }
}

std::string HexStatus(LONG status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
  return text;
}

}  // namespace

std::vector<std::wstring> OwnArguments() {
  std::vector<std::wstring> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return args;
  for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}

bool IsDrivePath(const std::wstring& arg) {
  if (arg.size() < 3) return false;
  wchar_t drive = arg[0];
  bool letter = (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
  return letter && arg[1] == L':' && (arg[2] == L'\\' || arg[2] == L'/');
}

void WriteStd(unsigned long which, const std::string& text) {
  HANDLE h = GetStdHandle(which);
  if (HasHandle(h)) WriteAll(h, text.data(), static_cast<DWORD>(text.size()));
}

int RunUnixConverter(const std::vector<std::wstring>& args) {
  TWineEntryPoints wine = FindWineEntryPoints();
  if (!wine.spawn || !wine.unixFileName) {
    WriteStd(STD_ERROR_HANDLE,
             "obabel bridge: __wine_unix_spawnvp or wine_get_unix_file_name not found; "
             "this program only works inside Wine\r\n");
    return kBridgeExitNotUnderWine;
  }

  HANDLE stdOut = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE stdErr = GetStdHandle(STD_ERROR_HANDLE);
  const bool merged = SameFile(stdOut, stdErr);

  TTempFile outFile;
  TTempFile errFile;
  std::string unixOut = outFile.valid() ? UnixPathOf(wine, outFile.path()) : std::string();
  std::string unixErr = errFile.valid() ? UnixPathOf(wine, errFile.path()) : std::string();
  if (unixOut.empty() || unixErr.empty()) {
    WriteStd(STD_ERROR_HANDLE, "obabel bridge: cannot create temporary capture files\r\n");
    return kBridgeExitNoTempFile;
  }

  std::vector<std::string> unixArgs = {"/bin/sh", "-c", kShellScript, "sh", unixOut, unixErr};
  unixArgs.push_back(merged ? "merged" : "apart");
  unixArgs.push_back(UnixConverterPath());
  for (const std::wstring& arg : args) unixArgs.push_back(UnixArgument(wine, arg));
  std::vector<char*> argv;
  for (std::string& arg : unixArgs) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // With wait set, the result is the exit status (0..255) or an NTSTATUS error code.
  LONG status = wine.spawn(argv.data(), 1);
  if (status < 0 || status > 255) {
    WriteStd(STD_ERROR_HANDLE, "obabel bridge: cannot start /bin/sh (status " + HexStatus(status) + ")\r\n");
    return kBridgeExitSpawnFailed;
  }

  CopyFileToHandle(outFile.path(), stdOut);
  if (!merged) CopyFileToHandle(errFile.path(), stdErr);
  return static_cast<int>(status);
}

}  // namespace pelorin
