// Running obabel.exe: a windowless child with captured output and a time-out, and the
// 2D and 3D conversions built on it.
#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "support/uDebugLog.h"
#include "support/uFileIO.h"
#include "support/uText.h"
#include "support/uWinHandle.h"
#include "uConverter.h"

namespace pelorin {
namespace {

std::atomic<uint32_t> gTimeoutMs{30000};
thread_local const std::atomic<bool>* tCancelFlag = nullptr;
constexpr DWORD kCancelPollMs = 50;
std::atomic<uint32_t> gKillWaitMs{5000};

std::string LastErrorText() {
  return SystemErrorText(GetLastError());
}

// A thread attribute list that lets the child inherit exactly one handle. Without it
// a child started at the same moment on another thread would also inherit this run's
// capture handle and keep the file from being deleted.
class TInheritOnly {
 public:
  explicit TInheritOnly(HANDLE handle) : handle_(handle) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (size && InitializeProcThreadAttributeList(list, 1, 0, &size)) {
      initialised_ = true;
      ok_ = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_, sizeof handle_, nullptr,
                                      nullptr) != 0;
    }
  }
  TInheritOnly(const TInheritOnly&) = delete;
  TInheritOnly& operator=(const TInheritOnly&) = delete;
  ~TInheritOnly() {
    if (initialised_) DeleteProcThreadAttributeList(List());
  }
  bool Ok() const { return ok_; }
  LPPROC_THREAD_ATTRIBUTE_LIST List() { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data()); }

 private:
  HANDLE handle_;
  std::vector<char> buffer_;
  bool initialised_ = false;
  bool ok_ = false;
};

// Deletes a file the child wrote to. The child's copy of the handle may close a moment
// after its process handle is signalled (seen under Wine, and with scanners on Windows);
// on a busy machine that moment has been seen to pass a second, so a refused delete is
// retried for up to five seconds of clock time before the file is given up.
void DeleteSoonAfterExit(const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!DeleteFileIfExists(path) && std::chrono::steady_clock::now() < deadline) Sleep(20);
}

// Copies the captured output into the log, line by line, then deletes the file.
void LogAndDeleteCapture(const std::string& capturePath) {
  if (!FileExists(capturePath)) return;
  if (auto text = ReadWholeFile(capturePath)) {
    std::string lines = NormalizeLineBreaks(*text);
    size_t start = 0, end;
    while ((end = lines.find("\r\n", start)) != std::string::npos) {
      DebugLogFmt("  obabel> %s", lines.substr(start, end - start).c_str());
      start = end + 2;
    }
  }
  DeleteSoonAfterExit(capturePath);
}

// Waits up to `timeout` ms for the child, looking at the cancel flag between slices.
DWORD WaitOrCancel(HANDLE process, uint32_t timeout, bool& cancelled) {
  cancelled = false;
  if (!tCancelFlag) return WaitForSingleObject(process, timeout);
  for (uint32_t waited = 0;;) {
    DWORD slice = std::min<uint32_t>(kCancelPollMs, timeout - waited);
    DWORD wait = WaitForSingleObject(process, slice);
    waited += slice;
    if (wait != WAIT_TIMEOUT || waited >= timeout) return wait;
    if (tCancelFlag->load()) {
      cancelled = true;
      return WAIT_TIMEOUT;
    }
  }
}

// Waits for the child; true with its exit code when it ended in time.
bool WaitForChild(HANDLE process, int32_t& exitCode) {
  uint32_t timeout = gTimeoutMs;
  bool cancelled = false;
  DWORD wait = WaitOrCancel(process, timeout, cancelled);
  if (wait == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code)) {
      exitCode = static_cast<int32_t>(code);
      return true;
    }
    DebugLog("RunProcessWait: GetExitCodeProcess FAILED: " + LastErrorText());
    return false;
  }
  if (wait == WAIT_TIMEOUT) {
    if (cancelled)
      DebugLog("RunProcessWait: CANCELLED, terminating obabel process");
    else
      DebugLogFmt("RunProcessWait: TIMEOUT after %u ms, terminating obabel process", timeout);
    TerminateProcess(process, 1);
    WaitForSingleObject(process, gKillWaitMs);
    return false;
  }
  DebugLog("RunProcessWait: WaitForSingleObject FAILED: " + LastErrorText());
  return false;
}

bool IsBareFileName(const std::string& path) {
  return path.find_first_of("\\/:") == std::string::npos;
}

bool ConverterExists(const std::string& path) {
  return IsBareFileName(path) ? SearchPathFinds(path) : FileExists(path);
}

std::string ModeText(int32_t mode) {
  return mode == kMode2D ? "2D" : "3D";
}

