// Months of a workstation in seconds: the real monitor against the unit tests'
// fakes made lively. One seed decides every random choice, each part of the
// world drawing from a stream of its own, so that a failing run replays step
// for step; the plant's invariants are checked after every step. Time jumps to
// the next thing that happens.   simulate [--seed N] [--runs K] [--days D] [--fixed]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <queue>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/monitor.h"
#include "common/upper_case.h"
#include "fakes/fakes.h"
#include "process/launched_programs.h"
#include "supervision/control_file.h"
#include "ui/port_field.h"
#include "ui/program_buttons.h"

namespace pellux::sim {
namespace {

using U64 = std::uint64_t;
using ull = unsigned long long;
using Process = fakes::FakeProcessTable::Process;
constexpr U64 kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute, kDay = 24 * kHour;

// Seeds that once found a fault, and the days they need to reach it: make test runs each of them.
constexpr struct {
  U64 seed, days;
  const char* found;
} kFixedSeeds[] = {{5, 1, "a monitor started again launched a second bridge and controller"},
                   {60, 1, "a Timer1 that could not be armed again ended supervision without a word"},
                   {160, 3, "a BridgeProcess without .exe taken: a new bridge on every cycle"},
                   {17, 1, "two logons at once: the second monitor launched before the first one's programs showed"}};

// splitmix64: the same numbers from every compiler and library.
struct Rng {
  U64 s = 0;
  U64 Next() {
    U64 z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  U64 Below(U64 n) { return Next() % n; }
  U64 Between(U64 lo, U64 hi) { return lo + Below(hi - lo + 1); }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  bool Chance(double p) { return Unit() < p; }
  // An exponential span: the memoryless lifetime of a process or a fault.
  U64 Exp(double meanMs) { return 1 + static_cast<U64>(-std::log(1.0 - Unit()) * meanMs); }
  template <typename T, std::size_t N>
  const T& Pick(const T (&rows)[N]) {
    return rows[Below(N)];
  }
};

U64 Fnv(const std::string& text, U64 h = 0xcbf29ce484222325ull) {
  for (const unsigned char c : text) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

LocalTime CivilTime(std::int64_t seconds) {
  const std::int64_t z = seconds / 86400 + 719468, rest = seconds % 86400;
  const std::int64_t era = z / 146097, doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yoe + era * 400 + (month <= 2)),
          month,
          static_cast<int>(doy - (153 * mp + 2) / 5 + 1),
          static_cast<int>(rest / 3600),
          static_cast<int>(rest / 60 % 60),
          static_cast<int>(rest % 60)};
}

bool Digits(const std::string& s, std::size_t from) {
  return s.size() > from && s.find_first_not_of("0123456789", from) == std::string::npos;
}
bool StartsWith(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

struct Crash {};  // thrown by the world to crash the monitor in the middle of a step

const std::string kControllerPath = "C:\\Program Files\\Pellux\\jre\\bin\\javaw.exe";
const std::string kShareControlFile = "\\\\plant-srv\\line\\Pellux.stp";
const std::string kOtherJavaPath = "C:\\Program Files\\Java\\jre8\\bin\\javaw.exe";

enum class Role { System, Monitor, Launcher, Controller, OtherJava, Bridge, Namesake, Crowd };

// Paths that bear a stop name without being the program: a folder named after the bridge, the updater of its
// maker, a tool named after javaw. Refused ones (elevated, another user's) open only with the limited right.
constexpr struct {
  const char* path;
  bool refused;
} kNamesakes[] = {{"C:\\Lintaro tools\\viewer.exe", false},
                  {"C:\\Program Files\\Ferrowin\\LintaroSvc.exe", true},
                  {"C:\\javaw-tools\\x.exe", false},
                  {"C:\\Users\\op\\LINTARO backup\\copy.exe", true},
                  {"C:\\Usuarios\\José Peña\\lintaro-notas.exe", false},
                  {"C:\\Прог\\javaw-łódź.exe", true}};
// The bridge of a run: the built-in, or one installed under another name by the workstation's key (its running
// name set, or taken from its file), which the system lists in capitals, the scans' upper-casing deciding the match.
constexpr struct {
  const char* path;
  const char* process;  // nullptr: the file's name
  const char* listed;
} kBridges[] = {{nullptr, nullptr, nullptr},
                {"C:\\Ferrowin\\Puente\\puente.exe", "Puente.exe", "C:\\Ferrowin\\Puente\\PUENTE.EXE"},
                {"C:\\Ferrowin\\Señal.exe", nullptr, "C:\\Ferrowin\\SEÑAL.EXE"},
                {"C:\\Ferrowin\\Łącze.exe", nullptr, "C:\\Ferrowin\\ŁĄCZE.EXE"},
                {"C:\\Ferrowin\\связь.exe", "Связь.exe", "C:\\Ferrowin\\СВЯЗЬ.EXE"},
                {"C:\\Ferrowin\\ёлка.exe", nullptr, "C:\\Ferrowin\\ЁЛКА.EXE"}};
// Names outside ASCII: the log writes them in its code page, the scans upper-case them.
constexpr const char* kMonitorFolders[] = {"C:\\Monitor", "C:\\Lintaro tools\\Monitor", "C:\\Planta Łódź\\Monitor"};
constexpr const char* kPortTexts[] = {"", "3", "12", " 3", "2,5", "abc", "99999999999", "-4", "2.6", "1e3"};
// What another program writes into the control file, and what the operator is promised of it: the tray holds,
// or the monitor ends. nullptr: a directory of that name.
constexpr struct {
  const char* contents;
  bool ends, holds;
} kControlRows[] = {{"#2026-01-01 10:00:00#,\"HOLD\"\r\n", false, true},
                    {"x,STOP\r\n", false, true},
                    {"#2026#,\"hold\"", false, true},
                    {"#2026-01-01#,\"END\"\r\n", true, false},
                    {"\x01\xff garbage", false, false},
                    {"#2026-01-01 10:00", false, false},
                    {"x,STOPPED", false, false},
                    {nullptr, false, false}};
// The level of every kind of event, as the README gives it to a collector; 0: the summary, at its kind's level.
constexpr struct {
  std::uint32_t id;
  int level;
} kEventLevels[] = {{1000, 0}, {1001, 0}, {1002, 2}, {1003, 2},  {1004, 2}, {1010, 0}, {1011, 2}, {1012, 0},
                    {1020, 1}, {1021, 2}, {1022, 1}, {1023, -1}, {1024, 2}, {1030, 1}, {1031, 0}, {1032, 0},
                    {1033, 1}, {1040, 0}, {1041, 0}, {1042, 0},  {1043, 0}, {1044, 0}};
// A value of the settings at start: one that is fine, or one that must be refused before anything is launched.
constexpr struct {
  const char* name;
  const char* value;
  bool refused;
} kSettingsRows[] = {{"ControlFile", "", false},
                     {"ControllerPath", "Pellux.exe", true},
                     {"BridgePath", "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO", true},
                     {"BridgeProcess", "Lintaro", true}};

struct Info {
  Role role;
  std::string path;
  U64 born;
  bool launched;                  // by a monitor of this session
  std::int32_t firstSibling = 0;  // a launcher's later javaw.exe: the one it started first
};

struct Event {
  U64 at, seq;
  std::function<void()> act;
  bool operator>(const Event& o) const { return at != o.at ? at > o.at : seq > o.seq; }
};

struct Part {  // the mean time between two occurrences in hours of simulated time, and what happens then
  const char* name;
  double meanHours;
  bool monitored;  // happens to a running monitor only
  std::function<void(Rng&)> act;
};

class World {
 public:
  World(U64 seed, U64 days);
  ~World();
  bool Run();
  U64 cycles = 0, checks = 0, starts = 0, hash = 0;

 private:
  U64 Now() const { return fake_.clock.ms; }
  Rng Stream(const char* name) const { return {Fnv(name, seed_ * 0x9E3779B97F4A7C15ull)}; }
  void At(U64 delay, std::function<void()> act) { queue_.push({Now() + delay, seq_++, std::move(act)}); }
  // What a process does later is lost when it went first, even if its id was handed out again.
  void Later(U64 delay, std::int32_t id, std::function<void()> act) {
    At(delay, [this, id, born = info_[id].born, act = std::move(act)] {
      if (const auto it = info_.find(id); it != info_.end() && it->second.born == born) act();
    });
  }
  void Ends(U64 delay, std::int32_t id, bool launcher = false) {
    Later(delay, id, [this, id, launcher] {
      Note(launcher ? "the launcher " + std::to_string(id) + " ended"
                    : "process " + std::to_string(id) + " ended: " + info_[id].path);
      if (launcher && launches_.Chance(0.3)) return HeldOpen(id, launches_.Exp(5 * kMinute));
      Exit(id);
    });
  }
  // An ended process that someone still holds open: listed, openable, with its exit code, its id not handed out
  // again until the last handle goes.
  void HeldOpen(std::int32_t id, U64 forMs) {
    Process kept = *Proc(id);
    kept.exitCode = 1;
    Exit(id);
    freed_.pop_back();
    fake_.processes.processes.push_back(kept);
    Fault("held-open");
    At(forMs, [this, id] {
      auto& list = fake_.processes.processes;
      list.erase(std::remove_if(list.begin(), list.end(), [id](const Process& p) { return p.id == id; }), list.end());
      freed_.push_back(id);
    });
  }
  void StartsJava(U64 delay, std::int32_t launcher) {
    Later(delay, launcher, [this, launcher] {
      const std::int32_t java = Spawn(Role::Controller, kControllerPath, launches_, info_[launcher].launched);
      Proc(java)->parentId = launcher;
      Note("the launcher " + std::to_string(launcher) + " started javaw.exe " + std::to_string(java));
      if (info_[launcher].launched && std::exchange(secondJavaw_, false)) {  // and a helper javaw.exe beside it
        const std::int32_t helper = Spawn(Role::OtherJava, kControllerPath, launches_);
        Proc(helper)->parentId = launcher;
        info_[helper].firstSibling = java;
        Ends(launches_.Between(5, 120) * kSecond, helper);
      }
      if (info_[launcher].launched && javawDiesAfter_ != 0) {  // javaw.exe dies, its launcher runs on past it
        Ends(std::exchange(javawDiesAfter_, 0), java);
        return Ends(3 * kMinute, launcher, true);
      }
      if (launches_.Chance(0.8)) Ends(launches_.Between(1, 20) * kSecond, launcher, true);
    });
  }
  void RunPart(std::size_t i, bool again) {
    Rng& r = streams_[i];
    Fault(parts_[i].name);
    Note(parts_[i].name);
    if (!parts_[i].monitored || Alive()) parts_[i].act(r);
    if (again) At(r.Exp(parts_[i].meanHours * kHour), [this, i] { RunPart(i, true); });
  }
  void Fault(const char* kind) { ++faults_[kind]; }
  void Fail(const char* name, const std::string& detail) {
    if (violation_.empty()) violation_ = name + (": " + detail);
  }

  // The trace: every line goes into the hash, the last 40 are kept; quiet cycles in a row stand as one line.
  // Seconds and milliseconds of simulated time, written by hand: a line is stamped on every step.
  std::string Stamp(const char* gap) const {
    std::string stamp = std::to_string(Now() / 1000);
    const U64 ms = Now() % 1000;
    stamp += '.';
    stamp += static_cast<char>('0' + ms / 100);
    stamp += static_cast<char>('0' + ms / 10 % 10);
    stamp += static_cast<char>('0' + ms % 10);
    return stamp += gap;
  }
  void Trace(std::string line) {
    hash = Fnv(line, hash);
    const bool quiet = line.size() >= 7 && line.compare(line.size() - 7, 7, " Timer1") == 0;
    if (quiet && !trace_.empty() && trace_.back().second > 0) {
      trace_.back().first = std::move(line);
      ++trace_.back().second;
      return;
    }
    trace_.emplace_back(std::move(line), quiet ? 1 : 0);
    if (trace_.size() > 40) trace_.pop_front();
  }
  void Note(const std::string& what) {  // what the world did between the monitor's steps
    std::string line = Stamp("   ");
    for (const unsigned char c : what) {
      char shown[8];
      std::snprintf(shown, sizeof shown, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c);
      line += shown;
    }
    Trace(std::move(line));
  }

  std::int32_t Spawn(Role role, const std::string& path, Rng& r, bool launched = false) {
    std::int32_t id = 0;
    if (!freed_.empty() && r.Chance(0.3)) {  // Windows hands out the ids of ended processes again, soon
      const auto at = freed_.end() - 1 - static_cast<std::ptrdiff_t>(r.Below(std::min<std::size_t>(freed_.size(), 8)));
      id = *at;
      freed_.erase(at);
      Fault("id-reused");
    } else {
      id = nextId_ += 4;
    }
    Process p{id, path};
    p.modulesReadable = !r.Chance(0.1);                 // a process of the other word size
    p.created = Now() * 10000 + ++createdSeq_ % 10000;  // 100-ns units: each process its own
    auto& list = fake_.processes.processes;
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(r.Below(list.size() + 1)), p);
    info_[id] = {role, path, Now(), launched};
    paths_.insert(path);
    paths_.insert(fake_.files.ToCodePage(path));  // as the log writes it
    return id;
  }
  void Exit(std::int32_t id) {
    auto& list = fake_.processes.processes;
    list.erase(std::remove_if(list.begin(), list.end(), [id](const Process& p) { return p.id == id; }), list.end());
    if (info_.erase(id) != 0) freed_.push_back(id);
    if (freed_.size() > 64) freed_.erase(freed_.begin());
    if (id == startLauncher_) {
      startLauncher_ = 0;
      launcherEndedMs_ = Now();
    }
  }
  Process* Proc(std::int32_t id) {
    auto& list = fake_.processes.processes;
    const auto it = std::find_if(list.begin(), list.end(), [id](const Process& p) { return p.id == id; });
    return it == list.end() ? nullptr : &*it;
  }
  std::int32_t FindRole(Role role, Rng& r) const {
    std::vector<std::int32_t> ids;
    for (const auto& [id, info] : info_)
      if (info.role == role) ids.push_back(id);
    return ids.empty() ? 0 : ids[r.Below(ids.size())];
  }
  // Whether a scan can see a process of that name (upper case) among those it can open.
  bool Visible(const std::string& name) const {
    return std::any_of(fake_.processes.processes.begin(), fake_.processes.processes.end(), [&](const Process& p) {
      return ((p.openForRead && (!p.modulesReadable || p.pathReadable)) || (p.openLimited && p.imageReadable)) &&
             p.path.size() >= name.size() &&
             std::equal(name.begin(), name.end(), p.path.end() - static_cast<std::ptrdiff_t>(name.size()),
                        [](char a, char b) { return a == Upper(b); });
    });
  }
  // The system's side of a launch: the process, or 0 when it did not start.
  std::uint32_t Launch(const std::string& path) {
    Rng& r = launches_;
    std::int32_t id = 0;
    const bool bridge = path == bridge_.installPath, controller = path == kController.installPath;
    if ((bridge || controller) && r.Chance(bridge ? 0.02 : 0.03)) {
      Fault("launch-fails");
    } else if (bridge) {
      id = Spawn(Role::Bridge, bridgeListed_, r, true);
      if (Now() < dieAtOnceUntil_) Ends(r.Between(20, 2000), id);
    } else if (controller) {
      id = Spawn(Role::Launcher, path, r, true);
      if (stepIsStart_) {
        controllerLaunchedAtStart_ = true;
        startLauncher_ = id;
      }
      if (r.Chance(0.08)) {  // the launcher starts javaw.exe after up to 90 s, or never
        Fault("launcher-never-starts-java");
        Ends(r.Between(5, 120) * kSecond, id, true);
      } else {
        StartsJava(r.Between(0, 90) * kSecond, id);
      }
    }
    if (bridge && stepIsCycle_) bridgeLaunches_.push_back(static_cast<std::uint32_t>(id));
    // The crash comes with the next event the monitor writes, once the launch is recorded.
    if (std::exchange(crashAtLaunch_, false)) crashAtNextEvent_ = true;
    return static_cast<std::uint32_t>(id);
  }
  void BridgeDies(Rng& r) {
    const std::int32_t id = FindRole(Role::Bridge, r);
    if (id == 0) return;
    Note("LINTARO.exe " + std::to_string(id));
    Exit(id);
  }

  bool Alive() const { return monitor_ && !monitor_->Ended(); }
  // The latest decision wins: an installer's quick start over the slow one after an end.
  void Restart(U64 delay) {
    At(delay, [this, gen = ++restartGen_] {
      if (gen != restartGen_ || monitor_) return;
      if (!fake_.files.Has(bridge_.installPath) || !fake_.files.Has(kController.installPath) || endAsked_)
        Restart(10 * kMinute);  // the operator waits until the plant is whole again
      else
        StartMonitor();
    });
  }
  void Gone() {  // the monitor's process is gone: its window, its timers, its id
    monitor_.reset();
    timer1_.reset();
    timer3_.reset();
    Exit(std::exchange(fake_.processes.ownId, -1));
  }
  // The longest the monitor may leave the bridge alone without javaw.exe: 30 s after the controller's launch,
  // or while its launcher runs (3 minutes at most) and 30 s after it ended.
  bool GraceMayHold() const {
    if (!controllerLaunchedAtStart_ || controllerSeen_) return false;
    if (Now() - startMs_ < 30 * kSecond) return true;
    const U64 launcherGone = startLauncher_ != 0 ? Now() : std::max(launcherEndedMs_, startMs_);
    return Now() < std::min(launcherGone, startMs_ + 3 * kMinute) + 30 * kSecond;
  }

  // The shortest: 30 s after the launch, and while the launcher runs (3 minutes at most) and 30 s after the
  // last cycle that can have seen it running.
  bool GraceMustHold() const {
    if (!controllerLaunchedAtStart_ || controllerSeen_) return false;
    const U64 since = Now() - startMs_;
    if (since < 30 * kSecond) return true;
    if (startLauncher_ != 0) return since < 3 * kMinute;
    return launcherEndedMs_ > startMs_ &&
           Now() + 3 * kSecond < std::min(launcherEndedMs_, startMs_ + 3 * kMinute) + 30 * kSecond;
  }

  void StartMonitor() {
    ++starts;
    // A new process: a window of its own, timers of its own, a new id.
    fake_.timers.interval.clear();
    fakes::FakeWindowControls& c = fake_.controls;
    c.colours = {{ProgramButton::CBPellux, kLightGrey}, {ProgramButton::CBLINTARO, kLightGrey}};
    c.portText.clear();
    c.stripText = "LBLMSG";
    c.stripBack = kWhite;
    c.stripFore = kBlack;
    fake_.processes.ownId = Spawn(Role::Monitor, fake_.system.folder + "\\PelluxMONITOR.exe", ids_);
    fake_.settings.values.clear();
    settingRefused_ = false;
    readsFirst_ = kBuiltInControlFile;
    if (shareRun_) {  // the workstation's key names a control file on the plant's share
      fake_.settings.Set(SettingsKey::Machine, "ControlFile", kShareControlFile);
      logTexts_.insert(SetValueLogText({"ControlFile", kShareControlFile, SettingsKey::Machine}));
      readsFirst_ = kShareControlFile;
    }
    monitorVersion_ = fake_.system.version;
    versionTip_ = "PelluxMONITOR - v" + monitorVersion_;
    for (const Placed& setting : placed_) {
      fake_.settings.Set(setting.key, setting.name, setting.value);
      Writable(SetValueLogText({setting.name, setting.value, setting.key}));
    }
    if (settings_.Chance(0.05)) {
      const auto& row = settings_.Pick(kSettingsRows);
      fake_.settings.Set(SettingsKey::User, row.name, row.value);
      Fault(row.refused ? "setting-refused" : "setting-set");
      settingRefused_ = row.refused;
      if (std::string(row.name) == "ControlFile") readsFirst_ = row.value;
      logTexts_.insert(SetValueLogText({row.name, row.value, SettingsKey::User}));
      logPrefixes_.insert(BadSettingLogText({row.name, SettingsKey::User, ""}));
    }
    if (loggingRun_ && settings_.Chance(0.5))
      fake_.files.AddFile(logPath_);
    else
      fake_.files.Remove(logPath_);
    happened_.clear();
    reported_.clear();
    lastHour_.clear();
    startMs_ = Now();
    startLauncher_ = 0;
    controllerSeen_ = false;
    controllerLaunchedAtStart_ = false;
    // A launcher an earlier monitor launched, still starting javaw.exe, is taken over with its grace.
    bool javaw = false;
    for (const auto& [id, info] : info_) javaw |= info.launched && info.role == Role::Controller;
    for (const auto& [id, info] : info_)
      if (!javaw && info.launched && info.role == Role::Launcher) {
        startLauncher_ = id;
        controllerLaunchedAtStart_ = true;
      }
    allowedEnds_ = {"missing program", "bad setting"};
    if (refuseTimer_) allowedEnds_.insert("no window");
    monitor_ = std::make_unique<Monitor>(fake_.platform());
    Step("start", [&] { monitor_->Start(); });
  }
  // The monitor's steps. Each runs the monitor's handler, lets the world learn what the step did, checks every
  // invariant, writes the trace line and clears the fakes' records for the next step.
  void Step(const std::string& what, const std::function<void()>& action) {
    ++stepNo_;
    stepIsCycle_ = what == "Timer1";
    stepIsStart_ = what == "start";
    bridgeLaunches_.clear();
    Act(what, action);
    Observe();
    CheckInvariants();
    Trace(TraceLine(what));
    ClearRecords();
    if (monitor_ && monitor_->Ended()) Gone();
  }
  void Act(const std::string& what, const std::function<void()>& action) {
    if (refuseTimer_) fake_.timers.refused.insert(TimerId::Timer1);
    try {
      action();
    } catch (const Crash&) {
      Fault("monitor-crash-in-step");
      Gone();
      Restart(crashes_.Between(30, 90) * kSecond);
    } catch (const std::exception& e) {
      Fail("no-exception", what + " threw " + e.what());
    } catch (...) {
      Fail("no-exception", what + " threw");
    }
    if (stepIsCycle_ || stepIsStart_) {
      fake_.timers.refused.clear();
      refuseTimer_ = false;
    }
  }
  // What the world learns from the step: the processes it ended go, the timers it armed are due, the events and
  // the log are read, an end of the monitor brings its restart.
  void Observe() {
    fakes::FakePlatform& f = fake_;
    stepEnded_.clear();
    for (const auto& [id, code] : f.processes.terminated) {
      const auto it = info_.find(id);
      stepEnded_.push_back({id, it == info_.end() ? Role::System : it->second.role,
                            it == info_.end() ? std::string() : Upper(it->second.path)});
      if (stepIsCycle_) ++happened_[static_cast<std::uint32_t>(EventId::BridgeTerminated)];
      if (const Process* p = Proc(id); p != nullptr && p->endsLater)
        Ends(launches_.Between(500, 10000), id);
      else if (it != info_.end())
        Exit(id);  // already gone from the table
    }
    for (const std::uint32_t result : bridgeLaunches_)
      ++happened_[static_cast<std::uint32_t>(result == 0 ? EventId::BridgeRelaunchFailed : EventId::BridgeRelaunched)];
    for (const auto& [timer, ms] : f.timers.history)  // what the step armed is due from now
      (timer == TimerId::Timer1 ? timer1_ : timer3_) = ms == 0 ? std::nullopt : std::optional<U64>(Now() + ms);
    if (!monitor_) {
      timer1_.reset();
      timer3_.reset();
    }
    stepEndedMonitor_ = false;
    for (const auto& e : f.events.events) {
      const auto id = static_cast<std::uint32_t>(e.id);
      if (e.id == EventId::BridgeRelaunched || e.id == EventId::BridgeRelaunchFailed ||
          e.id == EventId::BridgeTerminated)
        reported_[id] += std::strtoull(e.strings.back().c_str(), nullptr, 10);
      if (e.id == EventId::RepeatSummary)
        reported_[static_cast<std::uint32_t>(std::stoul(e.strings.at(1)))] += std::stoull(e.strings.at(2));
      stepEndedMonitor_ |= e.id == EventId::Ended;
      if (id >= 1040 || id <= 1012) continue;  // what a user's clicks and the monitor's starts bring is theirs
      const std::string kind = e.id == EventId::RepeatSummary ? std::to_string(id) + "/" + e.strings.at(1)
                                                              : std::to_string(id);
      auto& times = lastHour_[kind];
      times.push_back(Now());
      while (Now() - times.front() >= kHour) times.pop_front();
    }
    if (f.lifetime.ends > 0) Restart(crashes_.Between(1, 30) * kMinute);
    if (stepIsCycle_ && CycleChecked() && Visible("JAVAW.EXE")) controllerSeen_ = true;
  }
  std::string TraceLine(const std::string& what) const {
    const fakes::FakePlatform& f = fake_;
    std::string line = Stamp(" ") + what;
    for (const auto& [path, folder] : f.launcher.launches) line += " launch:" + path.substr(path.rfind('\\') + 1);
    for (const auto& [id, code] : f.processes.terminated) line += " ended:" + std::to_string(id);
    if (f.lifetime.ends > 0) line += " end";
    for (const auto& box : f.dialogs.boxes) line += " box:" + box.text.substr(0, 12);
    return line;
  }
  // The fakes' records of the step are read; the next step starts afresh.
  void ClearRecords() {
    fakes::FakePlatform& f = fake_;
    if (f.files.Has(logPath_)) f.files.entries[logPath_].contents.clear();  // read by whoever keeps the log
    f.lifetime.ends = 0;
    f.ClearRecords();
    f.launchRecord.writes = 0;
    expect_ = {};
  }
  // A cycle is held to the processes' promises unless the session is ending or the monitor has gone.
  bool CycleChecked() const { return Alive() && !(sessionAskedMs_ && Now() - *sessionAskedMs_ < 60 * kSecond); }

  // The invariants: each returns what broke it, or nothing. The world already knows what happened.
  std::string NeverEndsItself() const {
    for (const EndedProcess& e : stepEnded_)
      if (e.id == fake_.processes.ownId) return "ended its own process " + std::to_string(e.id);
    return {};
  }
  std::string EndsOnlyStopNames() const {
    for (const EndedProcess& e : stepEnded_)
      if (e.path.find(bridgeStop_) == std::string::npos && e.path.find("JAVAW") == std::string::npos)
        return "ended " + e.path;
    return {};
  }
  std::string BridgeKeptWhileControllerStarts() const {
    if (!stepIsCycle_ || !GraceMustHold()) return {};
    for (const EndedProcess& e : stepEnded_)
      if (e.role == Role::Bridge)
        return "a cycle ended the bridge " + std::to_string(Now() - startMs_) + " ms after start-up";
    return {};
  }
  std::string EndsOnlyWhenAsked() const {
    if (fake_.lifetime.ends > 0 && (Alive() || !monitor_)) return "ended without its own end";
    for (const auto& e : fake_.events.events)
      if (e.id == EventId::Ended && allowedEnds_.count(e.strings.at(1)) == 0 &&
          !(endAsked_ && e.strings.at(1) == "control file END"))
        return "ended by " + e.strings.at(1);
    return {};
  }
  std::string TimerArmed() const {
    return Alive() && !timer1_ ? "Timer1 left disarmed while the monitor supervises" : "";
  }
  std::string HandlesClosed() const {
    const int open = fake_.processes.OpenHandles();
    return open != 0 ? std::to_string(open) + " process handles left open" : "";
  }
  std::string OneOf(Role role) const {
    const auto n = std::count_if(info_.begin(), info_.end(),
                                 [&](const auto& i) { return i.second.launched && i.second.role == role; });
    return n > 1 ? std::to_string(n) + " of them launched by the session's monitors run" : "";
  }
  std::string OneBridge() const { return OneOf(Role::Bridge); }
  std::string OneController() const { return OneOf(Role::Controller); }
  std::string BridgeBackWithinACycle() const {
    if (!stepIsCycle_ || !monitor_ || !CycleChecked() || !Visible("JAVAW.EXE")) return {};
    const bool failed = !bridgeLaunches_.empty() && bridgeLaunches_.back() == 0;
    return !Visible(bridgeName_) && !failed ? "the controller runs and no bridge after the cycle" : "";
  }
  std::string BridgeEndedAfterController() const {
    if (!stepIsCycle_ || !monitor_ || !CycleChecked() || Visible("JAVAW.EXE") || !Visible(bridgeName_)) return {};
    if (GraceMayHold() || !fake_.processes.terminated.empty()) return {};
    for (const auto& p : fake_.processes.processes)
      if (Upper(p.path).find(bridgeName_) != std::string::npos && (!p.openForTerminate || !p.terminable || p.endsLater))
        return {};  // one the system will not let go
    return "no controller, and the cycle left the bridge running";
  }
  std::string EventsPerHour() const {
    for (const auto& [kind, times] : lastHour_)
      if (times.size() > 7 && times.back() == Now())
        return std::to_string(times.size()) + " events " + kind + " in an hour";
    return {};
  }
  std::string EventCounts() const {
    for (const auto& [id, count] : reported_) {
      const auto it = happened_.find(id);
      const U64 seen = it == happened_.end() ? 0 : it->second;
      if (count > seen || (stepEndedMonitor_ && count != seen))
        return "event " + std::to_string(id) + " counts " + std::to_string(count) + " of " + std::to_string(seen) +
               " occurrences";
    }
    if (stepEndedMonitor_)
      for (const auto& [id, seen] : happened_) {
        const auto it = reported_.find(id);
        if (seen != (it == reported_.end() ? 0 : it->second)) return "event " + std::to_string(id) + " never told all";
      }
    return {};
  }
  // The log since the last step: each line in its shape, stamped now, with a text the system can write.
  std::string LogLineShape() const {
    if (!fake_.files.Has(logPath_)) return {};
    const std::string& contents = fake_.files.entries.at(logPath_).contents;
    // Every line of a step bears the same stamp: the line of an empty text, cut around where the text goes.
    const std::string empty = FormatLogLine(fake_.clock.now, "");
    const std::size_t textAt = empty.size() - 3;
    std::string unknown;
    std::size_t broken = std::string::npos;  // where the first line departs from that shape
    std::size_t pos = 0;
    while (pos < contents.size()) {
      const std::size_t open = contents.find(",\"", pos);
      const std::size_t end = contents.find("\"\r\n", pos);
      if (open == std::string::npos || end == std::string::npos || end < open) break;
      if (broken == std::string::npos && contents.compare(pos, open + 2 - pos, empty, 0, textAt) != 0) broken = pos;
      lineText_.assign(contents, open + 2, end - open - 2);
      if (unknown.empty() && !KnownLogText(lineText_))
        unknown = "a text the monitor has no reason to write: " + lineText_;
      pos = end + 3;
    }
    if (!unknown.empty()) return unknown;
    if (broken == std::string::npos && pos == contents.size()) return {};
    const std::size_t at = std::min(broken, pos);
    return "a broken line or stamp: " + contents.substr(contents.rfind('\n', at) + 1, 80);
  }
  // A click: the button turns green or red by what runs after it; a refused one keeps its colour.
  std::string ButtonColours() const {
    if (!expect_.click || !Alive()) return {};
    const auto& c = fake_.controls;
    const ProgramButton button = *expect_.click;
    const ProgramButton other = button == ProgramButton::CBPellux ? ProgramButton::CBLINTARO : ProgramButton::CBPellux;
    if (expect_.refused) return c.colours.at(button) != expect_.before ? "a refused click recoloured its button" : "";
    const bool first = button == ProgramButton::CBPellux, bridge = Visible(bridgeName_);
    const bool runs = first ? Visible("JAVAW.EXE") : bridge;
    const Colour otherExpected = expect_.before == kGreen && first && !bridge ? kRed : expect_.otherBefore;
    if (c.colours.at(button) != (runs ? kGreen : kRed) || c.colours.at(other) != otherExpected)
      return "after a click on a button of colour " + std::to_string(expect_.before);
    return {};
  }
  // The strip after a click: green or red by the button's program, magenta when a stop of both left one running.
  std::string StripColours() const {
    if (!expect_.click || expect_.refused || !Alive()) return {};
    const auto& c = fake_.controls;
    const bool first = *expect_.click == ProgramButton::CBPellux;
    const bool controller = Visible("JAVAW.EXE"), bridge = Visible(bridgeName_);
    const bool runs = first ? controller : bridge;
    Colour back = runs ? kGreen : kRed;
    Colour fore = runs ? kBlack : kWhite;
    if (expect_.before == kGreen && first) {  // the stop of both
      back = controller != bridge ? kMagenta : controller ? kGreen : kRed;
      fore = controller != bridge || controller ? kBlack : kWhite;
    }
    return c.stripBack != back || c.stripFore != fore ? "the strip after a click: " + c.stripText : "";
  }
  // The port field keeps a whole number or nothing; a refused text stays for the operator to mend.
  std::string PortField() const {
    if (!expect_.portTyped) return {};
    const std::string& text = *expect_.portTyped;
    const std::string& now = fake_.controls.portText;
    const bool whole = !now.empty() && now.find_first_not_of("-0123456789") == std::string::npos;
    if (expect_.portAccepted ? !(now.empty() || whole) : now != text) return "'" + text + "' left '" + now + "'";
    return {};
  }
  std::string TrayIconBack() const {
    if (!expect_.trayAdded) return {};
    for (const auto& call : fake_.tray.calls)
      if (call.command == TrayCommand::Add) return {};
    return "the shell came back and the icon was not added again";
  }

  // After a cycle the tray shows what the control file the world wrote asks (the fakes number the pictures from
  // 0x100: 0 normal, 4 holding); END has ended the monitor.
  std::string TrayFollowsControlFile() const {
    if (!stepIsCycle_ || !monitor_) return {};
    const bool answers = fake_.files.unanswered.count(controlPath_) == 0;
    const bool read = !controlPath_.empty() && fake_.files.Has(controlPath_) &&
                      (controlPath_ == readsFirst_ ? answers : controlPath_ == besideMonitor_);
    if (read && endAsked_) return Alive() ? "the control file said END and the monitor runs on" : "";
    if (!Alive()) return {};
    const bool holds = read && controlHolds_;
    const std::string_view tip = holds ? std::string_view("PelluxMONITOR - Holding") : versionTip_;
    const auto& calls = fake_.tray.calls;
    if (calls.empty()) return "a cycle left the tray as it was";
    const TrayIconData& shown = calls.back().data;
    if (shown.hIcon != 0x100u + (holds ? 4u : 0u) || std::string_view(shown.szTip, tip.size()) != tip ||
        shown.szTip[tip.size()] != '\0')
      return std::string(holds ? "the control file holds" : "no hold") + " and the tray shows " +
             std::string(shown.szTip, tip.size());
    return {};
  }
  // The port a controller's stop releases is the one in the field.
  std::string PortReleasedIsTheField() const {
    const std::string field = std::to_string(std::strtol(fake_.controls.portText.c_str(), nullptr, 10));
    for (const std::string& call : fake_.serial.calls)
      if (StartsWith(call, "port ") && call != "port " + field) return call + " released, the field says " + field;
    return {};
  }
  // A stop of both ends the controller first: the bridge never outlives it with the port.
  std::string ControllerEndedBeforeBridge() const {
    bool bridgeGone = false;
    for (const EndedProcess& e : stepEnded_) {
      if (bridgeGone && e.path.find("JAVAW") != std::string::npos) return "the bridge ended before the controller";
      bridgeGone |= e.path.find(bridgeStop_) != std::string::npos;
    }
    return {};
  }
  // While the session ends (until its answer, a minute at most) a cycle launches and ends nothing.
  std::string QuietWhileSessionEnds() const {
    if (!stepIsCycle_ || !sessionAskedMs_ || sessionAskedOf_ != starts || Now() - *sessionAskedMs_ >= 60 * kSecond)
      return {};
    if (!fake_.launcher.launches.empty()) return "a launch while the session ends";
    return fake_.processes.terminated.empty() ? "" : "a process ended while the session ends";
  }
  // Each event with the id and level of its kind; a summary at the level of the kind it sums up.
  std::string EventLevels() const {
    const auto levelOf = [](std::uint32_t id) {
      for (const auto& row : kEventLevels)
        if (row.id == id) return row.level;
      return -2;
    };
    for (const auto& e : fake_.events.events) {
      const auto id = static_cast<std::uint32_t>(e.id);
      int level = levelOf(id);
      if (level == -1) level = levelOf(static_cast<std::uint32_t>(std::strtoul(e.strings.at(1).c_str(), nullptr, 10)));
      if (level < 0 || static_cast<int>(e.level) != level) return "event " + std::to_string(id) + " at the wrong level";
    }
    return {};
  }
  // The controller recorded for a later monitor is the first javaw.exe its launcher started, while it runs.
  std::string RecordsFirstJavaw() const {
    const auto set = fake_.launchRecord.writes == 0 ? std::nullopt : ParseLaunchRecord(*fake_.launchRecord.stored);
    const auto it = set ? info_.find(set->javaw.id) : info_.end();
    const auto first = it == info_.end() ? info_.end() : info_.find(it->second.firstSibling);
    if (first == info_.end() || first->second.born > it->second.born) return {};
    return "recorded the launcher's later javaw.exe " + std::to_string(it->first);
  }
  // A setting refused at start stops the start before anything is launched.
  std::string RefusedSettingLaunchesNothing() const {
    return stepIsStart_ && settingRefused_ && !fake_.launcher.launches.empty() ? "launched with a refused setting" : "";
  }

  std::string OneControllerOnTheWorkstation() const;
  std::string OneBridgeOnTheWorkstation() const;
  std::string EndsOnlyItsOwnSession() const;

  struct Invariant {
    const char* name;
    const char* noticed;  // what a plant would notice when it is broken
    std::string (World::*check)() const;
    bool sessions = false;  // a row of the two sessions' workstation, checked after their steps too
  };
  static const Invariant kInvariants[];
  void CheckInvariants(bool sessionsOnly = false);
  void Writable(const std::string& text) {  // as the monitor means it, and as the log writes it in its code page
    logTexts_.insert(text);
    logTexts_.insert(fake_.files.ToCodePage(text));
  }
  bool KnownLogText(const std::string& text) const {
    // A process of a scan and its handle, most of what a log holds, first; or a launch and its result.
    const std::size_t dash = text.rfind(" - ");
    const bool number = dash != std::string::npos && Digits(text, dash + 3);
    if (number && paths_.count(probe_.assign(text, 0, dash)) != 0) return true;
    if (logTexts_.count(text) != 0) return true;
    for (const std::string& prefix : logPrefixes_)
      if (StartsWith(text, prefix)) return true;
    if (dash != std::string::npos) {
      for (const std::string& prefix : launchPrefixes_)
        if (StartsWith(text, prefix) && Digits(text, prefix.size())) return true;
    }
    for (std::size_t at = 0; at <= text.size();) {  // a click's message: its lines, each a text of the system
      const std::size_t cr = std::min(text.find('\r', at), text.size());
      const std::string part = text.substr(at, cr - at);
      if (logTexts_.count(part) == 0 && !StartsWith(part, kPortClosedText)) return false;
      at = cr + 1;
    }
    return true;
  }
  U64 seed_, end_, seq_ = 0, stepNo_ = 0, createdSeq_ = 0, startMs_ = 0, launcherEndedMs_ = 0, dieAtOnceUntil_ = 0;
  U64 javawDiesAfter_ = 0;    // the next launched launcher's javaw.exe dies this long after it shows
  bool secondJavaw_ = false;  // the next launched launcher starts two javaw.exe
  std::vector<Part> parts_;
  std::vector<Rng> streams_;
  Rng ids_, launches_, settings_, crashes_;
  std::priority_queue<Event, std::vector<Event>, std::greater<>> queue_;
  fakes::FakePlatform fake_;
  std::unique_ptr<Monitor> monitor_;
  struct Sessions;
  std::unique_ptr<Sessions> sessions_;  // the workstation of two logon sessions, a part of its own
  std::map<std::int32_t, Info> info_;
  std::vector<std::int32_t> freed_;
  std::int32_t nextId_ = 8, startLauncher_ = 0;  // the launcher start-up launched, while it runs
  std::int64_t wallBase_ = 0, wallOffset_ = 0;
  std::optional<U64> timer1_, timer3_, sessionAskedMs_;
  U64 sessionAskedOf_ = 0;  // the monitor asked, by its start
  std::map<std::string, int> faults_;
  std::deque<std::pair<std::string, int>> trace_;  // a line, and how many quiet cycles in a row it stands for
  int restartGen_ = 0, burstLeft_ = 0;
  bool crashAtNextEvent_ = false, crashAtLaunch_ = false, refuseTimer_ = false, loggingRun_ = false, endAsked_ = false;
  bool stepIsStart_ = false, stepIsCycle_ = false, controllerLaunchedAtStart_ = false, controllerSeen_ = false;
  bool driveGone_ = false;
  bool controlHolds_ = false;    // the control file the world wrote asks to hold
  bool settingRefused_ = false;  // the monitor started with a setting it must refuse
  struct Placed {
    SettingsKey key;
    std::string name, value;
  };
  std::vector<Placed> placed_;          // the run's settings, set again at every start
  bool shareRun_ = false;               // a run whose workstation reads its control file from a share
  std::string readsFirst_;              // the control file the running monitor reads before the one in its folder
  std::string monitorVersion_;          // the version the running monitor started with
  std::string versionTip_;              // and the tip it shows while nothing holds
  std::string besideMonitor_;           // the control file in the monitor's folder
  SupervisedProgram bridge_ = kBridge;  // the run's bridge, and the path, name and stop name the system lists
  std::string bridgeListed_ = kBridge.installPath, bridgeName_ = "LINTARO.EXE", bridgeStop_ = "LINTARO";
  std::string violation_, logPath_, controlPath_;               // the control file the world wrote, empty when none
  std::map<std::string, fakes::FakeFileSystem::Entry> driveD_;  // D:'s files while it is gone
  std::set<std::string> allowedEnds_, logPrefixes_, launchPrefixes_;
  std::unordered_set<std::string> logTexts_, paths_;  // looked up for every line of the log
  mutable std::string probe_, lineText_;              // a scan line's path, a line's text: looked up
  // The events' bookkeeping, per monitor: occurrences seen and counts reported for each kind of the cycle,
  // and the times of each kind's reports.
  std::map<std::uint32_t, U64> happened_, reported_;
  std::map<std::string, std::deque<U64>> lastHour_;
  std::vector<std::uint32_t> bridgeLaunches_;  // results, this step
  // What the step did that the world has already acted on: the processes it ended, the log it wrote, an end.
  struct EndedProcess {
    std::int32_t id;
    Role role;
    std::string path;  // upper case; empty when the world did not know the process
  };
  std::vector<EndedProcess> stepEnded_;
  bool stepEndedMonitor_ = false;  // the step wrote the monitor's end
  // What the part that drove the step expects of it.
  struct Expect {
    std::optional<ProgramButton> click;
    Colour before = kLightGrey, otherBefore = kLightGrey;
    bool refused = false;  // the bridge's button without a port
    std::optional<std::string> portTyped;
    bool portAccepted = true;
    bool trayAdded = false;  // the shell came back
  } expect_;
};

const World::Invariant World::kInvariants[] = {
    {"never-ends-itself", "the monitor's own process gone", &World::NeverEndsItself},
    {"ends-only-stop-names", "a program of the workstation ended that is neither bridge nor Java",
     &World::EndsOnlyStopNames},
    {"bridge-kept-while-controller-starts", "the bridge bounces at every start while the controller loads",
     &World::BridgeKeptWhileControllerStarts},
    {"ends-only-when-asked", "the monitor gone from the tray without a reason", &World::EndsOnlyWhenAsked},
    {"timer-armed", "supervision stopped while the icon stays", &World::TimerArmed},
    {"handles-closed", "the monitor's handle count grows for months", &World::HandlesClosed},
    {"one-bridge", "two bridges fight over the serial port", &World::OneBridge},
    {"one-controller", "two controllers on one workstation", &World::OneController},
    {"bridge-back-within-a-cycle", "the controller runs without its bridge", &World::BridgeBackWithinACycle},
    {"bridge-ended-after-controller", "the bridge holds the port with no controller",
     &World::BridgeEndedAfterController},
    {"events-per-hour", "the event log flooded by one fault", &World::EventsPerHour},
    {"event-counts", "the event log's counts do not add up to what happened", &World::EventCounts},
    {"log-line-shape", "a log line the reader cannot parse or place", &World::LogLineShape},
    {"button-colours", "a button's colour says the opposite of what runs", &World::ButtonColours},
    {"strip-colours", "the strip's colour says the opposite of what runs", &World::StripColours},
    {"port-field", "the port field keeps a text no port can have", &World::PortField},
    {"tray-icon-back", "no icon after the shell restarts", &World::TrayIconBack},
    {"tray-follows-control-file", "the tray says normal while the plant is held, or END is ignored",
     &World::TrayFollowsControlFile},
    {"port-released-is-the-field", "the port of another device closed, the bridge's left open",
     &World::PortReleasedIsTheField},
    {"controller-ended-before-bridge", "the controller loses its bridge while it still runs",
     &World::ControllerEndedBeforeBridge},
    {"quiet-while-session-ends", "programs started or ended into a dying session", &World::QuietWhileSessionEnds},
    {"event-levels", "a collector filtering on warnings and errors misses a fault", &World::EventLevels},
    {"refused-setting-launches-nothing", "programs started from a setting the monitor refused",
     &World::RefusedSettingLaunchesNothing},
    {"records-first-javaw", "a monitor started again takes a launcher's helper for the controller",
     &World::RecordsFirstJavaw},
    {"one-controller-on-the-workstation", "a second session's monitor starts a second controller",
     &World::OneControllerOnTheWorkstation, true},
    {"one-bridge-on-the-workstation", "two sessions' bridges fight over the serial port",
     &World::OneBridgeOnTheWorkstation, true},
    {"ends-only-its-own-session", "a stop in one session ends another session's programs",
     &World::EndsOnlyItsOwnSession, true},
};

void World::CheckInvariants(bool sessionsOnly) {
  for (const Invariant& invariant : kInvariants) {
    if (sessionsOnly && !invariant.sessions) continue;
    ++checks;
    if (const std::string broken = (this->*invariant.check)(); !broken.empty()) Fail(invariant.name, broken);
  }
}

// Two logon sessions on a workstation of their own: a monitor in each (sessions 1 and 2), logons, switches and
// logoffs, and an operator who starts the controller by hand in the session before the screen. The sessions
// are one account's or two accounts' (whose processes refuse each other every open), as the seed decides.
struct World::Sessions {
  // What a monitor sees of the one process table: its own session and its own id, every other call the same.
  class SeatTable final : public ProcessTable {
   public:
    SeatTable(Sessions& w, SessionId session) : w_(w), session_(session) {}
    bool ListProcesses(std::int32_t* ids, std::uint32_t b, std::uint32_t* n) override {
      return w_.table.ListProcesses(ids, b, n);
    }
    ProcessHandle Open(std::uint32_t access, bool inheritable, std::int32_t id) override {
      const auto it = w_.who.find(id);
      if (w_.twoAccounts && it != w_.who.end() && it->second.session != session_) {
        w_.table.lastError = 5;  // another account's process grants nothing
        return 0;
      }
      return w_.table.Open(access, inheritable, id);
    }
    bool ListModules(ProcessHandle h, ModuleHandle* m, std::uint32_t b, std::uint32_t* n) override {
      return w_.table.ListModules(h, m, b, n);
    }
    std::uint32_t ModulePath(ProcessHandle h, ModuleHandle m, char* b, std::uint32_t c) override {
      return w_.table.ModulePath(h, m, b, c);
    }
    std::uint32_t ImagePath(ProcessHandle h, char* b, std::uint32_t c) override { return w_.table.ImagePath(h, b, c); }
    bool ExitCode(ProcessHandle h, std::uint32_t* c) override { return w_.table.ExitCode(h, c); }
    bool Terminate(ProcessHandle h, std::uint32_t c) override {
      const std::size_t before = w_.table.terminated.size();
      const bool ok = w_.table.Terminate(h, c);
      if (w_.table.terminated.size() > before) {
        const std::int32_t id = w_.table.terminated.back().first;
        const auto it = w_.who.find(id);
        if (it != w_.who.end() && it->second.session != session_ && w_.endedElsewhere.empty())
          w_.endedElsewhere = "session " + std::to_string(session_) + "'s monitor ended " + std::to_string(id) +
                              " of session " + std::to_string(it->second.session);
      }
      return ok;
    }
    bool Close(ProcessHandle h) override { return w_.table.Close(h); }
    bool CreationTime(ProcessHandle h, std::uint64_t* c) override { return w_.table.CreationTime(h, c); }
    bool ListFamilies(std::vector<ProcessEntry>* e) override { return w_.table.ListFamilies(e); }
    bool ListSessions(std::vector<ProcessSession>* s) override { return w_.table.ListSessions(s); }
    bool SessionOf(std::int32_t id, SessionId* s) override { return w_.table.SessionOf(id, s); }
    SessionId CurrentSession() override { return session_; }
    std::int32_t CurrentProcessId() override { return ownId; }
    std::int32_t LastError() override { return w_.table.LastError(); }
    std::int32_t ownId = -1;

