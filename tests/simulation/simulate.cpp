// Months of a workstation in seconds: the real monitor (start-up, the cycle,
// the buttons, the port field, the control file, the log, the events, the
// settings) against the unit tests' fakes made lively. One seed decides every
// random choice, each part of the world drawing from a stream of its own, so
// that a failing run replays step for step; the plant's invariants are
// checked after every step. Time jumps to the next thing that happens.
//
//   simulate [--seed N] [--runs K] [--days D] [--fixed]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <queue>
#include <set>
#include <string>
#include <vector>

#include "app/monitor.h"
#include "common/upper_case.h"
#include "fakes/fakes.h"
#include "supervision/control_file.h"
#include "ui/program_buttons.h"
#include "ui/port_field.h"

namespace pellux::sim {
namespace {

constexpr std::uint64_t kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute,
                        kDay = 24 * kHour;
// Seeds that once found a fault, and the days they need to reach it:
// make test runs each of them.
struct FixedSeed {
  std::uint64_t seed, days;
  const char* found;
};
constexpr FixedSeed kFixedSeeds[] = {
    {5, 1, "a monitor started again launched a second bridge and controller"},
    {13, 4, "a Timer1 that could not be armed again ended supervision without a word"},
    {11, 26, "BridgeProcess without .exe: a new bridge on every cycle"},
};

// splitmix64: the same numbers from every compiler and library.
class Rng {
 public:
  explicit Rng(std::uint64_t seed = 0) : s_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }
  std::uint64_t Between(std::uint64_t lo, std::uint64_t hi) { return lo + Below(hi - lo + 1); }
  bool Chance(double p) { return Unit() < p; }
  // An exponential span: the memoryless lifetime of a process or a fault.
  std::uint64_t Exp(double meanMs) { return 1 + static_cast<std::uint64_t>(-std::log(1.0 - Unit()) * meanMs); }
  template <typename T, std::size_t N>
  const T& Pick(const T (&rows)[N]) { return rows[Below(N)]; }

 private:
  std::uint64_t s_;
};

std::uint64_t Fnv(const std::string& text, std::uint64_t h = 0xcbf29ce484222325ull) {
  for (const unsigned char c : text) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

LocalTime CivilTime(std::int64_t seconds) {
  std::int64_t z = seconds / 86400 + 719468;
  const std::int64_t rest = seconds % 86400;
  const std::int64_t era = z / 146097, doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yoe + era * 400 + (month <= 2)), month,
          static_cast<int>(doy - (153 * mp + 2) / 5 + 1), static_cast<int>(rest / 3600),
          static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60)};
}

// Thrown by the world to crash the monitor in the middle of a step.
struct Crash {};

struct Violation {
  std::string name;
  std::string detail;
};

const std::string kControllerPath = "C:\\Program Files\\Pellux\\jre\\bin\\javaw.exe";
const std::string kOtherJavaPath = "C:\\Program Files\\Java\\jre8\\bin\\javaw.exe";
const std::string kControlOnD = kBuiltInControlFile;

enum class Role { System, Monitor, Launcher, Controller, OtherJava, Bridge, Namesake, Crowd };

struct Namesake {
  const char* path;
  bool refused;  // elevated or another user's: readable only with the limited right
};
// Paths that bear a stop name without being the program: a folder named
// after the bridge, the updater of its maker, a tool named after javaw.
constexpr Namesake kNamesakes[] = {{"C:\\Lintaro tools\\viewer.exe", false},
                                   {"C:\\Program Files\\Ferrowin\\LintaroSvc.exe", true},
                                   {"C:\\javaw-tools\\x.exe", false},
                                   {"C:\\Users\\op\\LINTARO backup\\copy.exe", true}};
constexpr const char* kMonitorFolders[] = {"C:\\Monitor", "C:\\Lintaro tools\\Monitor"};
constexpr const char* kPortTexts[] = {"", "3", "12", " 3", "2,5", "abc", "99999999999", "-4", "2.6", "1e3"};

struct ControlRow {
  const char* contents;  // nullptr: a directory of that name
  bool holds;
  bool ends;
};
constexpr ControlRow kControlRows[] = {
    {"#2026-01-01 10:00:00#,\"HOLD\"\r\n", true, false}, {"x,STOP\r\n", true, false},
    {"#2026#,\"hold\"", true, false},                    {"#2026-01-01#,\"END\"\r\n", false, true},
    {"\x01\xff garbage", false, false},                  {"#2026-01-01 10:00", false, false},
    {"x,STOPPED", false, false},                         {nullptr, false, false}};

// A value of the settings at start: none, one that is fine, or one that must
// be refused before anything is launched.
struct SettingsRow {
  const char* name;
  const char* value;
  bool refused;
};
constexpr SettingsRow kSettingsRows[] = {{"ControlFile", "", false},
                                         {"ControllerPath", "Pellux.exe", true},
                                         {"BridgePath", "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO", true},
                                         {"BridgeProcess", "Lintaro", true}};

struct Info {
  Role role;
  std::string path;
  std::uint64_t born;
  bool launched = false;  // by a monitor of this session
  std::int32_t parent = 0;
};

enum class EventType { Part, Death, LauncherStartsJava, LauncherExits, MonitorStart, SessionAnswer, Undo, OperatorStarts };

struct Event {
  std::uint64_t at;
  std::uint64_t seq;
  EventType type;
  int part = 0;
  std::int32_t id = 0;
  std::uint64_t born = 0;
  int what = 0;
  bool operator>(const Event& o) const { return at != o.at ? at > o.at : seq > o.seq; }
};

class World;
struct Part {
  const char* name;
  double meanHours;
  void (World::*act)(Rng&);
};

class World {
 public:
  World(std::uint64_t seed, std::uint64_t days) : seed_(seed), end_(days * kDay) {}
  bool Run();
  void Summary() const;
  std::uint64_t cycles = 0, checks = 0, starts = 0, hash = 0;
  std::map<std::string, int> faults;

 private:
  static const Part kParts[];

