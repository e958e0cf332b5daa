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

// The converter runs in the background, watched by a watchdog that outlives this script: the
// bridge (this Windows process, the script's parent) is polled every 50 ms, and once it is gone
// (killed by a caller's time-out or job: a killed Wine process leaves its Unix children running)
// the watchdog kills the converter, waits until it has exited, and removes the converter's private
// output and the capture files. Only the bridge itself moves the private output into place after
// the converter has ended, so a bridge that is gone can never publish it. A process counts as gone
// when it is a zombie or another process has its number (its start time differs).
// The parent is the bridge only when its name is the bridge's: a bridge killed before the script
// started has left it to another parent, and then nothing is run (and the capture files go).
// Arguments: out file, err file, "merged" or "apart" (err into its own file), the private output
// file (or "-"), the bridge's process name, program, its arguments.
constexpr const char* kShellScript = R"sh(out=$1 err=$2 streams=$3 private=$4 name=$5
shift 5
started() {
  { read -r stat </proc/$1/stat; } 2>/dev/null || return 1
  set -- ${stat##*) }
  [ "$1" != Z ] && [ "$1" != X ] && echo "${20}"
}
bridge=$PPID
comm=
{ read -r comm </proc/$bridge/comm; } 2>/dev/null
if [ "$comm" != "$name" ] || ! bridgeStart=$(started $bridge); then
  rm -f "$out" "$err"
  exit 125
fi
exec 3>"$out" || exit 126
if [ "$streams" = apart ]; then exec 4>"$err" || exit 126; else exec 4>&3; fi
"$@" </dev/null >&3 2>&4 3>&- 4>&- &
child=$!
childStart=$(started $child)
exec 3>&- 4>&- 2>/dev/null
(
  alive() { [ -n "$2" ] && [ "$(started $1)" = "$2" ]; }
  while alive $bridge "$bridgeStart"; do sleep 0.05; done
  if alive $child "$childStart"; then
    kill $child
    while alive $child "$childStart"; do sleep 0.05; done
  fi
  rm -f "$out" "$err"
  [ "$private" = - ] || rm -f "$private"
) </dev/null >/dev/null 2>&1 &
wait $child
)sh";

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

// The name of a capture file in the temporary directory, which the script creates and this
// process deletes on destruction. No file exists before the script makes it, so a bridge killed
// before the script runs leaves none; the name is never used again (process id, time and a
// count), so that the watchdog, which removes the file too once this process is gone, can never
// remove another run's file.
class TCaptureFile {
 public:
  TCaptureFile() {
    static int made = 0;
    wchar_t dir[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    if (n == 0 || n > MAX_PATH) return;
    path_ = std::wstring(dir) + L"pob" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(GetTickCount64()) + L"_" + std::to_wstring(++made) + L".tmp";
  }
  ~TCaptureFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TCaptureFile(const TCaptureFile&) = delete;
  TCaptureFile& operator=(const TCaptureFile&) = delete;
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

// The name the system gives this process (Wine names it after its program file): at most the 15
// bytes a Linux process name holds.
std::string OwnProcessName() {
  wchar_t path[MAX_PATH + 1] = {};
  const std::wstring own(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return ToUtf8(own.substr(own.find_last_of(L"\\/") + 1)).substr(0, 15);
}

// The converter's output file ("-O name" or "-Oname"), as the index of the argument that holds
// it and where the name starts in it; none when there is none.
struct TOutputArgument {
  size_t Index = SIZE_MAX;
  size_t Offset = 0;
};

TOutputArgument FindOutputArgument(const std::vector<std::wstring>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"-O" && i + 1 < args.size()) return {i + 1, 0};
    if (args[i].size() > 2 && args[i].compare(0, 2, L"-O") == 0) return {i, 2};
  }
  return {};
}

// The private name beside an output file: the same folder and extension (which tells the
// converter the format), marked with this process's id.
std::wstring PrivateOutputName(const std::wstring& output) {
  const size_t slash = output.find_last_of(L"\\/");
  const size_t dot = output.find_last_of(L'.');
  const size_t cut = dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash) ? output.size() : dot;
  return output.substr(0, cut) + L".bridge" + std::to_wstring(GetCurrentProcessId()) + output.substr(cut);
}

// Moves the converter's private output into place, replacing whatever is there; false when there
// was one but it cannot be moved (it is removed then).
bool PublishOutput(const std::wstring& privateName, const std::wstring& output) {
  if (GetFileAttributesW(privateName.c_str()) == INVALID_FILE_ATTRIBUTES) return true;  // none written
  if (MoveFileExW(privateName.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileW(privateName.c_str());
  return false;
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

  TCaptureFile outFile;
  TCaptureFile errFile;
  std::string unixOut = outFile.valid() ? UnixPathOf(wine, outFile.path()) : std::string();
  std::string unixErr = errFile.valid() ? UnixPathOf(wine, errFile.path()) : std::string();
  if (unixOut.empty() || unixErr.empty()) {
    WriteStd(STD_ERROR_HANDLE, "obabel bridge: cannot create temporary capture files\r\n");
    return kBridgeExitNoTempFile;
  }

  // The converter writes to a private name; only this process publishes the file, below.
  std::vector<std::wstring> converterArgs = args;
  const TOutputArgument output = FindOutputArgument(args);
  std::wstring outputName, privateName;
  std::string unixPrivate = "-";
  if (output.Index != SIZE_MAX && IsDrivePath(args[output.Index].substr(output.Offset))) {
    outputName = args[output.Index].substr(output.Offset);
    privateName = PrivateOutputName(outputName);
    converterArgs[output.Index] = args[output.Index].substr(0, output.Offset) + privateName;
    unixPrivate = UnixPathOf(wine, privateName);
    if (unixPrivate.empty()) {  // its folder is missing: the converter reports that itself
      converterArgs[output.Index] = args[output.Index];
      privateName.clear();
      unixPrivate = "-";
    }
  }

  std::vector<std::string> unixArgs = {"/bin/sh", "-c", kShellScript, "sh", unixOut, unixErr};
  unixArgs.push_back(merged ? "merged" : "apart");
  unixArgs.push_back(unixPrivate);
  unixArgs.push_back(OwnProcessName());
  unixArgs.push_back(UnixConverterPath());
  for (const std::wstring& arg : converterArgs) unixArgs.push_back(UnixArgument(wine, arg));
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
  if (!privateName.empty() && !PublishOutput(privateName, outputName)) {
    WriteStd(STD_ERROR_HANDLE, "obabel bridge: cannot move the output into place\r\n");
    return kBridgeExitNoOutput;
  }
  return static_cast<int>(status);
}

}  // namespace pelorin