void Sleep100ms() {
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// One converter run and the checks of its result; the message says what went wrong.
bool RunConverterAttempt(const std::string& command, const std::string& outputPath, std::string& error) {
  DeleteFileIfExists(outputPath);
  int32_t exitCode = -1;
  if (!RunProcessWait(command, exitCode)) {
    error = "CreateProcess failed: " + command;
    DebugLog("RunOBabelMode ERROR: " + error);
    return false;
  }
  if (exitCode != 0) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "obabel exit code=%d CMD=", exitCode);
    error = buffer + command;
    DebugLog("RunOBabelMode ERROR: " + error);
    return false;
  }
  if (!FileExists(outputPath)) {
    error = "Output file not created: " + outputPath;
    DebugLog("RunOBabelMode ERROR: " + error);
    Sleep100ms();
    if (!FileExists(outputPath)) return false;
  }
  long long size = static_cast<long long>(FileSizeOf(outputPath).value_or(0));
  DebugLogFmt("RunOBabelMode: OutputFile size=%lld bytes", size);
  if (size == 0) {
    error = "Output file is empty: " + outputPath;
    DebugLog("RunOBabelMode ERROR: " + error);
    return false;
  }
  return true;
}

// The 3D run once more without --gen3d, for molecules whose 3D coordinate generation fails.
bool RunSTLFallback(const TPelorinConfig& config, const std::string& inputPath, std::string& stlPath,
                    std::string& error) {
  std::string reduced = RemoveToken(RemoveToken(config.CmdLine3D, "--gen3d"), "--gen3D");
  if (Trim(reduced) == Trim(config.CmdLine3D)) return false;
  std::string outputPath = MakeTempFileName(config.TempDir, "pelorinout", ".stl");
  TFileRemover output(outputPath);
  std::string command = BuildCommandLine(config, inputPath, reduced, outputPath);
  int32_t exitCode = -1;
  if (!RunProcessWait(command, exitCode)) {
    error += " | fallback CreateProcess failed";
    return false;
  }
  if (exitCode != 0) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, " | fallback exit code=%d", exitCode);
    error += buffer;
    return false;
  }
  // An empty file is no model either; reporting it here keeps a useless file from
  // being handed on as a success.
  if (!FileExists(outputPath) || FileSizeOf(outputPath).value_or(0) == 0) {
    error += " | fallback produced no STL file";
    return false;
  }
  DebugLog("RunOBabelSTL: fallback without --gen3d succeeded.");
  output.Release();
  stlPath = outputPath;
  return true;
}

}  // namespace

TConversionCancelScope::TConversionCancelScope(const std::atomic<bool>& flag) : previous_(tCancelFlag) {
  tCancelFlag = &flag;
}

TConversionCancelScope::~TConversionCancelScope() {
  tCancelFlag = previous_;
}

bool ConversionCancelled() {
  return tCancelFlag && tCancelFlag->load();
}

TRunLimits GetRunLimits() {
  return {gTimeoutMs, gKillWaitMs};
}

void SetRunLimits(const TRunLimits& limits) {
  gTimeoutMs = limits.TimeoutMs;
  gKillWaitMs = limits.KillWaitMs;
}