   private:
    Sessions& w_;
    SessionId session_;
  };
  // The named object every session sees: held by one monitor at most, and let go when its process goes.
  class SeatClaim final : public WorkstationClaim {
   public:
    SeatClaim(SessionId& holder, SessionId me) : holder_(holder), me_(me) {}
    bool Take() override {
      if (holder_ == 0) holder_ = me_;
      return holder_ == me_;
    }
    bool TakenElsewhere() override { return holder_ != 0 && holder_ != me_; }
    void Release() override {
      if (holder_ == me_) holder_ = 0;
    }

   private:
    SessionId& holder_;
    SessionId me_;
  };
  struct Seat {
    Seat(Sessions& w, SessionId s) : session(s), table(w, s), claim(w.claimHolder, s) {
      fake.system.session = s;
      fake.files.AddFile(kBridge.installPath, "exe");
      fake.files.AddFile(kController.installPath, "exe");
      fake.launcher.choose = [&w, s](const std::string& path) { return w.Launch(s, path); };
      fake.launcher.createdOf = [&w](std::uint32_t id) { return w.Created(static_cast<std::int32_t>(id)); };
    }
    Platform platform() {
      fakes::FakePlatform& f = fake;
      return {f.files,  f.clock, table,    f.launcher, f.dialogs, f.system,   f.lifetime,     f.controls,
              f.timers, f.tray,  f.serial, f.locale,   f.events,  f.settings, f.launchRecord, claim};
    }
    SessionId session;
    fakes::FakePlatform fake;  // the session's own window, files, events and launch record
    SeatTable table;
    SeatClaim claim;
    std::unique_ptr<Monitor> monitor;
    bool loggedOn = false;
    int timerGen[4] = {};  // a timer armed again leaves its earlier due time behind
  };
  struct Known {
    Role role;
    SessionId session;
    bool launched;  // by a monitor or a launcher a monitor launched
    U64 born;
  };