  Rng Stream(const char* name) const { return Rng(Fnv(name, seed_ * 0x9E3779B97F4A7C15ull)); }
  void Schedule(Event e) {
    e.seq = seq_++;
    queue_.push(e);
  }
  void At(std::uint64_t delay, EventType type, int what = 0, std::int32_t id = 0) {
    Schedule({fake_.clock.ms + delay, 0, type, 0, id, id ? info_[id].born : 0, what});
  }
  std::uint64_t Now() const { return fake_.clock.ms; }
  void Fault(const char* kind) { ++faults[kind]; }
  // A line of the trace for what the world did between the monitor's steps.
  void Note(const std::string& what) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%llu.%03llu   ", static_cast<unsigned long long>(Now() / 1000),
                  static_cast<unsigned long long>(Now() % 1000));
    std::string line = stamp;
    for (const unsigned char c : what) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      line += c >= 0x20 && c < 0x7f ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    hash = Fnv(line, hash);
    quietRun_ = 0;
    trace_.push_back(std::move(line));
    if (trace_.size() > 40) trace_.pop_front();
  }

  // Processes.
  std::int32_t NewId(Rng& r);
  std::int32_t Spawn(Role role, const std::string& path, Rng& r, bool launched = false);
  void Exit(std::int32_t id);
  fakes::FakeProcessTable::Process* Proc(std::int32_t id);
  std::int32_t FindRole(Role role, Rng& r);
  bool Visible(const char* upperName) const;
  bool ControllerVisible() const { return Visible("JAVAW.EXE"); }
  bool BridgeVisible() const { return Visible("LINTARO.EXE"); }
  std::uint32_t Launch(const std::string& path);

  // The monitor.
  void StartMonitor();
  // The latest decision wins: an installer's quick start over the slow one after an end.
  void Restart(std::uint64_t delay) { At(delay, EventType::MonitorStart, ++restartGen_); }
  // The monitor's process is gone: its window, its timers, its id.
  void Gone() {
    monitor_.reset();
    timer1_.reset();
    timer3_.reset();
    Exit(fake_.processes.ownId);
    fake_.processes.ownId = -1;
  }
  bool Alive() const { return monitor_ && !monitor_->Ended(); }
  template <typename F>
  void Step(const std::string& what, F&& action);
  void AfterStep(const std::string& what);
  void CheckLog();
  void CheckEvents();
  void CheckCycle(bool terminatedAny);
  void CheckClick(ProgramButton button, Colour before, Colour otherBefore, const std::string& port);
  void Fail(const char* name, std::string detail) {
    if (!violation_) violation_ = Violation{name, std::move(detail)};
  }
  bool GraceMayHold() const;

  // The parts of the world, one stream each.
  void ControllerDies(Rng& r);
  void BridgeDies(Rng& r);
  void BridgeBurst(Rng& r);
  void BridgeDiesAtOnce(Rng& r);
  void OtherJava(Rng& r);
  void NamesakeStarts(Rng& r);
  void TerminationTrouble(Rng& r);
  void Crowd(Rng& r);
  void WallClock(Rng& r);
  void ControlFile(Rng& r);
  void DriveD(Rng& r);
  void LogTrouble(Rng& r);
  void Click(Rng& r);
  void PortText(Rng& r);
  void SessionEnd(Rng& r);
  void Installer(Rng& r);
  void Taskbar(Rng& r);
  void MonitorCrash(Rng& r);
  void CloseWindow(Rng& r);
  void InstallGone(Rng& r);
  void TimerRefused(Rng& r);

  void Dispatch(const Event& e);

  std::uint64_t seed_, end_;
  std::uint64_t seq_ = 0, stepNo_ = 0;
  std::priority_queue<Event, std::vector<Event>, std::greater<>> queue_;
  std::vector<Rng> streams_;
  Rng ids_, launches_, settings_, crashes_;
  fakes::FakePlatform fake_;
  std::unique_ptr<Monitor> monitor_;
  std::map<std::int32_t, Info> info_;
  std::vector<std::int32_t> freed_;
  std::int32_t nextId_ = 8;
  std::int64_t wallBase_ = 0, wallOffset_ = 0;
  std::optional<std::uint64_t> timer1_, timer3_;
  std::optional<Violation> violation_;
  std::deque<std::string> trace_;
  int quietRun_ = 0;
  std::uint64_t createdSeq_ = 0;
  bool crashAtNextEvent_ = false;

  // What the world knows of the monitor's run.
  int restartGen_ = 0;
  bool stepIsStart_ = false;
  bool crashAtLaunch_ = false;
  bool refuseTimer_ = false;
  bool loggingRun_ = false;
  bool badSetting_ = false;
  std::uint64_t startMs_ = 0;
  std::int32_t startLauncher_ = 0;  // the launcher start-up launched, while it runs
  std::uint64_t launcherEndedMs_ = 0;
  bool controllerLaunchedAtStart_ = false, controllerSeen_ = false;
  std::optional<std::uint64_t> sessionAskedMs_;
  std::uint64_t dieAtOnceUntil_ = 0;
  int burstLeft_ = 0;
  std::string controlPath_;  // the control file the world wrote, empty when none
  std::map<std::string, fakes::FakeFileSystem::Entry> driveD_;  // D:'s files while it is gone
  bool driveGone_ = false;
  std::size_t logRead_ = 0;
  std::string logPath_;
  std::set<std::string> allowedEnds_;
  std::set<std::string> logTexts_, logPrefixes_, paths_;
  // The events' bookkeeping, per monitor: occurrences seen and counts
  // reported for each kind of the cycle, and the times of each kind's reports.
  std::map<std::uint32_t, std::uint64_t> happened_, reported_;
  std::map<std::string, std::deque<std::uint64_t>> lastHour_;
  bool stepIsCycle_ = false;
  std::vector<std::uint32_t> bridgeLaunches_;  // results, this step
};

