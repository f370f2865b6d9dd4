// Cost of one process scan per process visited, over a lean table that does
// next to nothing itself, so that what is measured is the monitor's own walk:
// with logging off, and with logging on to a real file (one open-append-close
// per process, as the log does). No match: every process is visited.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "log/event_log.h"
#include "process/process_services.h"

// Every allocation is counted through these replacements; GCC cannot see that
// they pair malloc with free on both sides and warns about the pairing.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<long> g_allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace pellux;

class LeanTable final : public ProcessTable {
 public:
  explicit LeanTable(int count) {
    for (int i = 0; i < count; ++i) {
      ids_.push_back(4 * (i + 1));
      paths_.push_back("C:\\Program Files\\Vendor " + std::to_string(i) + "\\bin\\service" + std::to_string(i) +
                       ".exe");
    }
  }
  bool ListProcesses(std::int32_t* ids, std::uint32_t bytes, std::uint32_t* returned) override {
    const std::size_t n = std::min<std::size_t>(ids_.size(), bytes / 4);
    std::memcpy(ids, ids_.data(), n * 4);
    *returned = static_cast<std::uint32_t>(n * 4);
    return true;
  }
  ProcessHandle Open(std::uint32_t, bool, std::int32_t id) override {
    return static_cast<ProcessHandle>(id);  // the handle is the index, times four
  }
  bool ListModules(ProcessHandle, ModuleHandle* modules, std::uint32_t, std::uint32_t*) override {
    modules[0] = 0x400000;
    return true;
  }
  std::uint32_t ModulePath(ProcessHandle h, ModuleHandle, char* buffer, std::uint32_t capacity) override {
    const std::string& path = paths_[h / 4 - 1];
    const std::size_t n = std::min<std::size_t>(path.size(), capacity);
    std::memcpy(buffer, path.data(), n);
    return static_cast<std::uint32_t>(n);
  }
  std::uint32_t ImagePath(ProcessHandle, char*, std::uint32_t) override { return 0; }
  bool ExitCode(ProcessHandle, std::uint32_t*) override { return false; }
  bool Terminate(ProcessHandle, std::uint32_t) override { return false; }
  bool Close(ProcessHandle) override { return true; }
  bool CreationTime(ProcessHandle h, std::uint64_t* created) override {
    *created = h;  // as listed
    return true;
  }
  // Every process in the monitor's own session, so that the walk reads them all.
  bool ListFamilies(std::vector<ProcessEntry>* entries) override {
    entries->clear();
    for (const std::int32_t id : ids_) entries->push_back({id, 0, "service.exe", 1});
    return true;
  }
  bool ListSessions(std::vector<ProcessSession>* sessions) override {
    sessions->clear();
    for (const std::int32_t id : ids_) sessions->push_back({id, 1, static_cast<std::uint64_t>(id)});
    return true;
  }
  bool SessionOf(std::int32_t, SessionId* session) override {
    *session = 1;
    return true;
  }
  SessionId CurrentSession() override { return 1; }
  std::int32_t CurrentProcessId() override { return 0; }
  std::int32_t LastError() override { return 0; }

 private:
  std::vector<std::int32_t> ids_;
  std::vector<std::string> paths_;
};

// Real files: each append opens, writes and closes, as the log needs.
class RealFiles final : public FileSystem {
 public:
  bool Exists(const std::string& path) override { return std::filesystem::exists(Native(path)); }
  bool Append(const std::string& path, const std::string& bytes) override {
    std::FILE* f = std::fopen(Native(path).c_str(), "ab");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
  }
  bool Overwrite(const std::string& path, const std::string& bytes) override {
    std::FILE* f = std::fopen(Native(path).c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
  }
  std::optional<std::string> ReadHead(const std::string&, std::size_t) override { return std::nullopt; }
  std::optional<std::uint64_t> FileSize(const std::string& path) override {
    std::error_code error;
    const auto size = std::filesystem::file_size(Native(path), error);
    return error ? std::nullopt : std::optional<std::uint64_t>(size);
  }
  bool Replace(const std::string&, const std::string&) override { return false; }
  std::unique_ptr<FileWorker> StartWorker() override { return nullptr; }
  bool MayBlock(const std::string&) override { return false; }
  LookId StartLook(const std::string&, std::size_t) override { return 0; }
  bool LookAnswered(LookId, std::uint32_t) override { return false; }
  DistantLook TakeLook(LookId) override { return {}; }
  void CancelLook(LookId) override {}
  std::string ToCodePage(std::string text) override { return text; }
  // The monitor joins with a backslash; here the folder is a native one.
  static std::string Native(std::string path) {
    for (char& c : path)
      if (c == '\\') c = '/';
    return path;
  }
};

class FixedClock final : public Clock {
 public:
  LocalTime Now() override { return {2020, 6, 7, 17, 3, 28}; }
  std::uint64_t Milliseconds() override { return 0; }
};

void Report(benchmark::State& state, long allocations) {
  const double processes = static_cast<double>(state.range(0));
  state.counters["per_process"] = benchmark::Counter(processes, benchmark::Counter::kIsIterationInvariantRate |
                                                                    benchmark::Counter::kInvert);
  state.counters["allocs_per_process"] = static_cast<double>(allocations) /
                                         (processes * static_cast<double>(state.iterations()));
}

void BM_ScanLoggingOff(benchmark::State& state) {
  LeanTable table(static_cast<int>(state.range(0)));
  RealFiles files;
  FixedClock clock;
  EventLog log(files, clock);
  ProcessServices services(table, log);
  const long before = g_allocations;
  for (auto _ : state) {
    services.IsProcessRunning("javaw.exe");
    benchmark::DoNotOptimize(services.ProcessFound().data());
  }
  Report(state, g_allocations - before);
}

void BM_ScanLoggingOn(benchmark::State& state) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("pellux-scan-bench-" +
                                        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / kLogFileName;
  if (std::FILE* f = std::fopen(file.c_str(), "wb")) std::fclose(f);  // logging is on when it exists

  LeanTable table(static_cast<int>(state.range(0)));
  RealFiles files;
  FixedClock clock;
  EventLog log(files, clock);
  log.InitLog(LogFileBeside(folder.string()));
  ProcessServices services(table, log);
  long allocations = 0;
  for (auto _ : state) {
    const long before = g_allocations;
    services.IsProcessRunning("javaw.exe");
    allocations += g_allocations - before;
    state.PauseTiming();
    std::filesystem::resize_file(file, 0);  // keeps the temporary file small
    state.ResumeTiming();
  }
  Report(state, allocations);
  std::filesystem::remove_all(folder);
}

BENCHMARK(BM_ScanLoggingOff)->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(BM_ScanLoggingOn)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