  explicit Sessions(World& world) : w(world), r(world.Stream("two-sessions")) {
    twoAccounts = r.Chance(0.5);
    seats[0] = std::make_unique<Seat>(*this, 1);
    seats[1] = std::make_unique<Seat>(*this, 2);
    table.terminationTakesEffect = true;
    Next("logon", 8, [this] { LogOn(Pick(false)); });
    Next("logoff", 16, [this] { LogOff(Pick(true)); });
    Next("switch", 4, [this] {
      if (seats[1 - active]->loggedOn) active = 1 - active;
    });
    Next("controller-dies", 6, [this] { Dies(Role::Controller); });
    Next("bridge-dies", 6, [this] { Dies(Role::Bridge); });
    Next("click", 5, [this] {
      Seat& s = *seats[active];
      const ProgramButton b = r.Chance(0.6) ? ProgramButton::CBPellux : ProgramButton::CBLINTARO;
      if (s.monitor)
        Step(s, b == ProgramButton::CBPellux ? "click CBPellux" : "click CBLINTARO",
             [&] { s.monitor->OnProgramButtonClick(b); });
    });
    // The operator closes the monitor's window: its session's programs stay, unwatched until the next logon.
    Next("close", 3 * 24, [this] {
      Seat& s = *seats[active];
      if (s.monitor) Step(s, "close", [&] { s.monitor->OnCloseRequest(); });
    });
    Next("crash", 2 * 24, [this] {
      Seat& s = *seats[r.Below(2)];
      if (!s.monitor) return;
      Note(s, "the monitor crashed");
      Gone(s);
      w.At(r.Between(30, 90) * kSecond, [this, &s] {
        if (s.loggedOn && !s.monitor) Start(s);
      });
    });
    w.At(0, [this] { LogOn(0); });
  }
  // A kind of happening, again and again, a mean of hours apart.
  void Next(const char* name, double hours, const std::function<void()>& act) {
    w.At(r.Exp(hours * kHour), [this, name, hours, act] {
      ++w.faults_[std::string("sessions-") + name];
      act();
      Next(name, hours, act);
    });
  }
  int Pick(bool loggedOn) {
    const int first = static_cast<int>(r.Below(2));
    return seats[first]->loggedOn == loggedOn ? first : 1 - first;
  }
  void Note(const Seat& s, const std::string& what) { w.Note("session " + std::to_string(s.session) + ": " + what); }