// Mean time between two occurrences, in hours of simulated time.
const Part World::kParts[] = {
    {"controller-dies", 8, &World::ControllerDies},
    {"bridge-dies", 3, &World::BridgeDies},
    {"bridge-burst", 5 * 24, &World::BridgeBurst},
    {"bridge-dies-at-once", 7 * 24, &World::BridgeDiesAtOnce},
    {"other-java", 24, &World::OtherJava},
    {"namesake", 24, &World::NamesakeStarts},
    {"termination-refused-or-slow", 2 * 24, &World::TerminationTrouble},
    {"crowd", 3 * 24, &World::Crowd},
    {"wall-clock-jump", 7 * 24, &World::WallClock},
    {"control-file", 24, &World::ControlFile},
    {"drive-d", 3 * 24, &World::DriveD},
    {"log-write-fails", 2 * 24, &World::LogTrouble},
    {"click", 3, &World::Click},
    {"port-text", 24, &World::PortText},
    {"session-end", 5 * 24, &World::SessionEnd},
    {"installer-close", 20 * 24, &World::Installer},
    {"taskbar-created", 5 * 24, &World::Taskbar},
    {"monitor-crash", 4 * 24, &World::MonitorCrash},
    {"window-closed", 15 * 24, &World::CloseWindow},
    {"install-gone", 60 * 24, &World::InstallGone},
    {"timer-refused", 30 * 24, &World::TimerRefused},
};

// --- processes -------------------------------------------------------------

std::int32_t World::NewId(Rng& r) {
  // Windows hands out the ids of ended processes again, soon.
  if (!freed_.empty() && r.Chance(0.3)) {
    const std::size_t at = freed_.size() - 1 - r.Below(std::min<std::size_t>(freed_.size(), 8));
    const std::int32_t id = freed_[at];
    freed_.erase(freed_.begin() + static_cast<std::ptrdiff_t>(at));
    Fault("id-reused");
    return id;
  }
  return nextId_ += 4;
}

std::int32_t World::Spawn(Role role, const std::string& path, Rng& r, bool launched) {
  const std::int32_t id = NewId(r);
  fakes::FakeProcessTable::Process p{id, path};
  // The module list of a process of the other word size cannot be read.
  p.modulesReadable = !r.Chance(0.1);
  p.created = Now() * 10000 + ++createdSeq_ % 10000;  // 100-ns units: each process its own
  auto& list = fake_.processes.processes;
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(r.Below(list.size() + 1)), p);
  info_[id] = {role, path, Now(), launched};
  paths_.insert(path);
  return id;
}

void World::Exit(std::int32_t id) {
  auto& list = fake_.processes.processes;
  for (auto it = list.begin(); it != list.end(); ++it)
    if (it->id == id) {
      list.erase(it);
      break;
    }
  if (info_.erase(id) != 0) freed_.push_back(id);
  if (freed_.size() > 64) freed_.erase(freed_.begin());
  if (id == startLauncher_) {
    startLauncher_ = 0;
    launcherEndedMs_ = Now();
  }
}

fakes::FakeProcessTable::Process* World::Proc(std::int32_t id) {
  for (auto& p : fake_.processes.processes)
    if (p.id == id) return &p;
  return nullptr;
}

std::int32_t World::FindRole(Role role, Rng& r) {
  std::vector<std::int32_t> ids;
  for (const auto& [id, info] : info_)
    if (info.role == role) ids.push_back(id);
  return ids.empty() ? 0 : ids[r.Below(ids.size())];
}

bool World::Visible(const char* upperName) const {
  const std::size_t n = std::strlen(upperName);
  for (const auto& p : fake_.processes.processes) {
    if (!((p.openForRead && (!p.modulesReadable || p.pathReadable)) || (p.openLimited && p.imageReadable)))
      continue;
    if (p.path.size() < n) continue;
    const char* tail = p.path.c_str() + p.path.size() - n;
    std::size_t i = 0;
    while (i < n && Upper(tail[i]) == upperName[i]) ++i;
    if (i == n) return true;
  }
  return false;
}

// The system's side of a launch: the process, or 0 when it did not start.
std::uint32_t World::Launch(const std::string& path) {
  Rng& r = launches_;
  std::int32_t id = 0;
  if (path == kBridge.installPath) {
    if (r.Chance(0.02)) {
      Fault("launch-fails");
    } else {
      id = Spawn(Role::Bridge, path, r, true);
      if (Now() < dieAtOnceUntil_) At(r.Between(20, 2000), EventType::Death, 0, id);
    }
    if (stepIsCycle_) bridgeLaunches_.push_back(static_cast<std::uint32_t>(id));
  } else if (path == kController.installPath) {
    if (r.Chance(0.03)) {
      Fault("launch-fails");
    } else {
      id = Spawn(Role::Launcher, path, r, true);
      if (stepIsStart_) {
        controllerLaunchedAtStart_ = true;
        startLauncher_ = id;
      }
      // The launcher starts javaw.exe after up to 90 s, or never.
      if (r.Chance(0.08)) {
        Fault("launcher-never-starts-java");
        At(r.Between(5, 120) * kSecond, EventType::LauncherExits, 0, id);
      } else {
        At(r.Between(0, 90) * kSecond, EventType::LauncherStartsJava, 0, id);
      }
    }
  }
  // The crash comes with the next event the monitor writes, once the launch is recorded.
  if (std::exchange(crashAtLaunch_, false)) crashAtNextEvent_ = true;
  return static_cast<std::uint32_t>(id);
}

// --- the monitor -------------------------------------------------------------

void World::StartMonitor() {
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
  badSetting_ = false;
  if (settings_.Chance(0.05)) {
    const SettingsRow& row = settings_.Pick(kSettingsRows);
    fake_.settings.Set(SettingsKey::User, row.name, row.value);
    badSetting_ = row.refused;
    Fault(row.refused ? "setting-refused" : "setting-set");
    logTexts_.insert(SetValueLogText({row.name, row.value, SettingsKey::User}));
    logPrefixes_.insert(BadSettingLogText({row.name, SettingsKey::User, ""}));
  }
  if (loggingRun_ && settings_.Chance(0.5)) {
    fake_.files.AddFile(logPath_);
  } else {
    fake_.files.Remove(logPath_);
  }
  logRead_ = 0;

  happened_.clear();
  reported_.clear();
  lastHour_.clear();
  startMs_ = Now();
  controllerSeen_ = false;
  controllerLaunchedAtStart_ = false;
  startLauncher_ = 0;
  // A launcher an earlier monitor launched, still starting javaw.exe, is
  // taken over with its grace.
  bool javaw = false;
  for (const auto& [id, info] : info_) javaw |= info.launched && info.role == Role::Controller;
  for (const auto& [id, info] : info_)
    if (!javaw && info.launched && info.role == Role::Launcher) startLauncher_ = id, controllerLaunchedAtStart_ = true;
  allowedEnds_ = {"missing program", "bad setting"};
  if (refuseTimer_) allowedEnds_.insert("no window");
  monitor_ = std::make_unique<Monitor>(fake_.platform());
  Step("start", [&] { monitor_->Start(); });
}