std::string UniquePart() {
  GUID guid;
  char buffer[40];
  if (CoCreateGuid(&guid) == S_OK) {
    std::snprintf(buffer, sizeof buffer, "%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  } else {
    std::snprintf(buffer, sizeof buffer, "%08lX_%016llX", static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned long long>(GetTickCount64()));
  }
  return buffer;
}

std::string MakeTempFileName(const std::string& tempDir, const std::string& prefix, const std::string& extension) {
  std::string dir = tempDir;
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  return dir + prefix + "_" + UniquePart() + extension;
}

std::string MakeTempFileName(const std::string& prefix, const std::string& extension) {
  return MakeTempFileName(ConfigSnapshot().TempDir, prefix, extension);
}

bool RunProcessWait(const std::string& commandLine, int32_t& exitCode) {
  exitCode = -1;
  std::string capturePath = MakeTempFileName("obabel_out", ".tmp");
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  TUniqueHandle capture(CreateFileA(capturePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!capture) {
    DebugLog("RunProcessWait: CreateFile for capture log FAILED: " + LastErrorText());
    return false;
  }

  STARTUPINFOEXA startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = INVALID_HANDLE_VALUE;
  startup.StartupInfo.hStdOutput = capture.get();
  startup.StartupInfo.hStdError = capture.get();
  TInheritOnly inheritOnly(capture.get());
  DWORD flags = CREATE_NO_WINDOW;
  if (inheritOnly.Ok()) {
    startup.lpAttributeList = inheritOnly.List();
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  } else {
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
  }

  DebugLogFmt("RunProcessWait: CMD=[%s]", commandLine.c_str());
  std::vector<char> mutableCommand(commandLine.begin(), commandLine.end());
  mutableCommand.push_back('\0');
  PROCESS_INFORMATION info{};
  BOOL created = CreateProcessA(nullptr, mutableCommand.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                &startup.StartupInfo, &info);
  capture.reset();  // the child holds its own copy
  if (!created) {
    DebugLog("RunProcessWait: CreateProcess FAILED: " + LastErrorText());
    DeleteFileIfExists(capturePath);
    return false;
  }
  TUniqueHandle thread(info.hThread);
  TUniqueHandle process(info.hProcess);

  bool result = WaitForChild(process.get(), exitCode);
  if (!result) exitCode = -1;
  thread.reset();
  process.reset();
  DebugLogFmt("RunProcessWait: ExitCode=%d", exitCode);
  LogAndDeleteCapture(capturePath);
  return result;
}

std::string BuildConverterCommand(const TPelorinConfig& config, const std::string& inputPath, int32_t mode,
                                  std::string& outputPath) {
  outputPath = MakeTempFileName(config.TempDir, "pelorinout", mode == kMode2D ? ".svg" : ".stl");
  return BuildCommandLine(config, inputPath, mode == kMode2D ? config.CmdLine2D : config.CmdLine3D, outputPath);
}

bool RunOBabelMode(const TPelorinConfig& config, const std::string& inputPath, int32_t mode, std::string& outputPath,
                   std::string& error) {
  outputPath.clear();
  error.clear();
  DebugLogFmt("RunOBabelMode: InputFile=[%s] Mode=%s", inputPath.c_str(), ModeText(mode).c_str());
  DebugLogFmt("RunOBabelMode: OBabelPath=[%s]", config.OBabelPath.c_str());
  if (Trim(config.OBabelPath).empty()) {
    error =
        "OBabelPath leer \xE2\x80\x93 pelorin.ini pr\xC3\xBC"
        "fen.";
    DebugLog("RunOBabelMode ERROR: " + error);
    return false;
  }
  if (!ConverterExists(config.OBabelPath)) {
    error = "obabel.exe not found: " + config.OBabelPath;
    DebugLog("RunOBabelMode ERROR: " + error);
    return false;
  }
  std::string output;
  std::string command = BuildConverterCommand(config, inputPath, mode, output);
  DebugLogFmt("RunOBabelMode: CMD=[%s]", command.c_str());
  DebugLogFmt("RunOBabelMode: expected OutputFile=[%s]", output.c_str());
  for (int attempt = 0; attempt < 2 && !ConversionCancelled(); ++attempt) {
    if (RunConverterAttempt(command, output, error)) {
      outputPath = output;
      return true;
    }
  }
  DeleteFileIfExists(output);  // an empty or partial file is of no use to anyone
  return false;
}

bool RunOBabelMode(const std::string& inputPath, int32_t mode, std::string& outputPath, std::string& error) {
  return RunOBabelMode(ConfigSnapshot(), inputPath, mode, outputPath, error);
}

bool RunOBabel(const std::string& inputPath, std::string& svgText, std::string& error) {
  svgText.clear();
  error.clear();
  std::string svgPath;
  if (!RunOBabelMode(inputPath, kMode2D, svgPath, error)) return false;
  TFileRemover svgFile(svgPath);
  auto bytes = ReadWholeFile(svgPath);
  if (!bytes) {
    error = "Failed to read SVG: " + LastErrorText();
    return false;
  }
  svgText = NormalizeLineBreaks(*bytes);
  DebugLogFmt("RunOBabel: SVG %d chars", static_cast<int>(svgText.size()));
  if (!svgText.empty()) DebugLogFmt("RunOBabel: preview=[%s]", svgText.substr(0, 300).c_str());
  return true;
}

bool RunOBabelSTL(const std::string& inputPath, std::string& stlPath, std::string& error) {
  stlPath.clear();
  error.clear();
  TPelorinConfig config = ConfigSnapshot();
  bool ok = RunOBabelMode(config, inputPath, kMode3D, stlPath, error);
  if (!ok && !ConversionCancelled() && LowerAscii(error).find("exit code=") != std::string::npos)
    ok = RunSTLFallback(config, inputPath, stlPath, error);
  if (ok)
    DebugLogFmt("RunOBabelSTL: STL ready [%s]", stlPath.c_str());
  else
    DebugLog("RunOBabelSTL FAILED: " + error);
  return ok;
}

}  // namespace pelorin
