// Running obabel.exe: a windowless child with captured output and a time-out, and the
// 2D and 3D (surface and atom list) conversions built on it.
#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <optional>
#include <vector>

#include "formats/uMolSurvey.h"
#include "support/uDebugLog.h"
#include "support/uFileIO.h"
#include "support/uModuleThread.h"
#include "support/uText.h"
#include "support/uWinHandle.h"
#include "uConverter.h"

namespace pelorin {
namespace {

std::atomic<uint32_t> gTimeoutMs{30000};
thread_local const std::atomic<bool>* tBackgroundFlag = nullptr;
constexpr DWORD kCancelPollMs = 50;
constexpr ULONGLONG kJobPollMs = 10;
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

// The child and everything it starts: its console host, and whatever a wrapper script
// configured as the converter runs. Closing the job ends them all, so a killed converter
// leaves nothing behind that holds the capture or the output file. Under Wine the console
// host inherits the child's handles, and one whose child was killed while still starting
// would otherwise keep running, and keep the capture open, for good.
class TChildJob {
 public:
  TChildJob() : job_(CreateJobObjectA(nullptr, nullptr)) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job_ && !SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
      job_.reset();
  }
  // Puts the (suspended) child into the job and lets it run. A host that is itself in a job
  // which allows no nesting refuses; the child then runs on its own and is killed alone.
  void AdoptAndResume(HANDLE process, HANDLE thread) {
    holds_ = job_ && AssignProcessToJobObject(job_.get(), process);
    if (!holds_) DebugLog("RunProcessWait: child not in a job: " + LastErrorText());
    ResumeThread(thread);
  }
  void Terminate(HANDLE process) {
    if (!holds_ || !TerminateJobObject(job_.get(), 1)) TerminateProcess(process, 1);
  }
  // Ends every process of the job and waits until none is left, at most `waitMs`; true when the
  // job is empty (a child outside any job: when it has ended). Ending a job passes over a member
  // whose first thread has not run yet (Wine: a console host the child was still starting when it
  // was killed), which then runs on, holding the child's output handle: each member is ended as
  // soon as it runs, and the run is over only when the job is empty.
  bool EndAll(HANDLE process, uint32_t waitMs) {
    const ULONGLONG until = GetTickCount64() + waitMs;
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION members{};
    while (
        holds_ && TerminateJobObject(job_.get(), 1) &&
        QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &members, sizeof members, nullptr)) {
      if (members.ActiveProcesses == 0) return true;
      const ULONGLONG now = GetTickCount64();
      if (now >= until) return false;
      Sleep(static_cast<DWORD>(std::min<ULONGLONG>(kJobPollMs, until - now)));
    }
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) TerminateProcess(process, 1);
    const ULONGLONG now = GetTickCount64();
    return WaitForSingleObject(process, static_cast<DWORD>(until > now ? until - now : 0)) == WAIT_OBJECT_0;
  }
  // Ends whatever the child left running.
  void Close() { job_.reset(); }

 private:
  TUniqueHandle job_;
  bool holds_ = false;
};

constexpr int kRemoveAttempts = 150;
constexpr DWORD kRemoveRetryMs = 20;

// Deletes a file a child wrote to, and waits until it is gone, at most three seconds or until
// `deadline`; true when it is gone. A child's copy of the handle may close a moment after its
// process handle is signalled (seen under Wine, and with scanners on Windows). The capture is
// shared for deletion, so the delete is taken at once and the file goes when that copy closes,
// however late; the wait lets the caller find the folder as it was.
bool DeleteSoonAfterExit(const std::string& path, const TDeadline& deadline) {
  for (int attempt = 0; attempt < kRemoveAttempts; ++attempt) {
    if (DeleteFileIfExists(path) && !FileExists(path)) return true;
    if (deadline.Passed()) return false;
    Sleep(deadline.Cap(kRemoveRetryMs));
  }
  return false;
}

// Deletes the file within the caller's deadline, or goes on trying on a thread of its own.
void DeleteSoonAfterExitOrLater(const std::string& path, const TDeadline& deadline) {
  if (DeleteSoonAfterExit(path, deadline) || !deadline.IsSet()) return;
  StartModuleThread([path] { DeleteSoonAfterExit(path, TDeadline()); }, "RunProcessWait");
}