template <typename F>
void World::Step(const std::string& what, F&& action) {
  ++stepNo_;
  stepIsCycle_ = what == "Timer1";
  stepIsStart_ = what == "start";
  bridgeLaunches_.clear();
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
  AfterStep(what);
}

bool World::GraceMayHold() const {
  // The longest the monitor may leave the bridge alone without javaw.exe:
  // 30 s after the controller's launch, or while its launcher runs (3
  // minutes at most) and 30 s after it ended.
  if (!controllerLaunchedAtStart_ || controllerSeen_) return false;
  if (Now() - startMs_ < 30 * kSecond) return true;
  const std::uint64_t launcherGone = startLauncher_ != 0 ? Now() : std::max(launcherEndedMs_, startMs_);
  return Now() < std::min(launcherGone, startMs_ + 3 * kMinute) + 30 * kSecond;
}

void World::AfterStep(const std::string& what) {
  fakes::FakePlatform& f = fake_;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%llu.%03llu ", static_cast<unsigned long long>(Now() / 1000),
                static_cast<unsigned long long>(Now() % 1000));
  std::string line = stamp + what;
  if (f.files.Has(logPath_)) CheckLog();

  // The monitor's launches and terminations.
  for (const auto& [path, folder] : f.launcher.launches) line += " launch:" + path.substr(path.rfind('\\') + 1);
  bool terminatedAny = false;
  for (const auto& [id, code] : f.processes.terminated) {
    terminatedAny = true;
    line += " ended:" + std::to_string(id);
    auto it = info_.find(id);
    const std::string path = it == info_.end() ? std::string() : it->second.path;
    if (id == f.processes.ownId) Fail("never-ends-itself", "ended its own process " + std::to_string(id));
    const std::string upper = Upper(path);
    if (upper.find("LINTARO") == std::string::npos && upper.find("JAVAW") == std::string::npos)
      Fail("ends-only-stop-names", "ended " + path);
    if (stepIsCycle_) ++happened_[static_cast<std::uint32_t>(EventId::BridgeTerminated)];
    if (stepIsCycle_ && GraceMayHold() && Now() - startMs_ < 30 * kSecond && it != info_.end() &&
        it->second.role == Role::Bridge)
      Fail("bridge-kept-while-controller-starts", "a cycle ended the bridge " +
                                                      std::to_string(Now() - startMs_) + " ms after start-up");
    if (const auto* p = Proc(id); p != nullptr && p->endsLater) {
      At(launches_.Between(500, 10000), EventType::Death, 0, id);
    } else if (it != info_.end()) {
      Exit(id);  // already gone from the table
    }
  }
  for (const std::uint32_t result : bridgeLaunches_)
    ++happened_[static_cast<std::uint32_t>(result == 0 ? EventId::BridgeRelaunchFailed : EventId::BridgeRelaunched)];

  // Timers: what the step armed is due from now.
  for (const auto& [timer, ms] : f.timers.history) {
    std::optional<std::uint64_t>& due = timer == TimerId::Timer1 ? timer1_ : timer3_;
    due = ms == 0 ? std::nullopt : std::optional<std::uint64_t>(Now() + ms);
  }
  if (!monitor_) timer1_.reset(), timer3_.reset();

  CheckEvents();
  if (f.lifetime.ends > 0) {
    line += " end";
    f.lifetime.ends = 0;
    if (!monitor_ || !monitor_->Ended()) Fail("ends-only-when-asked", "ended without its own end");
    Restart(crashes_.Between(1, 30) * kMinute);
  }
  if (Alive()) {
    if (!timer1_) Fail("timer-armed", "Timer1 left disarmed while the monitor supervises");
  }
  if (f.processes.OpenHandles() != 0)
    Fail("handles-closed", std::to_string(f.processes.OpenHandles()) + " process handles left open");
  if (stepIsCycle_ && monitor_) CheckCycle(terminatedAny);
  int launched[2] = {0, 0};
  for (const auto& [id, info] : info_)
    if (info.launched && (info.role == Role::Bridge || info.role == Role::Controller))
      ++launched[info.role == Role::Bridge];
  if (launched[1] > 1) Fail("one-bridge", std::to_string(launched[1]) + " bridges launched by the session's monitors run");
  if (launched[0] > 1)
    Fail("one-controller", std::to_string(launched[0]) + " controllers launched by the session's monitors run");
  checks += 9;

  for (const auto& box : f.dialogs.boxes) line += " box:" + box.text.substr(0, 12);
  hash = Fnv(line, hash);
  // Quiet cycles in a row stand as one line of the trace shown.
  const bool quiet = line.size() >= 7 && line.compare(line.size() - 7, 7, " Timer1") == 0;
  if (quiet && quietRun_ > 0 && !trace_.empty()) {
    trace_.back() = line + " (quiet, " + std::to_string(++quietRun_) + " in a row)";
  } else {
    quietRun_ = quiet ? 1 : 0;
    trace_.push_back(std::move(line));
    if (trace_.size() > 40) trace_.pop_front();
  }

  f.launcher.launches.clear();
  f.processes.terminated.clear();
  f.processes.listSizes.clear();
  f.processes.openAccess.clear();
  f.timers.history.clear();
  f.journal.clear();
  f.tray.calls.clear();
  f.files.existsAsked.clear();
  f.files.readsAsked.clear();
  f.dialogs.boxes.clear();
  f.events.events.clear();
  if (monitor_ && monitor_->Ended()) Gone();
}