  void LogOn(int i) {
    Seat& s = *seats[i];
    if (s.loggedOn) return;
    s.loggedOn = true;
    active = i;
    Note(s, "logon");
    Start(s);
    if (r.Chance(0.2))  // the other session logs on within a cycle
      w.At(r.Between(1, 3000), [this, i] { LogOn(1 - i); });
  }
  void LogOff(int i) {
    Seat& s = *seats[i];
    if (!s.loggedOn) return;
    if (s.monitor) Step(s, "session ending", [&] { s.monitor->OnSessionEnding(); });
    if (s.monitor) Step(s, "session ends", [&] { s.monitor->OnSessionEnd(); });
    Gone(s);
    std::vector<std::int32_t> gone;
    for (const auto& [id, k] : who)
      if (k.session == s.session) gone.push_back(id);
    for (const std::int32_t id : gone) Exit(id);
    s.fake.launchRecord.stored.reset();  // kept in the session, gone with it
    s.loggedOn = false;
    Note(s, "logoff");
    if (seats[1 - i]->loggedOn) active = 1 - i;
  }
  void Start(Seat& s) {
    s.table.ownId = Spawn(Role::Monitor, "C:\\Monitor\\PelluxMONITOR.exe", s.session, false);
    s.fake.timers.interval.clear();
    s.fake.controls.colours = {{ProgramButton::CBPellux, kLightGrey}, {ProgramButton::CBLINTARO, kLightGrey}};
    s.fake.controls.portText = "3";
    s.monitor = std::make_unique<Monitor>(s.platform());
    Step(s, "start", [&] { s.monitor->Start(); });
  }
  void Gone(Seat& s) {
    s.monitor.reset();
    for (int& gen : s.timerGen) ++gen;
    s.claim.Release();  // the system lets the named object go with its last handle
    Exit(std::exchange(s.table.ownId, -1));
  }
  void Dies(Role role) {
    std::vector<std::int32_t> ids;
    for (const auto& [id, k] : who)
      if (k.role == role) ids.push_back(id);
    if (ids.empty()) return;
    const std::int32_t id = ids[r.Below(ids.size())];
    Note(*seats[who[id].session - 1], "process " + std::to_string(id) + " died");
    Exit(id);
    if (role != Role::Controller) return;
    // The operator, in whichever session is before the screen, starts the controller again in a while.
    w.At(r.Exp(20 * kMinute), [this] {
      Seat& s = *seats[active];
      for (const auto& [other, k] : who)
        if (k.role == Role::Controller || k.role == Role::Launcher) return;
      if (!s.monitor) return;  // where no monitor runs, nobody is told the controller has gone
      // Its javaw.exe at once: a launcher of another session still starting one is seen by no monitor.
      Note(s, "the operator starts Pellux.exe");
      StartsJava(Spawn(Role::Launcher, kController.installPath, s.session, false), 0);
    });
  }

