// What one full scan that finds nothing costs through the monitor's own
// process table and scan code, against a plain loop of the system calls a
// scan made before it kept what it read (EnumProcesses with the same
// doubling, then OpenProcess 0x410, EnumProcessModules, GetModuleFileNameExA
// and CloseHandle for every process), written inline here. Both run
// interleaved (A B, B A, ...) in one process over the real process table,
// with 0, 100 and 400 extra idle processes started for the run; at each size
// with logging off, where the monitor's walk takes the system's one snapshot
// and opens only processes it has not met before (none, after the first
// round), then with logging on, where it still reads every path and appends
// one line per process, against a loop that also appends one line per
// process to a file opened and closed each time. It prints the median
// microseconds per process of both, the ratio of the medians, the median of
// each round's own ratio (its two scans ran next to each other) and the
// ratio of the fastest runs (the least disturbed by whatever else the
// machine does). Under Wine every one of these calls is a round trip to the
// wineserver, so the absolute times say little about Windows; the ratio says
// what the monitor's walk costs beside the calls a walk used to make.
//
// Then the cycle's logging: the steady cycle's two walks (the controller's
// scan, the bridge's) and its BEFORE and AFTER lines, with logging on (one
// open-append-close for the whole cycle) beside the same with logging off,
// interleaved in the same way; it prints the median milliseconds of each and
// the three ratios: what logging on costs a cycle.
//
//   scan_bench_win32.exe <idle program> <work folder> [rounds]
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "log/event_log.h"
#include "process/process_services.h"
#include "win32/clock_win32.h"
#include "win32/files_win32.h"
#include "win32/process_table_win32.h"

namespace {

constexpr char kNoSuchProgram[] = "no-such-program.exe";

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / frequency;
}

// The same enumeration as the monitor's: 16 bytes first, doubled while a
// call fills its list.
std::vector<DWORD> Enumerate() {
  DWORD size = 8, returned = 96;
  std::vector<DWORD> ids;
  while (size <= returned) {
    size *= 2;
    ids.assign(size / 4, 0);
    returned = 0;
    EnumProcesses(ids.data(), size, &returned);
  }
  ids.resize(std::min(returned, size) / 4);
  return ids;
}

void AppendLine(const char* path, const std::string& text) {
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  SYSTEMTIME t;
  GetLocalTime(&t);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "#%04u-%02u-%02u %02u:%02u:%02u#,\"", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond);
  const std::string line = stamp + text + "\"\r\n";
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

