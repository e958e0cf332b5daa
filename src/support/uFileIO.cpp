// Portable file access by 8-bit names (msvcrt takes them in the ANSI code page).
#include "uFileIO.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "uText.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pelorin {

TFile OpenReadDenyWrite(const std::string& path) {
#ifdef _WIN32
  return TFile(_fsopen(path.c_str(), "rb", _SH_DENYWR));
#else
  return TFile(std::fopen(path.c_str(), "rb"));
#endif
}

TFile OpenReadShared(const std::string& path) {
#ifdef _WIN32
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
    return TFile();
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return TFile();
  }
  std::FILE* f = _fdopen(fd, "rb");
  if (!f) _close(fd);  // closes the handle with it
  return TFile(f);
#else
  return TFile(std::fopen(path.c_str(), "rb"));
#endif
}

TFile OpenWriteTruncate(const std::string& path) {
  return TFile(std::fopen(path.c_str(), "wb"));
}

std::optional<uint64_t> FileSizeOf(std::FILE* f) {
  if (!f) return std::nullopt;
#ifdef _WIN32
  __int64 size = _filelengthi64(_fileno(f));
  if (size < 0) return std::nullopt;
  return static_cast<uint64_t>(size);
#else
  struct stat st {};
  if (fstat(fileno(f), &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
#endif
}

std::optional<uint64_t> FileSizeOf(const std::string& path) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
#else
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
#endif
}

std::optional<TFileStamp> FileStampOf(const std::string& path) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  const uint64_t written =
      (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return TFileStamp{(static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                    static_cast<int64_t>(written)};
#else
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return TFileStamp{static_cast<uint64_t>(st.st_size),
                    static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
#endif
}

bool SeekFile(std::FILE* f, uint64_t offset) {
  if (!f || offset > static_cast<uint64_t>(INT64_MAX)) return false;
#ifdef _WIN32
  return _fseeki64(f, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  static_assert(sizeof(off_t) >= 8, "files over 2 GB need a 64-bit off_t");
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool FileExists(const std::string& path) {
#ifdef _WIN32
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
#else
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

bool DeleteFileIfExists(const std::string& path) {
  if (path.empty() || !FileExists(path)) return true;
#ifdef _WIN32
  return DeleteFileA(path.c_str()) != 0;
#else
  return unlink(path.c_str()) == 0;
#endif
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  TFile f(std::fopen(path.c_str(), "rb"));
  if (!f) return std::nullopt;
  auto size = FileSizeOf(f.get());
  std::string bytes;
  if (size) bytes.reserve(static_cast<size_t>(*size));
  char buffer[64 * 1024];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) bytes.append(buffer, n);
  if (std::ferror(f.get())) return std::nullopt;
  return bytes;
}

std::string ReadFileHead(const std::string& path, size_t maxBytes) {
  TFile f(std::fopen(path.c_str(), "rb"));
  if (!f) return {};
  std::string bytes(maxBytes, '\0');
  bytes.resize(std::fread(bytes.data(), 1, maxBytes, f.get()));
  return bytes;
}

bool CanCreateFileIn(const std::string& directory) {
  static std::atomic<unsigned> probes{0};
#ifdef _WIN32
  unsigned long process = GetCurrentProcessId();
#else
  unsigned long process = static_cast<unsigned long>(getpid());
#endif
  std::string probe = directory + "pelorin_probe_" + std::to_string(process) + "_" + std::to_string(++probes) + ".tmp";
  TFile f = OpenWriteTruncate(probe);
  if (!f) return false;
  f.reset();
  DeleteFileIfExists(probe);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string& error) {
  TFile f = OpenWriteTruncate(path);
  if (!f) {
    error = std::strerror(errno);
    return false;
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
    error = std::strerror(errno);
    return false;
  }
  if (std::fclose(f.release()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

bool ReplaceFileContents(const std::string& path, const std::string& bytes, std::string& error) {
  std::string temp = path + ".new";
  if (!WriteWholeFile(temp, bytes, error)) {
    DeleteFileIfExists(temp);
    return false;
  }
#ifdef _WIN32
  bool moved = MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  bool moved = std::rename(temp.c_str(), path.c_str()) == 0;
#endif
  if (!moved) {
    error = "cannot replace " + path;
    DeleteFileIfExists(temp);
  }
  return moved;
}

TSignalledReader::TSignalledReader(TStopToken stop) : stop_(std::move(stop)) {}

#ifdef _WIN32

TSignalledReader::~TSignalledReader() {
  if (file_) CloseHandle(file_);
  if (done_) CloseHandle(done_);
}

bool TSignalledReader::Open(const std::string& path) {
  done_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!done_) {  // the reason is the event's, and no file is left open without one
    error_ = SystemErrorText(GetLastError());
    return false;
  }
  HANDLE h =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = SystemErrorText(GetLastError());
    return false;
  }
  file_ = h;
  return true;
}

TSignalledReader::TRead TSignalledReader::Read(char* buffer, size_t size, size_t& got) {
  got = 0;
  if (stop_.StopRequested()) return TRead::kCancelled;
  OVERLAPPED request{};
  request.Offset = static_cast<DWORD>(position_);
  request.OffsetHigh = static_cast<DWORD>(position_ >> 32);
  request.hEvent = done_;
  ResetEvent(done_);
  const DWORD asked = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
  DWORD read = 0;
  if (!ReadFile(file_, buffer, asked, nullptr, &request)) {
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) return TRead::kEnd;
    if (error != ERROR_IO_PENDING) {
      error_ = SystemErrorText(error);
      return TRead::kFailed;
    }
    HANDLE waits[2] = {done_, stop_.Event()};
    const DWORD wait = WaitForMultipleObjects(stop_.Event() ? 2 : 1, waits, FALSE, stop_.Deadline().LeftMs());
    if (wait != WAIT_OBJECT_0) {
      // The request and the buffer must outlive the read: it is cancelled and waited for.
      CancelIoEx(file_, &request);
      GetOverlappedResult(file_, &request, &read, TRUE);
      return TRead::kCancelled;
    }
  }
  if (!GetOverlappedResult(file_, &request, &read, FALSE)) {
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) return TRead::kEnd;
    if (error == ERROR_OPERATION_ABORTED) return TRead::kCancelled;
    error_ = SystemErrorText(error);
    return TRead::kFailed;
  }
  if (read == 0) return TRead::kEnd;
  position_ += read;
  got = read;
  return TRead::kData;
}

std::optional<uint64_t> TSignalledReader::Size() const {
  LARGE_INTEGER size{};
  if (!file_ || GetFileType(file_) != FILE_TYPE_DISK || !GetFileSizeEx(file_, &size)) return std::nullopt;
  return static_cast<uint64_t>(size.QuadPart);
}

#else

TSignalledReader::~TSignalledReader() = default;

bool TSignalledReader::Open(const std::string& path) {
  errno = 0;
  file_ = OpenReadShared(path);
  if (!file_) error_ = errno != 0 ? std::strerror(errno) : "cannot open";
  return file_ != nullptr;
}

TSignalledReader::TRead TSignalledReader::Read(char* buffer, size_t size, size_t& got) {
  got = 0;
  if (stop_.StopRequested()) return TRead::kCancelled;
  errno = 0;
  got = std::fread(buffer, 1, size, file_.get());
  if (got > 0) return TRead::kData;
  if (!std::ferror(file_.get())) return TRead::kEnd;
  error_ = errno != 0 ? std::strerror(errno) : "read error";
  return TRead::kFailed;
}

std::optional<uint64_t> TSignalledReader::Size() const {
  return FileSizeOf(file_.get());
}

#endif

namespace {

std::string WriteErrorText() {
  return std::string("Temp file write error: ") + (errno != 0 ? std::strerror(errno) : "unknown error");
}

}  // namespace

bool WriteRecordTemp(const std::string& path, const std::string& recordText, std::string& error) {
  error.clear();
  errno = 0;
  TFile f = OpenWriteTruncate(path);
  if (!f) {
    error = WriteErrorText();  // nothing was created, and a file we could not open stays as it was
    return false;
  }
  bool written =
      recordText.empty() || std::fwrite(recordText.data(), 1, recordText.size(), f.get()) == recordText.size();
  bool closed = std::fclose(f.release()) == 0;
  if (written && closed) return true;
  error = WriteErrorText();
  DeleteFileIfExists(path);  // a truncated record would be converted as if it were whole
  return false;
}

}  // namespace pelorin