  std::int32_t Spawn(Role role, const std::string& path, SessionId session, bool launched) {
    const std::int32_t id = nextId += 4;
    Process& p = table.AddInSession(id, path, session);
    p.created = w.Now() * 10000 + id % 10000;
    who[id] = {role, session, launched, w.Now()};
    return id;
  }
  void Exit(std::int32_t id) {
    auto& list = table.processes;
    list.erase(std::remove_if(list.begin(), list.end(), [id](const Process& p) { return p.id == id; }), list.end());
    who.erase(id);
  }
  std::uint64_t Created(std::int32_t id) {
    for (const Process& p : table.processes)
      if (p.id == id) return p.created;
    return 0;
  }
  // A launcher starts javaw.exe in its own session a little later, and ends.
  void StartsJava(std::int32_t launcher, U64 afterMs) {
    const U64 born = who[launcher].born;
    w.At(afterMs, [this, launcher, born] {
      const auto it = who.find(launcher);
      if (it == who.end() || it->second.born != born) return;
      const std::int32_t java = Spawn(Role::Controller, kControllerPath, it->second.session, it->second.launched);
      table.processes.back().parentId = launcher;
      Note(*seats[it->second.session - 1],
           "the launcher " + std::to_string(launcher) + " started javaw.exe " + std::to_string(java));
      w.At(r.Between(1, 10) * kSecond, [this, launcher, born] {
        if (const auto again = who.find(launcher); again != who.end() && again->second.born == born) Exit(launcher);
      });
    });
  }
  std::uint32_t Launch(SessionId session, const std::string& path) {
    if (r.Chance(0.02)) return 0;
    if (path == kBridge.installPath) {
      const std::int32_t bridge = Spawn(Role::Bridge, path, session, true);
      if (r.Chance(0.15)) {  // the port not yet free: it ends at once, before the controller shows
        w.At(r.Between(20, 2000), [this, bridge, born = w.Now()] {
          if (const auto it = who.find(bridge); it != who.end() && it->second.born == born) Exit(bridge);
        });
      }
      return static_cast<std::uint32_t>(bridge);
    }
    if (path != kController.installPath) return 0;
    const std::int32_t launcher = Spawn(Role::Launcher, path, session, true);
    StartsJava(launcher, r.Between(0, 20) * kSecond);
    return static_cast<std::uint32_t>(launcher);
  }