void World::CheckCycle(bool terminatedAny) {
  const bool sessionEnding = sessionAskedMs_ && Now() - *sessionAskedMs_ < 60 * kSecond;
  if (sessionEnding || !monitor_ || monitor_->Ended()) return;
  const bool controller = ControllerVisible(), bridge = BridgeVisible();
  checks += 2;
  if (controller) {
    controllerSeen_ = true;
    const bool failed = !bridgeLaunches_.empty() && bridgeLaunches_.back() == 0;
    if (!bridge && !failed) Fail("bridge-back-within-a-cycle", "the controller runs and no bridge after the cycle");
    return;
  }
  if (!bridge || GraceMayHold() || terminatedAny) return;
  for (const auto& p : fake_.processes.processes)
    if (Upper(p.path).find("LINTARO.EXE") != std::string::npos &&
        (!p.openForTerminate || !p.terminable || p.endsLater))
      return;  // one the system will not let go
  Fail("bridge-ended-after-controller", "no controller, and the cycle left the bridge running");
}

void World::CheckClick(ProgramButton button, Colour before, Colour otherBefore, const std::string& port) {
  if (!monitor_ || monitor_->Ended()) return;
  const fakes::FakeWindowControls& c = fake_.controls;
  const ProgramButton other = button == ProgramButton::CBPellux ? ProgramButton::CBLINTARO : ProgramButton::CBPellux;
  const bool controller = ControllerVisible(), bridge = BridgeVisible();
  const bool runs = button == ProgramButton::CBPellux ? controller : bridge;
  checks += 3;
  if (button == ProgramButton::CBLINTARO && port.empty()) {
    if (c.colours.at(button) != before) Fail("button-colours", "a refused click recoloured its button");
    return;
  }
  Colour expected = runs ? kGreen : kRed, otherExpected = otherBefore;
  Colour back = runs ? kGreen : kRed, fore = runs ? kBlack : kWhite;
  if (before == kGreen && button == ProgramButton::CBPellux) {
    // The stop of both: the bridge's button turns red only when it went.
    otherExpected = bridge ? otherBefore : kRed;
    if (controller != bridge) back = kMagenta, fore = kBlack;
    else back = controller ? kGreen : kRed, fore = controller ? kBlack : kWhite;
  } else if (before == kGreen && runs) {
    expected = kGreen;
  }
  if (c.colours.at(button) != expected || c.colours.at(other) != otherExpected)
    Fail("button-colours", "after a click on a button of colour " + std::to_string(before));
  if (c.stripBack != back || c.stripFore != fore) Fail("strip-colours", "the strip after a click: " + c.stripText);
}

void World::CheckEvents() {
  for (const auto& e : fake_.events.events) {
    const auto id = static_cast<std::uint32_t>(e.id);
    std::string kind = std::to_string(id);
    if (e.id == EventId::BridgeRelaunched || e.id == EventId::BridgeRelaunchFailed ||
        e.id == EventId::BridgeTerminated)
      reported_[id] += std::strtoull(e.strings.back().c_str(), nullptr, 10);
    if (e.id == EventId::RepeatSummary) {
      kind += "/" + e.strings.at(1);
      reported_[static_cast<std::uint32_t>(std::stoul(e.strings.at(1)))] += std::stoull(e.strings.at(2));
    }
    if (e.id == EventId::Ended && allowedEnds_.count(e.strings.at(1)) == 0)
      Fail("ends-only-when-asked", "ended by " + e.strings.at(1));
    // What a user's clicks and the monitor's starts bring is theirs.
    if (id >= 1040 || id <= 1012) continue;
    auto& times = lastHour_[kind];
    times.push_back(Now());
    while (Now() - times.front() >= kHour) times.pop_front();
    if (times.size() > 7) Fail("events-per-hour", std::to_string(times.size()) + " events " + kind + " in an hour");
  }
  bool ended = false;
  for (const auto& e : fake_.events.events) ended |= e.id == EventId::Ended;
  for (const auto& [id, count] : reported_) {
    const std::uint64_t seen = happened_[id];
    if (count > seen || (ended && count != seen))
      Fail("event-counts", "event " + std::to_string(id) + " counts " + std::to_string(count) + " of " +
                               std::to_string(seen) + " occurrences");
  }
  if (ended)
    for (const auto& [id, seen] : happened_)
      if (seen != reported_[id]) Fail("event-counts", "event " + std::to_string(id) + " never told all");
}

void World::CheckLog() {
  auto& contents = fake_.files.entries[logPath_].contents;
  const LocalTime now = fake_.clock.Now();
  std::size_t pos = logRead_;
  while (pos < contents.size()) {
    const std::size_t open = contents.find(",\"", pos), end = contents.find("\"\r\n", pos);
    if (open == std::string::npos || end == std::string::npos || end < open) {
      Fail("log-line-shape", "a broken line: " + contents.substr(pos, 80));
      break;
    }
    const std::string text = contents.substr(open + 2, end - open - 2);
    if (contents.compare(pos, end + 3 - pos, FormatLogLine(now, text)) != 0)
      Fail("log-line-shape", "stamp: " + contents.substr(pos, end + 3 - pos));
    bool known = logTexts_.count(text) != 0;
    const std::size_t dash = text.rfind(" - ");
    if (!known && dash != std::string::npos) {
      // A process of a scan and its handle, or a launch and its result.
      const std::string head = text.substr(0, dash), tail = text.substr(dash + 3);
      const bool number = !tail.empty() && tail.find_first_not_of("0123456789") == std::string::npos;
      known = number && paths_.count(head) != 0;
      for (const SupervisedProgram* p : {&kController, &kBridge})
        for (const std::string* prefix : {&p->launchedLog, &p->launchFailedLog})
          known = known || (text.rfind(*prefix, 0) == 0 && text.size() > prefix->size() &&
                            text.find_first_not_of("0123456789", prefix->size()) == std::string::npos);
    }
    if (!known) {  // a click's message: its lines, each a text of the system
      known = true;
      std::size_t at = 0;
      while (known && at <= text.size()) {
        const std::size_t cr = std::min(text.find('\r', at), text.size());
        const std::string part = text.substr(at, cr - at);
        known = logTexts_.count(part) != 0 || part.rfind(kPortClosedText, 0) == 0;
        at = cr + 1;
      }
    }
    for (const std::string& prefix : logPrefixes_) known = known || text.rfind(prefix, 0) == 0;
    if (!known) Fail("log-line-shape", "a text the monitor has no reason to write: " + text);
    pos = end + 3;
  }
  contents.clear();  // read by whoever keeps the log; the next step starts afresh
  logRead_ = 0;
}

