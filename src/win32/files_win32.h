#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "platform/file_system.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

// Files through the wide file API, so that any folder works. Every open is
// shared for reading, writing and deleting, so another program may read,
// copy or delete the log and control files between our single-step opens.
class Win32FileSystem final : public FileSystem {
 public:
  Win32FileSystem();
  // Once cancelled is set, every call fails at once without reaching the
  // disk or the network: a worker's file system at the monitor's end.
  explicit Win32FileSystem(const std::atomic<bool>* cancelled);
  ~Win32FileSystem() override;
  Win32FileSystem(const Win32FileSystem&) = delete;
  Win32FileSystem& operator=(const Win32FileSystem&) = delete;

  [[nodiscard]] bool Exists(const std::string& path) override;
  [[nodiscard]] bool Append(const std::string& path, const std::string& bytes) override;
  [[nodiscard]] bool Overwrite(const std::string& path, const std::string& bytes) override;
  [[nodiscard]] std::optional<std::uint64_t> FileSize(const std::string& path) override;
  [[nodiscard]] bool Replace(const std::string& from, const std::string& to) override;
  [[nodiscard]] std::optional<std::string> ReadHead(const std::string& path, std::size_t maxBytes) override;
  [[nodiscard]] std::string ToCodePage(std::string text) override;
  [[nodiscard]] bool MayBlock(const std::string& path) override;
  [[nodiscard]] LookId StartLook(const std::string& path, std::size_t maxBytes) override;
  [[nodiscard]] bool LookAnswered(LookId look, std::uint32_t waitMs) override;
  [[nodiscard]] DistantLook TakeLook(LookId look) override;
  void CancelLook(LookId look) override;
  [[nodiscard]] std::unique_ptr<FileWorker> StartWorker() override;

  // One look on its worker thread; shared by the caller and the worker, so
  // that a worker the network keeps past the monitor's end touches only
  // what it owns.
  struct Look;

 private:
  struct Started;
  // The looks started and not yet taken or cancelled.
  std::map<LookId, Started> looks_;
  LookId lastLook_ = 0;
  const std::atomic<bool>* cancelled_ = nullptr;
  [[nodiscard]] bool Cancelled() const { return cancelled_ != nullptr && cancelled_->load(); }
};

}  // namespace pellux::win32