  // A step of one session's monitor; the world learns what it ended and which timers it armed.
  void Step(Seat& s, const std::string& what, const std::function<void()>& act) {
    std::string line = "session " + std::to_string(s.session) + ": " + what;
    s.fake.clock.ms = w.Now();
    s.fake.clock.now = w.fake_.clock.now;
    try {
      act();
    } catch (const std::exception& e) {
      w.Fail("no-exception", line + " threw " + e.what());
    }
    for (const auto& [path, folder] : s.fake.launcher.launches) line += " launch:" + path.substr(path.rfind('\\') + 1);
    for (const auto& [id, code] : table.terminated) {
      line += " ended:" + std::to_string(id);
      if (who.count(id) != 0 && !Alive(id)) Exit(id);
    }
    for (const auto& [timer, ms] : s.fake.timers.history) {
      const int t = static_cast<int>(timer);
      const int gen = ++s.timerGen[t];
      if (ms != 0)
        w.At(ms, [this, &s, t, gen] {
          if (s.monitor && gen == s.timerGen[t])
            Step(s, t == 1 ? "Timer1" : "Timer3", [&] { s.monitor->OnTimer(static_cast<TimerId>(t)); });
        });
    }
    fakes::FakePlatform& f = s.fake;
    table.ClearRecords();  // the workstation's table, which no seat's platform holds
    f.ClearRecords();
    if (s.monitor && s.monitor->Ended()) Gone(s);
    w.Trace(w.Stamp(" ") + line);
    w.CheckInvariants(true);
  }
  bool Alive(std::int32_t id) const {
    return std::any_of(table.processes.begin(), table.processes.end(), [id](const Process& p) { return p.id == id; });
  }
  // How many of a kind run on the workstation, and how many of them the monitors launched.
  std::pair<int, int> Count(Role role) const {
    std::pair<int, int> n;
    for (const auto& [id, k] : who)
      if (k.role == role) {
        ++n.first;
        n.second += k.launched ? 1 : 0;
      }
    return n;
  }

