// The optional diagnostic log: one unbuffered, write-through append per line.
#include "uDebugLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

#include "uText.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace pelorin {
namespace {

#ifdef _WIN32
using TPathString = std::wstring;
constexpr wchar_t kSeparator = L'\\';
#else
using TPathString = std::string;
constexpr char kSeparator = '/';
#endif

constexpr size_t kMaxDirChars = 240;
constexpr size_t kMaxDefaultDirChars = 260;
const char kRule[] = "================================================================";

// Owns the open log file; all writes are single calls on a write-through handle.
class TLogFile {
 public:
  TLogFile() = default;
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;
  ~TLogFile() { Close(); }

  bool Open(const TPathString& path) {
    Close();
#ifdef _WIN32
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    SetFilePointer(h, 0, nullptr, FILE_END);
    handle_ = h;
#else
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_SYNC, 0644);
    if (fd < 0) return false;
    handle_ = fd;
#endif
    return true;
  }

  bool IsOpen() const {
    return handle_ != kInvalid;
  }

  void WriteLine(std::string line) {
    if (!IsOpen()) return;
    line += "\r\n";
#ifdef _WIN32
    DWORD written = 0;
    WriteFile(handle_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
#else
    ssize_t ignored = ::write(handle_, line.data(), line.size());
    (void)ignored;
#endif
  }

  void Close() {
    if (!IsOpen()) return;
#ifdef _WIN32
    CloseHandle(handle_);
#else
    ::close(handle_);
#endif
    handle_ = kInvalid;
  }

 private:
#ifdef _WIN32
  static inline const HANDLE kInvalid = INVALID_HANDLE_VALUE;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  static constexpr int kInvalid = -1;
  int handle_ = -1;
#endif
};

struct TLocalTime {
  int year, month, day, hour, minute, second, millisecond;
};

TLocalTime NowLocal() {
#ifdef _WIN32
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
#else
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm tm{};
  localtime_r(&tv.tv_sec, &tm);
  return {tm.tm_year + 1900,
          tm.tm_mon + 1,
          tm.tm_mday,
          tm.tm_hour,
          tm.tm_min,
          tm.tm_sec,
          static_cast<int>(tv.tv_usec / 1000)};
#endif
}

std::string LineStamp() {
  TLocalTime t = NowLocal();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
  return buf;
}

std::string HeaderStamp() {
  TLocalTime t = NowLocal();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

TPathString ToPathString(const std::string& s) {
#ifdef _WIN32
  return AnsiToWide(s);
#else
  return s;
#endif
}

std::string FromPathString(const TPathString& s) {
#ifdef _WIN32
  return WideToAnsi(s);
#else
  return s;
#endif
}

// Module state. The flag is read without the lock as a cheap early-out; the handle is
// only touched under it, so a line never goes to a handle that is being replaced.
struct TLogState {
  std::mutex lock;
  TLogFile file;
  std::atomic<bool> enabled{false};
  std::string fileName;
  TPathString defaultDir;
};

TLogState& State() {
  static TLogState* state = new TLogState;  // never destroyed: lines may come during unload
  return *state;
}

TPathString BuildLogPath(const std::string& directory, const TPathString& defaultDir) {
  TPathString path;
  if (!directory.empty()) {
    path = ToPathString(directory).substr(0, kMaxDirChars);
    if (!path.empty() && path.back() != kSeparator) path += kSeparator;
  } else {
    path = defaultDir.substr(0, kMaxDirChars);
  }
  return path + ToPathString("pelorindebug.log");
}

}  // namespace

#ifdef _WIN32
void DebugLogSetDefaultDir(const std::wstring& directory) {
#else
void DebugLogSetDefaultDir(const std::string& directory) {
#endif
  TLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  s.defaultDir = directory.substr(0, kMaxDefaultDirChars);
}

void DebugLogSetup(const std::string& directory, bool enable) {
  TLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!enable) {
    if (s.file.IsOpen()) {
      s.file.WriteLine(LineStamp() + "  Logging disabled \xE2\x80\x93 closing log.");
      s.file.Close();
    }
    s.enabled = false;
    s.fileName.clear();
    return;
  }
  TPathString path = BuildLogPath(directory, s.defaultDir);
  s.fileName = FromPathString(path);
  s.file.Close();
  if (!s.file.Open(path)) {
    s.enabled = false;
    return;
  }
  s.enabled = true;
  std::string stamp = HeaderStamp();
  s.file.WriteLine("");
  s.file.WriteLine(kRule);
  s.file.WriteLine(stamp + "  Pelorin WLX Plugin \xE2\x80\x93 log opened");
  s.file.WriteLine(stamp + "  PluginDir: " + directory);
  s.file.WriteLine(stamp + "  LogFile:   " + s.fileName);
  s.file.WriteLine(kRule);
}

void DebugLog(const std::string& message) {
  TLogState& s = State();
  if (!s.enabled) return;
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.file.IsOpen()) s.file.WriteLine(LineStamp() + "  " + message);
}

void DebugLogFmt(const char* format, ...) {
  if (!State().enabled || !format) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string message;
  if (n > 0) {
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    message.assign(buffer.data(), static_cast<size_t>(n));
  }
  va_end(args);
  DebugLog(message);
}

void DebugLogSection(const std::string& title) {
  if (!State().enabled) return;
  DebugLog("--- " + title + " ---");
}

void DebugLogClose() {
  TLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.enabled && s.file.IsOpen()) s.file.WriteLine(LineStamp() + "  Log closed.");
  s.file.Close();
  s.enabled = false;
}

void DebugLogCloseAtProcessExit() {
  TLogState& s = State();
  std::unique_lock<std::mutex> guard(s.lock, std::try_to_lock);
  if (!guard.owns_lock()) return;
  if (s.enabled && s.file.IsOpen()) s.file.WriteLine(LineStamp() + "  Log closed.");
  s.file.Close();
  s.enabled = false;
}

bool DebugLogEnabled() {
  return State().enabled;
}

std::string DebugLogFileName() {
  TLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.fileName;
}

}  // namespace pelorin