// --- the parts of the world ---------------------------------------------------

void World::ControllerDies(Rng& r) {
  const std::int32_t id = FindRole(Role::Controller, r);
  if (id == 0) return;
  Note("javaw.exe " + std::to_string(id));
  Exit(id);
  // The cycle never starts the controller: the operator does, from the desktop, in a while.
  At(r.Exp(20 * kMinute), EventType::OperatorStarts);
}

void World::BridgeDies(Rng& r) {
  if (const std::int32_t id = FindRole(Role::Bridge, r)) Note("LINTARO.exe " + std::to_string(id)), Exit(id);
}

void World::BridgeBurst(Rng& r) {
  // The bridge dies again and again for a while; the part comes back soon.
  if (burstLeft_ == 0) burstLeft_ = static_cast<int>(r.Between(3, 20));
  BridgeDies(r);
  if (--burstLeft_ > 0) Schedule({Now() + r.Between(5, 60) * kSecond, 0, EventType::Part, 2, 0, 0, 1});
}

void World::BridgeDiesAtOnce(Rng& r) {
  dieAtOnceUntil_ = Now() + r.Between(2, 30) * kMinute;
  BridgeDies(r);
}

void World::OtherJava(Rng& r) {
  const std::int32_t id = Spawn(Role::OtherJava, kOtherJavaPath, r);
  At(r.Exp(3 * kHour), EventType::Death, 0, id);
}

void World::NamesakeStarts(Rng& r) {
  const Namesake& n = r.Pick(kNamesakes);
  const std::int32_t id = Spawn(Role::Namesake, n.path, r);
  Note(std::to_string(id) + " " + n.path + (n.refused ? " (elevated)" : ""));
  if (n.refused) {
    auto* p = Proc(id);
    p->openForRead = false;
    p->openForTerminate = false;
  }
  At(r.Exp(6 * kHour), EventType::Death, 0, id);
}

void World::TerminationTrouble(Rng& r) {
  const std::int32_t id = FindRole(r.Chance(0.5) ? Role::Bridge : Role::Controller, r);
  if (id == 0) return;
  auto* p = Proc(id);
  const std::uint64_t how = r.Below(3);
  if (how == 0) p->openForTerminate = false, p->openForRead = false;  // elevated
  if (how == 1) p->terminable = false;
  if (how == 2) p->endsLater = true;
  Note(std::to_string(id) + (how == 0 ? " elevated" : how == 1 ? " refuses its end" : " ends slowly"));
}

void World::Crowd(Rng& r) {
  // The list grows past every size the walk starts with, for a while.
  const std::uint64_t n = r.Between(40, 400), life = r.Between(5, 60) * kMinute;
  for (std::uint64_t i = 0; i < n; ++i) {
    const std::int32_t id = Spawn(Role::Crowd, "C:\\Windows\\System32\\svchost" + std::to_string(i) + ".exe", r);
    if (r.Chance(0.2)) Proc(id)->openLimited = Proc(id)->openForRead = false;
    At(life + r.Below(kMinute), EventType::Death, 0, id);
  }
}

void World::WallClock(Rng& r) {
  wallOffset_ += r.Chance(0.5) ? (r.Chance(0.5) ? 3600 : -3600) : static_cast<std::int64_t>(r.Between(0, 1200)) - 600;
}

void World::ControlFile(Rng& r) {
  const ControlRow& row = r.Pick(kControlRows);
  if (!controlPath_.empty()) fake_.files.Remove(controlPath_);
  allowedEnds_.erase("control file END");
  controlPath_ = r.Chance(0.6) && !driveGone_ ? kControlOnD : fake_.system.folder + "\\" + kControlFileName;
  if (row.contents == nullptr) {
    fake_.files.AddDirectory(controlPath_);
  } else {
    fake_.files.AddFile(controlPath_, row.contents);
  }
  if (row.ends) allowedEnds_.insert("control file END");
  Note(controlPath_ + (row.contents ? std::string(" says ") + row.contents : std::string(" is a directory")));
  At(r.Exp(30 * kMinute), EventType::Undo, 0);
}

void World::DriveD(Rng& r) {
  (void)r;
  driveGone_ = !driveGone_;
  auto& entries = fake_.files.entries;
  if (driveGone_) {
    for (auto it = entries.begin(); it != entries.end();)
      if (it->first.rfind("D:", 0) == 0) driveD_.insert(*it), it = entries.erase(it);
      else ++it;
  } else {
    entries.insert(driveD_.begin(), driveD_.end());
    driveD_.clear();
  }
}

void World::LogTrouble(Rng& r) {
  if (!fake_.files.Has(logPath_)) return;
  fake_.files.entries[logPath_].locked = true;
  At(r.Exp(10 * kMinute), EventType::Undo, 1);
}

void World::Click(Rng& r) {
  if (!Alive()) return;
  const ProgramButton button = r.Chance(0.5) ? ProgramButton::CBPellux : ProgramButton::CBLINTARO;
  const ProgramButton other = button == ProgramButton::CBPellux ? ProgramButton::CBLINTARO : ProgramButton::CBPellux;
  const Colour before = fake_.controls.colours[button], otherBefore = fake_.controls.colours[other];
  const std::string port = fake_.controls.portText;
  Step(button == ProgramButton::CBPellux ? "click CBPellux" : "click CBLINTARO",
       [&] { monitor_->OnProgramButtonClick(button); });
  CheckClick(button, before, otherBefore, port);
}

void World::PortText(Rng& r) {
  if (!Alive()) return;
  const std::string text = r.Pick(kPortTexts);
  fake_.controls.portText = text;
  bool accepted = true;
  Step("port " + text, [&] { accepted = monitor_->OnPortFieldLostFocus(); });
  const std::string& now = fake_.controls.portText;
  const bool whole = !now.empty() && now.find_first_not_of("-0123456789") == std::string::npos;
  if (accepted ? !(now.empty() || whole) : now != text)
    Fail("port-field", "'" + text + "' left '" + now + "'");
  ++checks;
}

void World::SessionEnd(Rng& r) {
  if (!Alive()) return;
  sessionAskedMs_ = Now();
  Step("session ending", [&] { monitor_->OnSessionEnding(); });
  Schedule({Now() + r.Between(1, 90) * kSecond, 0, EventType::SessionAnswer, 0, 0, 0, static_cast<int>(r.Below(3))});
}