  World& w;
  Rng r;
  fakes::FakeProcessTable table;
  std::map<std::int32_t, Known> who;
  std::unique_ptr<Seat> seats[2];
  SessionId claimHolder = 0;
  std::int32_t nextId = 8;
  int active = 0;  // the session before the screen
  bool twoAccounts = false;
  std::string endedElsewhere;  // the first process a monitor ended in another session
};

std::string World::OneControllerOnTheWorkstation() const {
  const auto [all, launched] = sessions_->Count(Role::Controller);
  if (all < 2 || launched == 0) return {};
  return std::to_string(all) + " controllers run, " + std::to_string(launched) + " launched";
}
std::string World::OneBridgeOnTheWorkstation() const {
  const int launched = sessions_->Count(Role::Bridge).second;
  return launched > 1 ? std::to_string(launched) + " bridges launched by the two sessions' monitors" : "";
}
std::string World::EndsOnlyItsOwnSession() const { return sessions_->endedElsewhere; }

World::~World() = default;

// The parts of the world, one stream each.
World::World(U64 seed, U64 days) : seed_(seed), end_(days * kDay) {
  parts_ = {
      {"controller-dies", 8, false,
       [this](Rng& r) {
         const std::int32_t id = FindRole(Role::Controller, r);
         if (id == 0) return;
         Note("javaw.exe " + std::to_string(id));
         Exit(id);
         // The cycle never starts the controller: the operator does, from the desktop, in a while.
         At(r.Exp(20 * kMinute), [this] {
           for (const auto& [other, info] : info_)
             if (info.role == Role::Controller || info.role == Role::Launcher) return;
           const std::int32_t launcher = Spawn(Role::Launcher, kController.installPath, launches_);
           Note("the operator started Pellux.exe " + std::to_string(launcher));
           StartsJava(launches_.Between(0, 90) * kSecond, launcher);
         });
       }},
      {"bridge-dies", 3, false, [this](Rng& r) { BridgeDies(r); }},
      {"bridge-burst", 5 * 24, false,
       [this](Rng& r) {  // dies again and again for a while (row 2: this one)
         if (burstLeft_ == 0) burstLeft_ = static_cast<int>(r.Between(3, 20));
         BridgeDies(r);
         if (--burstLeft_ > 0) At(r.Between(5, 60) * kSecond, [this] { RunPart(2, false); });
       }},
      {"bridge-dies-at-once", 7 * 24, false,
       [this](Rng& r) {
         dieAtOnceUntil_ = Now() + r.Between(2, 30) * kMinute;
         BridgeDies(r);
       }},
      {"javaw-dies-early", 24, false, [this](Rng& r) { javawDiesAfter_ = r.Between(5, 60) * kSecond; }},
      {"launcher-starts-two-javaw", 24, false, [this](Rng&) { secondJavaw_ = true; }},
      {"other-java", 24, false,
       [this](Rng& r) {
         const std::int32_t id = Spawn(Role::OtherJava, kOtherJavaPath, r);
         Ends(r.Exp(3 * kHour), id);
       }},
      {"namesake", 24, false,
       [this](Rng& r) {
         const auto& n = r.Pick(kNamesakes);
         const std::int32_t id = Spawn(Role::Namesake, n.path, r);
         Note(std::to_string(id) + " " + n.path + (n.refused ? " (elevated)" : ""));
         if (n.refused) Proc(id)->openForRead = Proc(id)->openForTerminate = false;
         Ends(r.Exp(6 * kHour), id);
       }},
      {"termination-refused-or-slow", 2 * 24, false,
       [this](Rng& r) {
         const std::int32_t id = FindRole(r.Chance(0.5) ? Role::Bridge : Role::Controller, r);
         if (id == 0) return;
         Process* p = Proc(id);
         const U64 how = r.Below(3);
         if (how == 0) p->openForTerminate = p->openForRead = false;  // elevated
         if (how == 1) p->terminable = false;
         if (how == 2) p->endsLater = true;
         Note(std::to_string(id) + (how == 0 ? " elevated" : how == 1 ? " refuses its end" : " ends slowly"));
       }},
      {"crowd", 3 * 24, false,
       [this](Rng& r) {  // the list grows past every size the walk starts with, for a while
         const U64 n = r.Between(40, 400), life = r.Between(5, 60) * kMinute;
         for (U64 i = 0; i < n; ++i) {
           const std::int32_t id = Spawn(Role::Crowd, "C:\\Windows\\System32\\svchost" + std::to_string(i) + ".exe", r);
           if (r.Chance(0.2)) Proc(id)->openLimited = Proc(id)->openForRead = false;
           Ends(life + r.Below(kMinute), id);
         }
       }},
      {"wall-clock-jump", 7 * 24, false,
       [this](Rng& r) {
         const bool hour = r.Chance(0.5);  // daylight saving, or a corrected clock
         wallOffset_ += hour ? (r.Chance(0.5) ? 3600 : -3600) : static_cast<std::int64_t>(r.Between(0, 1200)) - 600;
       }},
      {"control-file", 24, false,
       [this](Rng& r) {
         const auto& row = r.Pick(kControlRows);
         if (!controlPath_.empty()) fake_.files.Remove(controlPath_);
         const bool onD = r.Chance(0.6) && !driveGone_;
         controlPath_ = onD ? kBuiltInControlFile : besideMonitor_;
         if (shareRun_ && r.Chance(0.5)) controlPath_ = kShareControlFile;
         if (row.contents == nullptr)
           fake_.files.AddDirectory(controlPath_);
         else
           fake_.files.AddFile(controlPath_, row.contents);
         endAsked_ = row.ends;
         controlHolds_ = row.holds;
         Note(controlPath_ + (row.contents ? std::string(" says ") + row.contents : std::string(" is a directory")));
         At(r.Exp(30 * kMinute), [this] {  // the other program removes it again
           fake_.files.Remove(controlPath_);
           driveD_.erase(std::exchange(controlPath_, std::string()));
           endAsked_ = false;
           controlHolds_ = false;
         });
       }},
      {"drive-d", 3 * 24, false,
       [this](Rng&) {  // D: goes with its files, and comes back with them
         auto& entries = fake_.files.entries;
         driveGone_ = !driveGone_;
         if (!driveGone_) {
           entries.insert(driveD_.begin(), driveD_.end());
           driveD_.clear();
           return;
         }
         for (auto it = entries.begin(); it != entries.end();) {
           if (!StartsWith(it->first, "D:")) {
             ++it;
             continue;
           }
           driveD_.insert(*it);
           it = entries.erase(it);
         }
       }},
      {"log-write-fails", 2 * 24, false,
       [this](Rng& r) {
         if (!fake_.files.Has(logPath_)) return;
         fake_.files.entries[logPath_].locked = true;
         At(r.Exp(10 * kMinute), [this] {
           if (fake_.files.Has(logPath_)) fake_.files.entries[logPath_].locked = false;
         });
       }},
      {"click", 3, true,
       [this](Rng& r) {
         const bool first = r.Chance(0.5);
         const ProgramButton button = first ? ProgramButton::CBPellux : ProgramButton::CBLINTARO;
         const ProgramButton other = first ? ProgramButton::CBLINTARO : ProgramButton::CBPellux;
         auto& c = fake_.controls;
         expect_.click = button;
         expect_.before = c.colours[button];
         expect_.otherBefore = c.colours[other];
         expect_.refused = !first && c.portText.empty();  // the bridge's button without a port
         Step(first ? "click CBPellux" : "click CBLINTARO", [&] { monitor_->OnProgramButtonClick(button); });
       }},
      {"port-text", 24, true,
       [this](Rng& r) {
         const std::string text = r.Pick(kPortTexts);
         fake_.controls.portText = text;
         expect_.portTyped = text;
         Step("port " + text, [&] { expect_.portAccepted = monitor_->OnPortFieldLostFocus(); });
       }},
      {"session-end", 5 * 24, true,
       [this](Rng& r) {
         sessionAskedMs_ = Now();
         sessionAskedOf_ = starts;
         Step("session ending", [&] { monitor_->OnSessionEnding(); });
         // The programs get the same question and may go first: the cycle must then neither relaunch nor end.
         const Role first = r.Chance(0.5) ? Role::Bridge : Role::Controller;
         At(r.Between(1, 30) * kSecond, [this, first, &r] {
           if (const std::int32_t id = FindRole(first, r)) {
             Note("ends with the session: " + std::to_string(id));
             Exit(id);
           }
         });
         if (r.Chance(0.5)) {  // the plant's program writes the control file while the session ends
           const auto part = std::find_if(parts_.begin(), parts_.end(),
                                          [](const Part& p) { return std::string(p.name) == "control-file"; });
           At(r.Between(1, 60) * kSecond, [this, i = part - parts_.begin()] { RunPart(i, false); });
         }
         const U64 delay = r.Between(1, 90) * kSecond, answer = r.Below(3);
         At(delay, [this, answer] {
           if (!sessionAskedMs_ || answer == 2 || !Alive()) return;  // no answer: the monitor's own time-out
           sessionAskedMs_.reset();
           if (answer == 0) return Step("session goes on", [&] { monitor_->OnSessionEndCancelled(); });
           // The session ends: every program of it goes, and the next logon starts the monitor.
           allowedEnds_.insert("end of the session");
           Step("session ends", [&] { monitor_->OnSessionEnd(); });
           std::vector<std::int32_t> gone;
           for (const auto& [id, info] : info_)
             if (info.role != Role::System && info.role != Role::Crowd) gone.push_back(id);
           for (const std::int32_t id : gone) Exit(id);
           fake_.launchRecord.stored.reset();  // kept in the session, gone with it
           Restart(crashes_.Between(1, 30) * kMinute);
         });
       }},
      {"installer-close", 20 * 24, true,
       [this](Rng& r) {  // Restart Manager replaces the monitor; the programs stay
         allowedEnds_.insert({"closed for an update", "closed by an installer"});
         Step("installer asks", [&] { monitor_->OnSessionEnding(); });
         if (Alive()) Step("installer closes", [&] { monitor_->OnClosedForUpdate(); });
         fake_.system.version = "1.0." + std::to_string(r.Between(1, 9)) + ".0";
         Restart(r.Between(5, 60) * kSecond);
       }},
      {"taskbar-created", 5 * 24, true,
       [this](Rng&) {
         expect_.trayAdded = true;
         Step("TaskbarCreated", [&] { monitor_->OnTaskbarCreated(); });
       }},
      {"monitor-crash", 4 * 24, true,
       [this](Rng& r) {
         if (r.Chance(0.3)) {  // in the next launch, at start or in a cycle
           crashAtLaunch_ = true;
           return;
         }
         Gone();
         Restart(r.Between(30, 90) * kSecond);  // restarted by the system's error reporting
       }},
      {"window-closed", 15 * 24, true,
       [this](Rng& r) {
         allowedEnds_.insert("close request");
         Step("close", [&] { monitor_->OnCloseRequest(); });
         Restart(r.Between(1, 60) * kMinute);
       }},
      {"install-gone", 60 * 24, false,
       [this](Rng& r) {
         const std::string path = r.Chance(0.5) ? bridge_.installPath : kController.installPath;
         fake_.files.Remove(path);
         At(r.Exp(30 * kMinute), [this, path] { fake_.files.AddFile(path, "exe"); });
       }},
      {"share-silent", 2 * 24, false,
       [this](Rng& r) {  // the share stops answering for a while: slow, or gone
         if (!shareRun_) return;
         fake_.files.unanswered.insert(kShareControlFile);
         At(r.Chance(0.5) ? r.Between(1, 10) * kSecond : r.Exp(30 * kMinute),
            [this] { fake_.files.unanswered.erase(kShareControlFile); });
       }},
      {"timer-refused", 30 * 24, false,
       [this](Rng&) {
         refuseTimer_ = true;
         allowedEnds_.insert("no window");
       }},
  };
}

bool World::Run() {
  for (const Part& part : parts_) streams_.push_back(Stream(part.name));
  ids_ = Stream("ids");
  launches_ = Stream("launches");
  settings_ = Stream("settings");
  crashes_ = Stream("restarts");
  Rng setup = Stream("setup");
  shareRun_ = Stream("share").Chance(0.3);
  fake_.system.folder = setup.Pick(kMonitorFolders);
  logPath_ = fake_.system.folder + "\\" + kLogFileName;
  besideMonitor_ = fake_.system.folder + "\\" + kControlFileName;
  loggingRun_ = setup.Chance(0.25);  // a line for every process of every scan: in a quarter of the runs
  // Settings from the other places: the log elsewhere by the workstation's key, the bridge's name by policy.
  Rng places = Stream("places");
  if (places.Chance(0.3)) placed_.push_back({SettingsKey::Machine, "LogFile", "C:\\PlantLogs\\PelluxMONITOR.log"});
  const bool lowerCase = places.Chance(0.3);
  if (const auto& b = Stream("bridge").Pick(kBridges); b.path != nullptr) {
    bridge_ = MakeProgram(ProgramButton::CBLINTARO, b.path, b.process ? b.process : FileNameOf(b.path));
    bridgeListed_ = b.listed;
    bridgeName_ = bridgeListed_.substr(bridgeListed_.rfind('\\') + 1);
    bridgeStop_ = bridgeName_.substr(0, bridgeName_.size() - 4);
    placed_.push_back({SettingsKey::Machine, "BridgePath", b.path});
    if (b.process) placed_.push_back({SettingsKey::Machine, "BridgeProcess", b.process});
  } else if (lowerCase) {
    placed_.push_back({SettingsKey::MachinePolicy, "BridgeProcess", "lintaro.exe"});
  }
  for (const Placed& setting : placed_)
    if (setting.name == "LogFile") logPath_ = setting.value;
  wallBase_ = (20454 + static_cast<std::int64_t>(setup.Below(365))) * 86400;  // a day of 2026
  wallBase_ += static_cast<std::int64_t>(setup.Below(86400));
  fake_.files.AddFile(bridge_.installPath, "exe");
  fake_.files.AddFile(kController.installPath, "exe");
  fake_.processes.terminationTakesEffect = true;
  fake_.launcher.choose = [this](const std::string& path) { return Launch(path); };
  fake_.launcher.createdOf = [this](std::uint32_t id) { return Proc(static_cast<std::int32_t>(id))->created; };
  fake_.events.onWrite = [this] {
    if (std::exchange(crashAtNextEvent_, false)) throw Crash{};
  };
  logTexts_ = {kLogBanner, kStartedText, "Timer1 - BEFORE 'CALL Pellux_MONITOR'",
               "Timer1 - AFTER 'CALL Pellux_MONITOR'"};
  for (const SupervisedProgram* p : {&kController, &std::as_const(bridge_)}) {
    for (const std::string* text :
         {&p->clickLogText, &p->missingLog, &p->notStarted, &p->started, &p->stillRunning, &p->stopped})
      Writable(*text);
    for (const std::string* prefix : {&p->launchedLog, &p->launchFailedLog})
      launchPrefixes_.insert({*prefix, fake_.files.ToCodePage(*prefix)});
  }
  for (int i = 0; i < 6; ++i) {  // processes of the system, two that nothing may open
    const std::string path = i < 2 ? "" : "C:\\Windows\\System32\\svc" + std::to_string(i) + ".exe";
    const std::int32_t id = Spawn(Role::System, path, setup);
    if (i < 2) Proc(id)->openForRead = Proc(id)->openLimited = false;
  }
  fake_.clock.ms = 0;
  sessions_ = std::make_unique<Sessions>(*this);
  for (std::size_t i = 0; i < parts_.size(); ++i)
    At(streams_[i].Exp(parts_[i].meanHours * kHour), [this, i] { RunPart(i, true); });
  StartMonitor();
  while (violation_.empty()) {
    const U64 next = std::min({queue_.top().at, timer1_.value_or(~0ull), timer3_.value_or(~0ull)});
    if (next >= end_) break;
    fake_.clock.ms = next;
    fake_.clock.now = CivilTime(wallBase_ + wallOffset_ + static_cast<std::int64_t>(next / 1000));
    if (timer1_ == next) {
      timer1_.reset();
      ++cycles;
      Step("Timer1", [&] { monitor_->OnTimer(TimerId::Timer1); });
    } else if (timer3_ == next) {
      timer3_.reset();
      Step("Timer3", [&] { monitor_->OnTimer(TimerId::Timer3); });
    } else {
      const Event e = queue_.top();
      queue_.pop();
      e.act();
    }
  }
  if (!violation_.empty()) {
    std::printf("seed %llu FAILED at step %llu, %.1f simulated minutes in: %s\n", static_cast<ull>(seed_),
                static_cast<ull>(stepNo_), static_cast<double>(Now()) / kMinute, violation_.c_str());
    for (const auto& [line, quiet] : trace_)
      std::printf("    %s%s\n", line.c_str(),
                  quiet > 1 ? (" (quiet, " + std::to_string(quiet) + " in a row)").c_str() : "");
    std::printf("  the programs then:");
    for (const auto& p : fake_.processes.processes) {
      const Info& info = info_[p.id];
      if (info.role != Role::System && info.role != Role::Crowd)
        std::printf(" %d%s%s%s %s;", p.id, info.launched ? " launched" : "", p.openForTerminate ? "" : " elevated",
                    p.terminable && !p.endsLater ? "" : " stubborn", p.path.substr(p.path.rfind('\\') + 1).c_str());
    }
    std::printf("\n  the two sessions' programs:");
    for (const auto& [id, k] : sessions_->who)
      if (k.role != Role::Monitor)
        std::printf(" %d%s %s in session %u;", id, k.launched ? " launched" : "",
                    k.role == Role::Controller ? "javaw.exe"
                    : k.role == Role::Bridge   ? "LINTARO.exe"
                                               : "Pellux.exe",
                    static_cast<unsigned>(k.session));
    std::printf("\n  replay: make simulate SEED=%llu RUNS=1 DAYS=%llu\n", static_cast<ull>(seed_),
                static_cast<ull>((end_ + kDay - 1) / kDay));
  }
  std::string kinds;
  for (const auto& [kind, n] : faults_) kinds += " " + kind + "=" + std::to_string(n);
  std::printf(
      "seed %llu: %.1f days, %llu cycles, %llu monitor starts, %llu invariant checks, trace %016llx; "
      "faults:%s\n",
      static_cast<ull>(seed_), static_cast<double>(fake_.clock.ms) / kDay, static_cast<ull>(cycles),
      static_cast<ull>(starts), static_cast<ull>(checks), static_cast<ull>(hash), kinds.c_str());
  return violation_.empty();
}

}  // namespace
}  // namespace pellux::sim

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // a line per run as it ends
  std::uint64_t seed = 1, runs = 1, days = 30;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> plan;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::uint64_t* value = arg == "--seed" ? &seed : arg == "--runs" ? &runs : arg == "--days" ? &days : nullptr;
    if (arg == "--fixed")
      for (const auto& f : pellux::sim::kFixedSeeds) plan.push_back({f.seed, f.days});
    else if (value != nullptr && i + 1 < argc)
      *value = std::strtoull(argv[++i], nullptr, 10);
    else {
      std::fprintf(stderr, "usage: simulate [--seed N] [--runs K] [--days D] [--fixed]\n");
      return 2;
    }
  }
  if (plan.empty())
    for (std::uint64_t k = 0; k < runs; ++k) plan.push_back({seed + k, days});
  int failed = 0;
  std::uint64_t cycles = 0, checks = 0;
  for (const auto& [s, d] : plan) {
    pellux::sim::World world(s, d);
    failed += world.Run() ? 0 : 1;
    cycles += world.cycles;
    checks += world.checks;
  }
  std::printf("total: %zu runs, %d failed, %llu cycles, %llu invariant checks\n", plan.size(), failed,
              static_cast<unsigned long long>(cycles), static_cast<unsigned long long>(checks));
  return failed == 0 ? 0 : 1;
}