// Copies the captured output into the log, line by line, then deletes the file.
void LogAndDeleteCapture(const std::string& capturePath, const TDeadline& deadline) {
  if (!FileExists(capturePath)) return;
  if (auto text = ReadWholeFile(capturePath)) {
    std::string lines = NormalizeLineBreaks(*text);
    size_t start = 0, end;
    while ((end = lines.find("\r\n", start)) != std::string::npos) {
      DebugLogFmt("  obabel> %s", lines.substr(start, end - start).c_str());
      start = end + 2;
    }
  }
  DeleteSoonAfterExitOrLater(capturePath, deadline);
}

bool RunsInBackground() {
  return tBackgroundFlag && tBackgroundFlag->load();
}

// A child started below normal priority gets normal priority once its run is no longer in the
// background; true while it stays below.
bool FollowBackgroundFlag(HANDLE process, bool background) {
  if (!background || RunsInBackground()) return background;
  SetPriorityClass(process, NORMAL_PRIORITY_CLASS);
  return false;
}

// Waits up to `timeout` ms for the child, and for the stop's event beside it; the stop and the
// background flag are looked at between slices.
DWORD WaitOrCancel(HANDLE process, uint32_t timeout, bool background, const TStopToken& stop, bool& cancelled) {
  cancelled = false;
  if (!stop.CanStop() && !background) return WaitForSingleObject(process, timeout);
  HANDLE handles[2] = {process, static_cast<HANDLE>(stop.Event())};
  const DWORD count = handles[1] ? 2 : 1;
  DWORD wait = WAIT_TIMEOUT;
  bool ended = WaitWithDeadline(
      timeout, kCancelPollMs, GetTickCount64,
      [&](uint32_t ms) {
        wait = WaitForMultipleObjects(count, handles, FALSE, ms);
        return wait != WAIT_TIMEOUT && wait != WAIT_OBJECT_0 + 1;  // the stop's event: told below
      },
      [&] {
        background = FollowBackgroundFlag(process, background);
        return cancelled = stop.StopRequested();
      });
  return ended ? wait : WAIT_TIMEOUT;
}

// Waits for the child; Exited with its exit code when it ended in time. A child out of time (or
// cancelled) is killed with its job; the caller waits for the job's end.
TRunEnd WaitForChild(HANDLE process, TChildJob& job, uint32_t timeout, bool background, const TStopToken& stop,
                     int32_t& exitCode) {
  bool cancelled = false;
  DWORD wait = WaitOrCancel(process, timeout, background, stop, cancelled);
  if (wait == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code)) {
      exitCode = static_cast<int32_t>(code);
      return TRunEnd::Exited;
    }
    DebugLog("RunProcessWait: GetExitCodeProcess FAILED: " + LastErrorText());
    return TRunEnd::Failed;
  }
  if (wait == WAIT_TIMEOUT) {
    if (cancelled)
      DebugLog("RunProcessWait: CANCELLED, terminating obabel process");
    else
      DebugLogFmt("RunProcessWait: TIMEOUT after %u ms, terminating obabel process", timeout);
    job.Terminate(process);
    return cancelled ? TRunEnd::Cancelled : TRunEnd::TimedOut;
  }
  DebugLog("RunProcessWait: WaitForSingleObject FAILED: " + LastErrorText());
  return TRunEnd::Failed;
}

bool IsBareFileName(const std::string& path) {
  return path.find_first_of("\\/:") == std::string::npos;
}

// The full path the converter is started by, or empty when there is none. A bare name is
// looked up along PATH only; a relative path would depend on the current directory, which
// in a file manager is the folder being browsed, so it counts as not found.
std::string ResolveConverter(const std::string& path) {
  if (IsBareFileName(path)) return FindOnSearchPath(path);
  return IsAbsolutePath(path) && FileExists(path) ? path : std::string();
}

// The configuration with the converter's resolved full path in place of the one given.
TPelorinConfig WithConverter(const TPelorinConfig& config, const std::string& program) {
  TPelorinConfig c = config;
  c.OBabelPath = program;
  return c;
}

// Why a run did not end with the converter's own exit.
const char* RunEndReason(TRunEnd end) {
  switch (end) {
    case TRunEnd::TimedOut:
      return "timed out";
    case TRunEnd::Cancelled:
      return "stopped";
    case TRunEnd::Failed:
      return "the wait for the converter failed";
    case TRunEnd::NotStarted:
    case TRunEnd::Exited:
      break;
  }
  return "CreateProcess failed";
}