void World::Installer(Rng& r) {
  if (!Alive()) return;
  // Restart Manager closes the monitor to replace it; the programs stay.
  allowedEnds_.insert("closed for an update");
  allowedEnds_.insert("closed by an installer");
  Step("installer asks", [&] { monitor_->OnSessionEnding(); });
  if (Alive()) Step("installer closes", [&] { monitor_->OnClosedForUpdate(); });
  fake_.system.version = "1.0." + std::to_string(r.Between(1, 9)) + ".0";
  Restart(r.Between(5, 60) * kSecond);
}

void World::Taskbar(Rng& r) {
  (void)r;
  if (!Alive()) return;
  bool added = false;
  Step("TaskbarCreated", [&] {
    monitor_->OnTaskbarCreated();
    for (const auto& call : fake_.tray.calls) added |= call.command == TrayCommand::Add;
  });
  if (!added) Fail("tray-icon-back", "the shell came back and the icon was not added again");
}

void World::MonitorCrash(Rng& r) {
  if (!Alive()) return;
  if (r.Chance(0.3)) {
    crashAtLaunch_ = true;  // in the middle of the next launch, at start or in a cycle
    return;
  }
  Gone();
  Restart(r.Between(30, 90) * kSecond);  // restarted by the system's error reporting
}

void World::CloseWindow(Rng& r) {
  if (!Alive()) return;
  allowedEnds_.insert("close request");
  Step("close", [&] { monitor_->OnCloseRequest(); });
  Restart(r.Between(1, 60) * kMinute);
}

void World::InstallGone(Rng& r) {
  const std::string& path = r.Chance(0.5) ? kBridge.installPath : kController.installPath;
  fake_.files.Remove(path);
  At(r.Exp(30 * kMinute), EventType::Undo, path == kBridge.installPath ? 2 : 3);
}

void World::TimerRefused(Rng& r) {
  (void)r;
  refuseTimer_ = true;
  allowedEnds_.insert("no window");
}

void World::Dispatch(const Event& e) {
  switch (e.type) {
    case EventType::Part: {
      const Part& part = kParts[e.part];
      Rng& r = streams_[static_cast<std::size_t>(e.part)];
      Fault(part.name);
      Note(part.name);
      (this->*part.act)(r);
      if (e.what == 0) Schedule({Now() + r.Exp(part.meanHours * kHour), 0, EventType::Part, e.part});
      return;
    }
    case EventType::Death: {
      auto it = info_.find(e.id);
      if (it != info_.end() && it->second.born == e.born) {
        Note("process " + std::to_string(e.id) + " ended: " + it->second.path);
        Exit(e.id);
      }
      return;
    }
    case EventType::LauncherStartsJava: {
      auto it = info_.find(e.id);
      if (it == info_.end() || it->second.born != e.born) return;
      const std::int32_t java = Spawn(Role::Controller, kControllerPath, launches_, it->second.launched);
      info_[java].parent = e.id;
      Proc(java)->parentId = e.id;
      Note("the launcher " + std::to_string(e.id) + " started javaw.exe " + std::to_string(java));
      if (launches_.Chance(0.8)) At(launches_.Between(1, 20) * kSecond, EventType::LauncherExits, 0, e.id);
      return;
    }
    case EventType::LauncherExits: {
      auto it = info_.find(e.id);
      if (it != info_.end() && it->second.born == e.born) {
        Note("the launcher " + std::to_string(e.id) + " ended");
        Exit(e.id);
      }
      return;
    }
    case EventType::MonitorStart:
      if (e.what != restartGen_ || monitor_) return;
      if (!fake_.files.Has(kBridge.installPath) || !fake_.files.Has(kController.installPath) ||
          (!controlPath_.empty() && allowedEnds_.count("control file END"))) {
        // The operator waits until the plant is whole again.
        Restart(10 * kMinute);
        return;
      }
      StartMonitor();
      return;
    case EventType::SessionAnswer:
      if (!sessionAskedMs_) return;
      if (e.what == 0 && Alive()) {
        sessionAskedMs_.reset();
        Step("session goes on", [&] { monitor_->OnSessionEndCancelled(); });
      } else if (e.what == 1 && Alive()) {
        // The session ends: every program of it goes, and the next logon starts the monitor.
        allowedEnds_.insert("end of the session");
        Step("session ends", [&] { monitor_->OnSessionEnd(); });
        std::vector<std::int32_t> gone;
        for (const auto& [id, info] : info_)
          if (info.role != Role::System && info.role != Role::Crowd) gone.push_back(id);
        for (const std::int32_t id : gone) Exit(id);
        fake_.launchRecord.stored.reset();  // kept in the session, gone with it
        sessionAskedMs_.reset();
        Restart(crashes_.Between(1, 30) * kMinute);
      }
      return;  // no answer: the monitor's own time-out
    case EventType::OperatorStarts: {
      for (const auto& [id, info] : info_)
        if (info.role == Role::Controller || info.role == Role::Launcher) return;
      const std::int32_t launcher = Spawn(Role::Launcher, kController.installPath, launches_);
      Note("the operator started Pellux.exe " + std::to_string(launcher));
      At(launches_.Between(0, 90) * kSecond, EventType::LauncherStartsJava, 0, launcher);
      return;
    }
    case EventType::Undo:
      if (e.what == 0 && !controlPath_.empty()) {
        fake_.files.Remove(controlPath_);
        driveD_.erase(controlPath_);
        controlPath_.clear();
        allowedEnds_.erase("control file END");
      } else if (e.what == 1 && fake_.files.Has(logPath_)) {
        fake_.files.entries[logPath_].locked = false;
      } else if (e.what >= 2) {
        fake_.files.AddFile(e.what == 2 ? kBridge.installPath : kController.installPath, "exe");
      }
      return;
  }
}

