#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace pellux::fakes {

// A worker that runs each job at once on the file system it was made by,
// unless the share hangs: then its jobs wait until the test lets them run,
// and a drain comes back unanswered. What it was asked outlives it.
struct FakeWorkerRecord {
  bool hangs = false;  // the share under the worker never answers
  std::vector<std::uint32_t> drainWaitMs;
  std::size_t jobsLeftAtEnd = 0;  // handed over, never run
  std::deque<std::function<void(FileSystem&)>> jobs;
  std::function<void(FileSystem&)> underWayAtEnd;  // the first of them, which the share held
};

class FakeFileWorker final : public FileWorker {
 public:
  FakeFileWorker(FileSystem& files, FakeWorkerRecord& record) : files_(files), record_(record) {}
  ~FakeFileWorker() override {
    record_.jobsLeftAtEnd = record_.jobs.size();
    if (!record_.jobs.empty()) record_.underWayAtEnd = std::move(record_.jobs.front());
    record_.jobs.clear();
  }
  bool Post(std::function<void(FileSystem&)> job) override {
    record_.jobs.push_back(std::move(job));
    if (!record_.hangs) RunPending(files_, record_);
    return true;
  }
  bool Drain(std::uint32_t waitMs) override {
    record_.drainWaitMs.push_back(waitMs);
    if (!record_.hangs) RunPending(files_, record_);
    return record_.jobs.empty();
  }
  static void RunPending(FileSystem& files, FakeWorkerRecord& record) {
    while (!record.jobs.empty()) {
      auto job = std::move(record.jobs.front());
      record.jobs.pop_front();
      job(files);
    }
  }

 private:
  FileSystem& files_;
  FakeWorkerRecord& record_;
};

class FakeFileSystem final : public FileSystem {
 public:
  struct Entry {
    std::string contents;
    bool directory = false;
    bool readOnly = false;
    bool locked = false;  // held open without sharing by its writer
  };

  void AddFile(const std::string& path, std::string contents = {}) { entries[path] = {std::move(contents)}; }
  void AddDirectory(const std::string& path) { entries[path] = {{}, true}; }
  void Remove(const std::string& path) { entries.erase(path); }
  [[nodiscard]] bool Has(const std::string& path) const { return entries.count(path) != 0; }
  [[nodiscard]] std::string Contents(const std::string& path) const {
    auto it = entries.find(path);
    return it == entries.end() ? std::string() : it->second.contents;
  }

