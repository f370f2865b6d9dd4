// The worker that writes a log on a share off the window's thread
// (FileSystem::StartWorker): one thread, a queue of jobs, and the end that
// gives a write the network holds up rather than wait for it.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "win32/files_win32.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {
namespace {

// What the worker's thread and its owner share; the thread keeps its own
// reference, so that a write the network holds past the owner's end touches
// only this.
struct WorkerQueue {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::function<void(FileSystem&)>> jobs;
  bool running = false;                // a job has been taken and has not answered yet
  bool closed = false;                 // the owner has gone: no more jobs are begun
  std::atomic<bool> cancelled{false};  // the owner has gone: the job under way takes no further step
};

DWORD WINAPI FileWorkerThread(void* parameter) {
  const std::unique_ptr<std::shared_ptr<WorkerQueue>> own(static_cast<std::shared_ptr<WorkerQueue>*>(parameter));
  WorkerQueue& queue = **own;
  // A file system of the thread's own: the caller's may be gone by the time
  // a held write answers.
  Win32FileSystem files(&queue.cancelled);
  for (;;) {
    std::function<void(FileSystem&)> job;
    {
      std::unique_lock<std::mutex> hold(queue.lock);
      queue.changed.wait(hold, [&] { return queue.closed || !queue.jobs.empty(); });
      if (queue.closed) return 0;
      job = std::move(queue.jobs.front());
      queue.jobs.pop_front();
      queue.running = true;
    }
    try {
      job(files);
    } catch (...) {
      // no memory for a batch: its lines are lost, the worker goes on
    }
    {
      const std::lock_guard<std::mutex> hold(queue.lock);
      queue.running = false;
    }
    queue.changed.notify_all();
  }
}

class Win32FileWorker final : public FileWorker {
 public:
  Win32FileWorker(std::shared_ptr<WorkerQueue> queue, UniqueHandle thread)
      : queue_(std::move(queue)), thread_(std::move(thread)) {}
  Win32FileWorker(const Win32FileWorker&) = delete;
  Win32FileWorker& operator=(const Win32FileWorker&) = delete;

  ~Win32FileWorker() override {
    {
      const std::lock_guard<std::mutex> hold(queue_->lock);
      queue_->closed = true;
      queue_->jobs.clear();
    }
    queue_->changed.notify_all();
    // Set before the call under way is cancelled, so that the job's next call
    // fails at once rather than wait on the share again.
    queue_->cancelled = true;
    // A write the share holds is given up rather than waited for, so the
    // thread leaves the kernel; ERROR_NOT_FOUND when nothing was pending.
    (void)::CancelSynchronousIo(thread_.get());
  }

  bool Post(std::function<void(FileSystem&)> job) override {
    {
      const std::lock_guard<std::mutex> hold(queue_->lock);
      queue_->jobs.push_back(std::move(job));
    }
    queue_->changed.notify_all();
    return true;
  }

  bool Drain(std::uint32_t waitMs) override {
    std::unique_lock<std::mutex> hold(queue_->lock);
    return queue_->changed.wait_for(hold, std::chrono::milliseconds(waitMs),
                                    [&] { return queue_->jobs.empty() && !queue_->running; });
  }

 private:
  std::shared_ptr<WorkerQueue> queue_;
  UniqueHandle thread_;  // kept for cancelling a held write at the end
};

}  // namespace

std::unique_ptr<FileWorker> Win32FileSystem::StartWorker() {
  auto queue = std::make_shared<WorkerQueue>();
  auto own = std::make_unique<std::shared_ptr<WorkerQueue>>(queue);
  UniqueHandle thread(::CreateThread(nullptr, 0, &FileWorkerThread, own.get(), 0, nullptr));
  if (!thread) return nullptr;
  (void)own.release();  // the thread owns it now
  return std::make_unique<Win32FileWorker>(std::move(queue), std::move(thread));
}

}  // namespace pellux::win32