bool World::Run() {
  for (const Part& part : kParts) streams_.push_back(Stream(part.name));
  ids_ = Stream("ids");
  launches_ = Stream("launches");
  settings_ = Stream("settings");
  crashes_ = Stream("restarts");
  Rng setup = Stream("setup");
  fake_.system.folder = setup.Pick(kMonitorFolders);
  logPath_ = fake_.system.folder + "\\" + kLogFileName;
  // The log writes a line for every process of every scan: on in a quarter of the runs.
  loggingRun_ = setup.Chance(0.25);
  wallBase_ = (20454 + static_cast<std::int64_t>(setup.Below(365))) * 86400 + static_cast<std::int64_t>(setup.Below(86400));
  fake_.files.AddFile(kBridge.installPath, "exe");
  fake_.files.AddFile(kController.installPath, "exe");
  fake_.processes.terminationTakesEffect = true;
  fake_.launcher.choose = [this](const std::string& path) { return Launch(path); };
  fake_.launcher.createdOf = [this](std::uint32_t id) { return Proc(static_cast<std::int32_t>(id))->created; };
  fake_.events.onWrite = [this] {
    if (std::exchange(crashAtNextEvent_, false)) throw Crash{};
  };
  for (const std::string& text :
       {std::string(kLogBanner), std::string(kStartedText), std::string("Timer1 - BEFORE 'CALL Pellux_MONITOR'"),
        std::string("Timer1 - AFTER 'CALL Pellux_MONITOR'")})
    logTexts_.insert(text);
  for (const SupervisedProgram* p : {&kController, &kBridge})
    for (const std::string* t : {&p->clickLogText, &p->missingLog, &p->notStarted, &p->started, &p->stillRunning,
                                 &p->stopped})
      logTexts_.insert(*t);
  // Processes of the system: some that nothing may open.
  for (int i = 0; i < 6; ++i) {
    const std::int32_t id = Spawn(Role::System, i < 2 ? "" : "C:\\Windows\\System32\\svc" + std::to_string(i) + ".exe", setup);
    if (i < 2) Proc(id)->openForRead = Proc(id)->openLimited = false;
  }
  fake_.clock.ms = 0;
  for (int i = 0; i < static_cast<int>(std::size(kParts)); ++i)
    Schedule({streams_[static_cast<std::size_t>(i)].Exp(kParts[i].meanHours * kHour), 0, EventType::Part, i});
  StartMonitor();

  while (!violation_) {
    std::uint64_t next = queue_.top().at;
    if (timer1_) next = std::min(next, *timer1_);
    if (timer3_) next = std::min(next, *timer3_);
    if (next >= end_) break;
    fake_.clock.ms = next;
    fake_.clock.now = CivilTime(wallBase_ + wallOffset_ + static_cast<std::int64_t>(next / 1000));
    if (timer1_ && *timer1_ == next) {
      timer1_.reset();
      ++cycles;
      Step("Timer1", [&] { monitor_->OnTimer(TimerId::Timer1); });
    } else if (timer3_ && *timer3_ == next) {
      timer3_.reset();
      Step("Timer3", [&] { monitor_->OnTimer(TimerId::Timer3); });
    } else {
      const Event e = queue_.top();
      queue_.pop();
      Dispatch(e);
    }
  }
  if (!violation_) return true;
  std::printf("seed %llu FAILED at step %llu, %.1f simulated minutes in: %s: %s\n",
              static_cast<unsigned long long>(seed_), static_cast<unsigned long long>(stepNo_),
              static_cast<double>(Now()) / kMinute, violation_->name.c_str(), violation_->detail.c_str());
  for (const std::string& line : trace_) std::printf("    %s\n", line.c_str());
  std::printf("  the programs then:");
  for (const auto& p : fake_.processes.processes) {
    const Role role = info_[p.id].role;
    if (role == Role::System || role == Role::Crowd) continue;
    std::printf(" %d%s%s%s %s;", p.id, info_[p.id].launched ? " launched" : "", p.openForTerminate ? "" : " elevated",
                p.terminable && !p.endsLater ? "" : " stubborn", p.path.substr(p.path.rfind('\\') + 1).c_str());
  }
  std::printf("\n");
  std::printf("  replay: make simulate SEED=%llu RUNS=1 DAYS=%llu\n", static_cast<unsigned long long>(seed_),
              static_cast<unsigned long long>((end_ + kDay - 1) / kDay));
  return false;
}

void World::Summary() const {
  std::string kinds;
  for (const auto& [kind, n] : faults) kinds += " " + kind + "=" + std::to_string(n);
  std::printf("seed %llu: %.1f days, %llu cycles, %llu monitor starts, %llu invariant checks, trace %016llx; faults:%s\n",
              static_cast<unsigned long long>(seed_), static_cast<double>(fake_.clock.ms) / kDay,
              static_cast<unsigned long long>(cycles), static_cast<unsigned long long>(starts),
              static_cast<unsigned long long>(checks), static_cast<unsigned long long>(hash), kinds.c_str());
}

}  // namespace
}  // namespace pellux::sim

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // a line per run as it ends
  std::uint64_t seed = 1, runs = 1, days = 30;
  bool fixed = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&] { return i + 1 < argc ? std::strtoull(argv[++i], nullptr, 10) : 0ull; };
    if (arg == "--seed") seed = value();
    else if (arg == "--runs") runs = value();
    else if (arg == "--days") days = value();
    else if (arg == "--fixed") fixed = true;
    else {
      std::fprintf(stderr, "usage: simulate [--seed N] [--runs K] [--days D] [--fixed]\n");
      return 2;
    }
  }
  std::vector<std::pair<std::uint64_t, std::uint64_t>> plan;
  if (fixed) {
    for (const auto& f : pellux::sim::kFixedSeeds) plan.push_back({f.seed, f.days});
  } else {
    for (std::uint64_t k = 0; k < runs; ++k) plan.push_back({seed + k, days});
  }
  int failed = 0;
  std::uint64_t cycles = 0, checks = 0;
  for (const auto& [s, d] : plan) {
    pellux::sim::World world(s, d);
    const bool ok = world.Run();
    world.Summary();
    failed += ok ? 0 : 1;
    cycles += world.cycles;
    checks += world.checks;
  }
  std::printf("total: %zu runs, %d failed, %llu cycles, %llu invariant checks\n", plan.size(), failed,
              static_cast<unsigned long long>(cycles), static_cast<unsigned long long>(checks));
  return failed == 0 ? 0 : 1;
}