// The exit code and the output file of a finished run; the message says what is wrong.
[[nodiscard]] bool CheckConverterOutput(const std::string& command, int32_t exitCode, const std::string& outputPath,
                                        const TDeadline& deadline, std::string& error) {
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
    Sleep(deadline.Cap(100));
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

// One converter run and the checks of its result; the message says what went wrong.
TRunEnd RunConverterAttempt(const std::string& program, const std::string& command, const std::string& inputPath,
                            const std::string& outputPath, const TConversionLimits& limits, std::string& error) {
  const uint32_t timeoutMs = limits.TimeoutMs;
  DeleteFileIfExists(outputPath);
  int32_t exitCode = -1;
  TRunEnd end = RunProcessFor(program, command, timeoutMs, exitCode, limits.Deadline, limits.Stop);
  if (end == TRunEnd::TimedOut) {
    error = TimeoutMessage(timeoutMs ? timeoutMs : gTimeoutMs.load(), inputPath);
    DebugLog("RunOBabelMode ERROR: " + error);
    return end;
  }
  if (end != TRunEnd::Exited) {
    error = std::string(RunEndReason(end)) + ": " + command;
    DebugLog("RunOBabelMode ERROR: " + error);
    return end;
  }
  if (!CheckConverterOutput(command, exitCode, outputPath, limits.Deadline, error)) return TRunEnd::Failed;
  return TRunEnd::Exited;
}

std::string WithoutGen3D(const std::string& arguments) {
  return RemoveToken(arguments, "--gen3d");
}

// The 3D run once more without --gen3d, for molecules whose 3D coordinate generation fails.
// `caller` names the conversion in the log.
[[nodiscard]] bool RunWithoutGen3D(const TPelorinConfig& config, const std::string& inputPath,
                                   const std::string& arguments, const std::string& extension,
                                   const TConversionLimits& limits, const char* caller, std::string& outPath,
                                   std::string& error) {
  std::string reduced = WithoutGen3D(arguments);
  std::string program = ResolveConverter(config.OBabelPath);
  if (Trim(reduced) == Trim(arguments) || program.empty()) return false;
  std::string outputPath = MakeTempFileName(config.TempDir, "pelorinout", extension);
  TFileRemover output(outputPath);
  std::string command = BuildCommandLine(WithConverter(config, program), inputPath, reduced, outputPath);
  int32_t exitCode = -1;
  const TRunEnd end = RunProcessFor(program, command, limits.TimeoutMs, exitCode, limits.Deadline, limits.Stop);
  if (end != TRunEnd::Exited) {
    error += std::string(" | fallback ") + RunEndReason(end);
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
    std::string kind = extension.substr(1);  // ".stl" -> "STL"
    for (char& c : kind) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    error += " | fallback produced no " + kind + " file";
    return false;
  }
  DebugLogFmt("%s: fallback without --gen3d succeeded.", caller);
  output.Release();
  outPath = outputPath;
  return true;
}

// A failed 3D run is tried again without --gen3d when the converter itself failed (not when it
// could not start, ran out of time or was stopped).
bool WantsGen3DFallback(const std::string& error, const TConversionLimits& limits) {
  return !limits.Stop.StopRequested() && LowerAscii(error).find("exit code=") != std::string::npos;
}

}  // namespace

TConversionPriorityScope::TConversionPriorityScope(const std::atomic<bool>& background) : previous_(tBackgroundFlag) {
  tBackgroundFlag = &background;
}

