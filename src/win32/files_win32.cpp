#include "win32/files_win32.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <limits>
#include <utility>

#include "win32/path_rules.h"
#include "win32/utf_conversion.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// INVALID_FILE_ATTRIBUTES when nothing is there (or the drive is absent: the
// program runs with SEM_FAILCRITICALERRORS, so no "no disk" box comes up).
DWORD Attributes(const std::string& path) { return ::GetFileAttributesW(Utf8ToWide(ExtendedLengthPath(path)).c_str()); }

UniqueFile Open(const std::string& path, DWORD access, DWORD disposition) {
  return UniqueFile(::CreateFileW(Utf8ToWide(ExtendedLengthPath(path)).c_str(), access, kShareAll, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsSet(const std::atomic<bool>* flag) { return flag != nullptr && flag->load(); }

// CancelSynchronousIo cancels only the call in progress, and a call between
// two others has nothing to cancel: a sequence of calls that may wait on a
// share looks at cancelled before each of them, so that none begins once the
// monitor has let it go.
std::optional<std::string> ReadHeadOf(const std::string& path, std::size_t maxBytes,
                                      const std::atomic<bool>* cancelled) {
  if (IsSet(cancelled)) return std::nullopt;
  const DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || IsSet(cancelled)) {
    return std::nullopt;
  }
  UniqueFile file = Open(path, GENERIC_READ, OPEN_EXISTING);
  if (!file) return std::nullopt;
  std::string content(maxBytes, '\0');
  std::size_t done = 0;
  while (done < maxBytes) {
    const DWORD chunk = static_cast<DWORD>(
        std::min<std::size_t>(maxBytes - done, std::numeric_limits<DWORD>::max() / 2));
    DWORD read = 0;
    if (IsSet(cancelled) || !::ReadFile(file.get(), content.data() + done, chunk, &read, nullptr)) return std::nullopt;
    if (read == 0) break;  // end of file
    done += read;
  }
  content.resize(done);
  return content;
}

bool WriteAll(const UniqueFile& file, const std::string& bytes, const std::atomic<bool>* cancelled) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(
        std::min<std::size_t>(bytes.size() - done, std::numeric_limits<DWORD>::max() / 2));
    DWORD written = 0;
    if (IsSet(cancelled) || !::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

struct Win32FileSystem::Look {
  std::string path;
  std::size_t maxBytes = 0;
  UniqueHandle answered;               // manual-reset event, set by the worker once answer is written
  DistantLook answer;                  // read only after answered is set
  std::atomic<bool> cancelled{false};  // the monitor ends: no further step
};

struct Win32FileSystem::Started {
  std::shared_ptr<Look> look;
  UniqueHandle thread;  // kept, so that a look the network holds can be cancelled
};

namespace {

DWORD WINAPI LookWorker(void* parameter) {
  // The worker's own reference: the look outlives the file system, and the
  // monitor's end, for as long as the network holds this thread.
  const std::unique_ptr<std::shared_ptr<Win32FileSystem::Look>> own(
      static_cast<std::shared_ptr<Win32FileSystem::Look>*>(parameter));
  Win32FileSystem::Look& look = **own;
  try {
    // Each step of the look only while it is wanted: a cancelled look stays
    // unanswered, as one the network holds.
    if (look.cancelled) {
      look.answer = {};
    } else if (Attributes(look.path) == INVALID_FILE_ATTRIBUTES) {
      look.answer = {LookAnswer::Absent, std::nullopt};
    } else if (!look.cancelled) {
      look.answer = {LookAnswer::Present, ReadHeadOf(look.path, look.maxBytes, &look.cancelled)};
    }
  } catch (...) {
    look.answer = {};  // no memory for the head: no answer
  }
  (void)::SetEvent(look.answered.get());  // a failure leaves the look unanswered
  return 0;
}

}  // namespace

Win32FileSystem::Win32FileSystem() = default;
Win32FileSystem::Win32FileSystem(const std::atomic<bool>* cancelled) : cancelled_(cancelled) {}
// A look still held by the network keeps its own reference; nothing here
// waits for it.
Win32FileSystem::~Win32FileSystem() = default;

bool Win32FileSystem::Exists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::uint64_t> Win32FileSystem::FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (Cancelled() ||
      !::GetFileAttributesExW(Utf8ToWide(ExtendedLengthPath(path)).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool Win32FileSystem::Replace(const std::string& from, const std::string& to) {
  // Refused while a viewer holds either file without FILE_SHARE_DELETE.
  return !Cancelled() && ::MoveFileExW(Utf8ToWide(ExtendedLengthPath(from)).c_str(),
                                       Utf8ToWide(ExtendedLengthPath(to)).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool Win32FileSystem::Append(const std::string& path, const std::string& bytes) {
  // FILE_APPEND_DATA alone makes every write land at the end of the file,
  // even when another program wrote to it since we opened it.
  if (Cancelled()) return false;
  const UniqueFile file = Open(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  return file && WriteAll(file, bytes, cancelled_);
}

bool Win32FileSystem::Overwrite(const std::string& path, const std::string& bytes) {
  // TRUNCATE_EXISTING empties the file in the open itself; it needs
  // GENERIC_WRITE, which a viewer that shares the file for writing allows.
  if (Cancelled()) return false;
  const UniqueFile file = Open(path, GENERIC_WRITE, TRUNCATE_EXISTING);
  return file && WriteAll(file, bytes, cancelled_);
}

std::optional<std::string> Win32FileSystem::ReadHead(const std::string& path, std::size_t maxBytes) {
  return ReadHeadOf(path, maxBytes, cancelled_);
}

std::string Win32FileSystem::ToCodePage(std::string text) {
  // Most of a log is ASCII paths, the same in every ANSI code page.
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) return text;
  const std::wstring wide = Utf8ToWide(text);
  if (wide.empty()) return {};
  // Flags 0: the same best-fit mapping and default character as the
  // system's own ANSI calls use.
  const int length = static_cast<int>(std::min<std::size_t>(wide.size(), INT_MAX / 4));
  const int size = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  const int written = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(std::max(written, 0)));
  return out;
}

bool Win32FileSystem::MayBlock(const std::string& path) {
  if (IsSharePath(path)) return true;
  const std::string root = DriveRoot(path);
  // The drive's kind comes from the local mapping; no network is asked.
  return !root.empty() && ::GetDriveTypeW(Utf8ToWide(root).c_str()) == DRIVE_REMOTE;
}

LookId Win32FileSystem::StartLook(const std::string& path, std::size_t maxBytes) {
  auto look = std::make_shared<Look>();
  look->path = path;
  look->maxBytes = maxBytes;
  look->answered.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!look->answered) return 0;
  auto worker = std::make_unique<std::shared_ptr<Look>>(look);
  UniqueHandle thread(::CreateThread(nullptr, 0, &LookWorker, worker.get(), 0, nullptr));
  if (!thread) return 0;   // no thread to be had: no look this cycle
  (void)worker.release();  // the worker owns it now
  looks_.emplace(++lastLook_, Started{std::move(look), std::move(thread)});
  return lastLook_;
}

bool Win32FileSystem::LookAnswered(LookId look, std::uint32_t waitMs) {
  const auto found = looks_.find(look);
  return found != looks_.end() && ::WaitForSingleObject(found->second.look->answered.get(), waitMs) == WAIT_OBJECT_0;
}

DistantLook Win32FileSystem::TakeLook(LookId look) {
  const auto found = looks_.find(look);
  if (found == looks_.end()) return {};
  DistantLook answer;
  if (::WaitForSingleObject(found->second.look->answered.get(), 0) == WAIT_OBJECT_0) {
    answer = std::move(found->second.look->answer);
  }
  looks_.erase(found);
  return answer;
}

void Win32FileSystem::CancelLook(LookId look) {
  const auto found = looks_.find(look);
  if (found == looks_.end()) return;
  found->second.look->cancelled = true;
  // Whatever call the worker waits in fails at once, and it takes no further
  // step; a worker between two calls has nothing to cancel (ERROR_NOT_FOUND).
  (void)::CancelSynchronousIo(found->second.thread.get());
  looks_.erase(found);
}

}  // namespace pellux::win32