// The bare loop: the calls the scan cannot avoid, and nothing else. Returns
// the number of processes listed.
size_t BareScan(const char* logPath) {
  const std::vector<DWORD> ids = Enumerate();
  for (DWORD id : ids) {
    HANDLE process = OpenProcess(0x410, FALSE, id);
    if (!process) continue;
    HMODULE modules[50];
    DWORD needed = 0;
    if (EnumProcessModules(process, modules, sizeof modules, &needed)) {
      char path[260];
      const DWORD n = GetModuleFileNameExA(process, modules[0], path, sizeof path);
      if (logPath)
        AppendLine(logPath, std::string(path, n) + " - " + std::to_string(reinterpret_cast<UINT_PTR>(process)));
    }
    CloseHandle(process);
  }
  return ids.size();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double Least(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

class IdleProcesses {
 public:
  explicit IdleProcesses(std::string exe) : exe_(std::move(exe)) {}
  ~IdleProcesses() {
    for (HANDLE h : handles_) {
      TerminateProcess(h, 0);
      WaitForSingleObject(h, 5000);
      CloseHandle(h);
    }
  }
  bool GrowTo(size_t count) {
    while (handles_.size() < count) {
      STARTUPINFOA si = {};
      si.cb = sizeof si;
      PROCESS_INFORMATION pi = {};
      std::string command = "\"" + exe_ + "\"";
      if (!CreateProcessA(exe_.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
      CloseHandle(pi.hThread);
      handles_.push_back(pi.hProcess);
    }
    return true;
  }
  size_t Count() const { return handles_.size(); }

 private:
  std::string exe_;
  std::vector<HANDLE> handles_;
};

struct Row {
  size_t extra;
  size_t processes;
  double monitor_us;  // medians
  double bare_us;
  double paired_ratio;  // median of each round's monitor / bare, neighbours in time
  double least_ratio;   // of the fastest of each, the least disturbed by other load
};

Row Measure(size_t extra, int rounds, pellux::ProcessServices& services, const char* bareLog) {
  std::vector<double> monitor, bare, paired;
  size_t listed = 0;
  for (int round = 0; round < rounds; ++round) {
    for (int half = 0; half < 2; ++half) {
      // A B B A: neither side always runs first.
      const bool monitorFirst = (round + half) % 2 == 0;
      const double start = Now();
      if (monitorFirst) {
        services.IsProcessRunning(kNoSuchProgram);
        monitor.push_back(Now() - start);
      } else {
        listed = BareScan(bareLog);
        bare.push_back(Now() - start);
      }
    }
    paired.push_back(monitor.back() / bare.back());
  }
  const double perProcess = 1e6 / static_cast<double>(std::max<size_t>(listed, 1));
  return {extra,
          listed,
          Median(monitor) * perProcess,
          Median(bare) * perProcess,
          Median(paired),
          Least(monitor) / Least(bare)};
}

struct CycleRow {
  size_t extra;
  double off_ms;  // medians
  double on_ms;
  double paired_ratio;
  double least_ratio;
};

// What the steady cycle writes: its two lines around the controller's scan
// and the bridge's, all in one batch.
void Cycle(pellux::EventLog& log, pellux::ProcessServices& services) {
  const pellux::LogBatch batch(log);
  log.WriteLogLine("Timer1 - BEFORE 'CALL Pellux_MONITOR'");
  services.IsProcessRunning(kNoSuchProgram);
  services.IsProcessRunning(kNoSuchProgram);
  log.WriteLogLine("Timer1 - AFTER 'CALL Pellux_MONITOR'");
}

CycleRow MeasureCycle(size_t extra, int rounds, pellux::EventLog& quietLog, pellux::ProcessServices& quiet,
                      pellux::EventLog& onLog, pellux::ProcessServices& logging) {
  std::vector<double> off, on, paired;
  for (int round = 0; round < rounds; ++round) {
    for (int half = 0; half < 2; ++half) {
      const bool onFirst = (round + half) % 2 == 0;
      const double start = Now();
      if (onFirst) {
        Cycle(onLog, logging);
        on.push_back(Now() - start);
      } else {
        Cycle(quietLog, quiet);
        off.push_back(Now() - start);
      }
    }
    paired.push_back(on.back() / off.back());
  }
  return {extra, Median(off) * 1e3, Median(on) * 1e3, Median(paired), Least(on) / Least(off)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <idle program> <work folder> [rounds]\n", argv[0]);
    return 2;
  }
  const std::string work = argv[2];
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 30;
  const std::string monitorLog = work + "\\" + pellux::kLogFileName;
  const std::string bareLog = work + "\\bare.anc";

  pellux::win32::Win32ProcessTable table;
  pellux::win32::Win32FileSystem files;
  pellux::win32::Win32Clock clock;
  pellux::EventLog off(files, clock);
  off.InitLog(pellux::LogFileBeside(work + "\\no-log-here"));
  pellux::ProcessServices quiet(table, off);
  DeleteFileA(monitorLog.c_str());
  (void)files.Append(monitorLog, "");
  pellux::EventLog on(files, clock);
  on.InitLog(pellux::LogFileBeside(work));
  pellux::ProcessServices logging(table, on);

  IdleProcesses idle(argv[1]);
  std::vector<CycleRow> cycles;
  std::printf(
      "| Logging | Extra idle processes | Processes listed | Monitor's scan, us/process | "
      "Bare calls, us/process | Ratio of medians | Paired ratio | Ratio of fastest |\n"
      "|---|---|---|---|---|---|---|---|\n");
  for (const size_t extra : {0u, 100u, 400u}) {
    std::fprintf(stderr, "row: %zu extra idle processes, starting them\n", extra);
    if (!idle.GrowTo(extra)) {
      std::fprintf(stderr, "scan_bench_win32: only %zu of the %zu idle processes started (CreateProcess error %lu)\n",
                   idle.Count(), extra, GetLastError());
      return 1;
    }
    Sleep(extra ? 3000 : 0);  // let the new processes finish starting
    for (const bool logOn : {false, true}) {
      std::fprintf(stderr, "row: the scan, %zu extra idle processes, logging %s\n", extra, logOn ? "on" : "off");
      const Row r = logOn ? Measure(extra, rounds, logging, bareLog.c_str()) : Measure(extra, rounds, quiet, nullptr);
      std::printf("| %s | %zu | %zu | %.0f | %.0f | %.3f | %.3f | %.3f |\n", logOn ? "on" : "off", r.extra, r.processes,
                  r.monitor_us, r.bare_us, r.monitor_us / r.bare_us, r.paired_ratio, r.least_ratio);
      std::fflush(stdout);
      // Both logs start empty for the next row, so neither appends to a longer file.
      DeleteFileA(monitorLog.c_str());
      (void)files.Append(monitorLog, "");
      DeleteFileA(bareLog.c_str());
    }
    std::fprintf(stderr, "row: the cycle, %zu extra idle processes\n", extra);
    cycles.push_back(MeasureCycle(extra, rounds, off, quiet, on, logging));
    DeleteFileA(monitorLog.c_str());
    (void)files.Append(monitorLog, "");
  }
  std::printf(
      "\n| Extra idle processes | Cycle, logging off, ms | Cycle, logging on, ms | Ratio of medians | "
      "Paired ratio | Ratio of fastest |\n|---|---|---|---|---|---|\n");
  for (const CycleRow& r : cycles) {
    std::printf("| %zu | %.2f | %.2f | %.3f | %.3f | %.3f |\n", r.extra, r.off_ms, r.on_ms, r.on_ms / r.off_ms,
                r.paired_ratio, r.least_ratio);
  }
  DeleteFileA(monitorLog.c_str());
  return 0;
}