TConversionPriorityScope::~TConversionPriorityScope() {
  tBackgroundFlag = previous_;
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

bool RunProcessWait(const std::string& program, const std::string& commandLine, int32_t& exitCode) {
  return RunProcessFor(program, commandLine, 0, exitCode) == TRunEnd::Exited;
}

TRunEnd RunProcessFor(const std::string& program, const std::string& commandLine, uint32_t timeoutMs, int32_t& exitCode,
                      const TDeadline& deadline, const TStopToken& stop) {
  exitCode = -1;
  if (!IsAbsolutePath(program)) {
    DebugLog("RunProcessWait: not a full path, not started: " + program);
    return TRunEnd::NotStarted;
  }
  std::string capturePath = MakeTempFileName("obabel_out", ".tmp");
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  TUniqueHandle capture(CreateFileA(capturePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!capture) {
    DebugLog("RunProcessWait: CreateFile for capture log FAILED: " + LastErrorText());
    return TRunEnd::NotStarted;
  }

  STARTUPINFOEXA startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = INVALID_HANDLE_VALUE;
  startup.StartupInfo.hStdOutput = capture.get();
  startup.StartupInfo.hStdError = capture.get();
  TInheritOnly inheritOnly(capture.get());
  // Started suspended so that it is in its job before it can start anything of its own.
  DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED;
  const bool background = RunsInBackground();
  if (inheritOnly.Ok()) {
    startup.lpAttributeList = inheritOnly.List();
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  } else {
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
  }

  DebugLogFmt("RunProcessWait: CMD=[%s]", commandLine.c_str());
  TChildJob job;
  std::vector<char> mutableCommand(commandLine.begin(), commandLine.end());
  mutableCommand.push_back('\0');
  PROCESS_INFORMATION info{};
  BOOL created = CreateProcessA(program.c_str(), mutableCommand.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                &startup.StartupInfo, &info);
  capture.reset();  // the child holds its own copy
  if (!created) {
    DebugLog("RunProcessWait: CreateProcess FAILED: " + LastErrorText());
    DeleteFileIfExists(capturePath);
    return TRunEnd::NotStarted;
  }
  TUniqueHandle thread(info.hThread);
  TUniqueHandle process(info.hProcess);
  // Still suspended: it runs at this priority from its start.
  if (background) SetPriorityClass(process.get(), BELOW_NORMAL_PRIORITY_CLASS);
  job.AdoptAndResume(process.get(), thread.get());

  const uint32_t limit = deadline.Cap(timeoutMs ? timeoutMs : gTimeoutMs.load());
  TRunEnd end = WaitForChild(process.get(), job, limit, background, stop, exitCode);
  if (end != TRunEnd::Exited) exitCode = -1;
  thread.reset();
  DebugLogFmt("RunProcessWait: ExitCode=%d", exitCode);
  // The run is over when its whole job is: any process the child started may hold its output.
  if (job.EndAll(process.get(), deadline.Cap(gKillWaitMs))) {
    job.Close();
    process.reset();
    LogAndDeleteCapture(capturePath, deadline);
    return end;
  }
  // Not over within the kill's wait or the caller's deadline: the job's end and the capture's
  // removal are awaited on a thread of its own.
  struct TRemains {
    TChildJob Job;
    TUniqueHandle Process;
  };
  auto remains = std::make_shared<TRemains>(TRemains{std::move(job), std::move(process)});
  auto finish = [remains, capturePath] {
    remains->Job.EndAll(remains->Process.get(), gKillWaitMs);
    remains->Job.Close();
    LogAndDeleteCapture(capturePath, TDeadline());
  };
  if (!StartModuleThread(finish, "RunProcessWait")) finish();
  return end;
}

std::string BuildConverterCommand(const TPelorinConfig& config, const std::string& inputPath,
                                  const std::string& arguments, const std::string& extension, std::string& outputPath) {
  outputPath = MakeTempFileName(config.TempDir, "pelorinout", extension);
  return BuildCommandLine(config, inputPath, arguments, outputPath);
}

std::string BuildConverterCommand(const TPelorinConfig& config, const std::string& inputPath, TViewMode mode,
                                  std::string& outputPath) {
  return BuildConverterCommand(config, inputPath, mode == TViewMode::k2D ? config.CmdLine2D : config.CmdLine3D,
                               mode == TViewMode::k2D ? ".svg" : ".stl", outputPath);
}

namespace {

// One conversion of `inputPath` with `arguments` into a new file of `extension`: the runner,
// its attempts and limits; the output file is the caller's on success and gone otherwise.
[[nodiscard]] bool RunConversion(const TPelorinConfig& config, const std::string& inputPath,
                                 const std::string& modeText, std::string arguments, const std::string& extension,
                                 std::string& outputPath, std::string& error, const TConversionLimits& limits) {
  outputPath.clear();
  error.clear();
  DebugLogFmt("RunOBabelMode: InputFile=[%s] Mode=%s", inputPath.c_str(), modeText.c_str());
  DebugLogFmt("RunOBabelMode: OBabelPath=[%s]", config.OBabelPath.c_str());
  if (Trim(config.OBabelPath).empty()) {
    error =
        "OBabelPath leer \xE2\x80\x93 pelorin.ini pr\xC3\xBC"
        "fen.";
    DebugLog("RunOBabelMode ERROR: " + error);
    return false;
  }
  std::string program = ResolveConverter(config.OBabelPath);
  if (program.empty()) {
    error = "obabel.exe not found: " + config.OBabelPath;
    DebugLog("RunOBabelMode ERROR: " + error);
    return false;
  }
  if (program != config.OBabelPath) DebugLogFmt("RunOBabelMode: converter found at [%s]", program.c_str());
  std::string output;
  if (!Trim(limits.ExtraArgs).empty()) arguments += " " + Trim(limits.ExtraArgs);
  std::string command = BuildConverterCommand(WithConverter(config, program), inputPath, arguments, extension, output);
  DebugLogFmt("RunOBabelMode: CMD=[%s]", command.c_str());
  DebugLogFmt("RunOBabelMode: expected OutputFile=[%s]", output.c_str());
  for (int attempt = 0; attempt < limits.Attempts && !limits.Stop.StopRequested() && !limits.Deadline.Passed();
       ++attempt) {
    TRunEnd end = RunConverterAttempt(program, command, inputPath, output, limits, error);
    if (end == TRunEnd::Exited) {
      outputPath = output;
      return true;
    }
    if (end == TRunEnd::TimedOut) break;  // the same run would only time out again
  }
  // An empty or partial file is of no use to anyone; a killed converter may still hold it.
  if (!DeleteFileIfExists(output) && limits.Deadline.IsSet())
    StartModuleThread([output] { DeleteSoonAfterExit(output, TDeadline()); }, "RunOBabelMode");
  return false;
}

}  // namespace

bool RunOBabelMode(const TPelorinConfig& config, const std::string& inputPath, TViewMode mode, std::string& outputPath,
                   std::string& error, const TConversionLimits& limits) {
  return RunConversion(config, inputPath, ViewModeText(mode),
                       mode == TViewMode::k2D ? config.CmdLine2D : config.CmdLine3D,
                       mode == TViewMode::k2D ? ".svg" : ".stl", outputPath, error, limits);
}

bool RunOBabelMode(const std::string& inputPath, TViewMode mode, std::string& outputPath, std::string& error) {
  return RunOBabelMode(ConfigSnapshot(), inputPath, mode, outputPath, error);
}

bool RunOBabel(const std::string& inputPath, std::string& svgText, std::string& error,
               const TConversionLimits& limits) {
  svgText.clear();
  error.clear();
  std::string svgPath;
  if (!RunOBabelMode(ConfigSnapshot(), inputPath, TViewMode::k2D, svgPath, error, limits)) return false;
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

bool RunOBabelSTL(const std::string& inputPath, std::string& stlPath, std::string& error,
                  const TConversionLimits& limits) {
  stlPath.clear();
  error.clear();
  TPelorinConfig config = ConfigSnapshot();
  // --gen3d would replace the geometry of a crystal structure, a docking pose or a 3D record
  // with a generated conformer (and takes minutes on a protein): coordinates the file has are kept.
  std::optional<TRecordSurvey> survey = SurveyFileRecord(inputPath, 0);
  if (survey && survey->Has3D) {
    config.CmdLine3D = ThreeDArguments(config.CmdLine3D, true);
    DebugLog("RunOBabelSTL: the input has 3D coordinates; they are kept (no --gen3d)");
  }
  bool ok = RunOBabelMode(config, inputPath, TViewMode::k3D, stlPath, error, limits);
  if (!ok && limits.Attempts > 1 && WantsGen3DFallback(error, limits))
    ok = RunWithoutGen3D(config, inputPath, Trim(config.CmdLine3D + " " + limits.ExtraArgs), ".stl", limits,
                         "RunOBabelSTL", stlPath, error);
  if (ok)
    DebugLogFmt("RunOBabelSTL: STL ready [%s]", stlPath.c_str());
  else
    DebugLog("RunOBabelSTL FAILED: " + error);
  return ok;
}

bool RunOBabelXYZ(const std::string& inputPath, std::string& xyzPath, std::string& error,
                  const TConversionLimits& limits) {
  xyzPath.clear();
  error.clear();
  const TPelorinConfig config = ConfigSnapshot();
  std::optional<TRecordSurvey> survey = SurveyFileRecord(inputPath, 0);
  const bool has3D = survey && survey->Has3D;
  const bool pdb = MolFormatFromFileName(inputPath) == TMolFormat::Pdb;
  const std::string arguments = AtomListArguments(config.CmdLine3D, has3D, pdb);
  if (has3D) DebugLog("RunOBabelXYZ: the input has 3D coordinates; they are kept (no --gen3d)");
  bool ok = RunConversion(config, inputPath, "3D atoms", arguments, ".xyz", xyzPath, error, limits);
  // A run limited to one attempt (a thumbnail's) has no time for a second one either.
  if (!ok && limits.Attempts > 1 && WantsGen3DFallback(error, limits))
    ok = RunWithoutGen3D(config, inputPath, Trim(arguments + " " + limits.ExtraArgs), ".xyz", limits, "RunOBabelXYZ",
                         xyzPath, error);
  if (ok)
    DebugLogFmt("RunOBabelXYZ: XYZ ready [%s]", xyzPath.c_str());
  else
    DebugLog("RunOBabelXYZ FAILED: " + error);
  return ok;
}

}  // namespace pelorin