  bool Exists(const std::string& path) override {
    existsAsked.push_back(path);
    return entries.count(path) != 0;
  }
  bool Append(const std::string& path, const std::string& bytes) override {
    if (std::exchange(throwOnNextAppend, false)) throw std::bad_alloc();
    if (onWrite) onWrite("append");
    ++appends;
    auto it = entries.find(path);
    if (it == entries.end()) {
      if (failCreate) return false;
      entries[path] = {bytes};
      return true;
    }
    if (it->second.directory || it->second.readOnly || it->second.locked) return false;
    it->second.contents += bytes;
    return true;
  }
  // A viewer that maps the file keeps it from being emptied as well.
  bool Overwrite(const std::string& path, const std::string& bytes) override {
    if (onWrite) onWrite("overwrite");
    ++overwrites;
    auto it = entries.find(path);
    if (it == entries.end() || it->second.directory || it->second.readOnly || it->second.locked || refuseOverwrite)
      return false;
    it->second.contents = bytes;
    return true;
  }
  std::optional<std::uint64_t> FileSize(const std::string& path) override {
    if (onWrite) onWrite("size");
    auto it = entries.find(path);
    if (it == entries.end() || it->second.directory) return std::nullopt;
    return it->second.contents.size();
  }
  // A file held by a viewer that shares it for reading only cannot be renamed.
  bool Replace(const std::string& from, const std::string& to) override {
    if (onWrite) onWrite("rename");
    ++replaces;
    auto it = entries.find(from);
    if (it == entries.end() || it->second.directory || it->second.locked || refuseRename) return false;
    Entry moved = std::move(it->second);
    entries.erase(it);
    entries[to] = std::move(moved);
    return true;
  }
  std::unique_ptr<FileWorker> StartWorker() override { return std::make_unique<FakeFileWorker>(*this, worker); }
  // The share answers again: the jobs that waited run.
  void ShareAnswers() {
    worker.hangs = false;
    FakeFileWorker::RunPending(*this, worker);
  }
  std::optional<std::string> ReadHead(const std::string& path, std::size_t maxBytes) override {
    if (std::exchange(throwOnNextRead, false)) throw std::bad_alloc();
    readsAsked.push_back(path);
    lastReadLimit = maxBytes;
    auto it = entries.find(path);
    if (it == entries.end() || it->second.directory || it->second.locked) return std::nullopt;
    return it->second.contents.substr(0, maxBytes);
  }
  bool MayBlock(const std::string& path) override {
    for (const std::string& prefix : distantPrefixes)
      if (path.rfind(prefix, 0) == 0) return true;
    return false;
  }
  // A look answers answerAfterMs[path] after its start (at once when not
  // given), a share that has gone (unanswered) never; a wait shows on the
  // clock, when one is given, as time gone by. What is there is read when
  // the answer is taken.
  LookId StartLook(const std::string& path, std::size_t maxBytes) override {
    looksAsked.push_back(path);
    if (failStartLook) return 0;
    int out = 1;
    for (const auto& [id, look] : looksOut) out += look.path == path ? 1 : 0;
    mostLooksOut[path] = std::max(mostLooksOut[path], out);
    const auto late = answerAfterMs.find(path);
    looksOut[++lastLook] = {path, maxBytes, LookNow() + (late != answerAfterMs.end() ? late->second : 0)};
    return lastLook;
  }
  bool LookAnswered(LookId look, std::uint32_t waitMs) override {
    lastLookWaitMs = waitMs;
    longestLookWaitMs = std::max(longestLookWaitMs, waitMs);
    const auto it = looksOut.find(look);
    if (it == looksOut.end()) return false;
    std::uint64_t& now = LookNow();
    if (unanswered.count(it->second.path) != 0 || it->second.answerAtMs > now + waitMs) {
      now += waitMs;
      return false;
    }
    now = std::max(now, it->second.answerAtMs);
    return true;
  }
  DistantLook TakeLook(LookId look) override {
    const auto out = looksOut.find(look);
    if (out == looksOut.end() || unanswered.count(out->second.path) != 0 || out->second.answerAtMs > LookNow()) {
      return {};
    }
    const std::size_t maxBytes = out->second.maxBytes;
    auto it = entries.find(out->second.path);
    looksOut.erase(out);
    if (it == entries.end()) return {LookAnswer::Absent, std::nullopt};
    const bool readable = !it->second.directory && !it->second.locked;
    return {LookAnswer::Present,
            readable ? std::optional<std::string>(it->second.contents.substr(0, maxBytes)) : std::nullopt};
  }
  void CancelLook(LookId look) override {
    const auto out = looksOut.find(look);
    if (out == looksOut.end()) return;
    looksCancelled.push_back(out->second.path);
    looksOut.erase(out);
  }
  // The code page of the tests is Latin-1: a character above U+00FF has no
  // byte and becomes '?'.
  std::string ToCodePage(std::string text) override {
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      return text;  // ASCII is the same in every code page
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
      const auto lead = static_cast<unsigned char>(text[i]);
      const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (length == 2 && i + 1 < text.size() && lead <= 0xC3) {
        out += static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
      } else {
        out += length == 1 ? text[i] : '?';
      }
      i += length;
    }
    return out;
  }

  std::map<std::string, Entry> entries;
  std::vector<std::string> distantPrefixes{"\\\\"};    // shares; a test adds network drives
  std::set<std::string> unanswered;                    // distant paths whose looks answer only once out of it
  std::map<std::string, std::uint64_t> answerAfterMs;  // distant paths whose looks answer late
  std::vector<std::string> looksAsked;
  struct FakeLook {
    std::string path;
    std::size_t maxBytes = 0;
    std::uint64_t answerAtMs = 0;
  };
  std::map<LookId, FakeLook> looksOut;      // started, neither taken nor cancelled
  std::map<std::string, int> mostLooksOut;  // the most looks at a path ever out at once
  std::vector<std::string> looksCancelled;
  LookId lastLook = 0;
  bool failStartLook = false;  // no thread to be had
  std::uint64_t lookMs = 0;    // the looks' own time when no clock is given
  std::uint64_t& LookNow() { return clockMs != nullptr ? *clockMs : lookMs; }
  std::uint32_t lastLookWaitMs = 0;
  std::uint32_t longestLookWaitMs = 0;
  std::uint64_t* clockMs = nullptr;  // moved on by every unanswered wait
  std::vector<std::string> existsAsked;
  std::vector<std::string> readsAsked;
  std::size_t lastReadLimit = 0;
  int appends = 0;
  int replaces = 0;
  int overwrites = 0;
  bool refuseRename = false;                 // a viewer holds the log without delete sharing
  bool refuseOverwrite = false;              // a viewer maps the log
  std::function<void(const char*)> onWrite;  // at each call a log's write makes: size, append, rename, overwrite
  FakeWorkerRecord worker;                   // of every worker started
  bool failCreate = false;                   // a full disk: no new file can be made
  bool throwOnNextAppend = false;            // the next append runs out of memory, once
  bool throwOnNextRead = false;              // the next read runs out of memory, once
};

}  // namespace pellux::fakes
