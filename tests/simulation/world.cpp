#include "world.h"

namespace pellux::sim {

namespace {

// A value of the settings at start: one that is fine, or one that must be refused before anything is launched.
constexpr struct {
  const char* name;
  const char* value;
  bool refused;
} kSettingsRows[] = {{"ControlFile", "", false},
                     {"ControllerPath", "Pellux.exe", true},
                     {"BridgePath", "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO", true},
                     {"BridgeProcess", "Lintaro", true}};

}  // namespace

// What a process does later is lost when it went first, even if its id was handed out again.
void World::Later(U64 delay, std::int32_t id, std::function<void()> act) {
  At(delay, [this, id, born = info_[id].born, act = std::move(act)] {
    if (const auto it = info_.find(id); it != info_.end() && it->second.born == born) act();
  });
}

void World::Ends(U64 delay, std::int32_t id, bool launcher) {
  Later(delay, id, [this, id, launcher] {
    Note(launcher ? "the launcher " + std::to_string(id) + " ended"
                  : "process " + std::to_string(id) + " ended: " + info_[id].path);
    if (launcher && launches_.Chance(0.3)) return HeldOpen(id, launches_.Exp(5 * kMinute));
    Exit(id);
  });
}

// An ended process that someone still holds open: listed, openable, with its exit code, its id not handed out
// again until the last handle goes.
void World::HeldOpen(std::int32_t id, U64 forMs) {
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

void World::OperatorStartsController(U64 delay) {
  At(delay, [this] {
    for (const auto& [other, info] : info_)
      if (info.role == Role::Controller || info.role == Role::Launcher) return;
    const std::int32_t launcher = Spawn(Role::Launcher, kController.installPath, launches_);
    Note("the operator started Pellux.exe " + std::to_string(launcher));
    StartsJava(launches_.Between(0, 90) * kSecond, launcher);
  });
}

void World::StartsJava(U64 delay, std::int32_t launcher) {
  Later(delay, launcher, [this, launcher] {
    const std::int32_t java = Spawn(Role::Controller, kControllerPath, launches_, info_[launcher].launched);
    Proc(java)->parentId = launcher;
    Proc(java)->commandLine = kControllerCommandLine;
    Note("the launcher " + std::to_string(launcher) + " started javaw.exe " + std::to_string(java));
    if (info_[launcher].launched && std::exchange(secondJavaw_, false)) {  // and a helper javaw.exe beside it
      const std::int32_t helper = Spawn(Role::OtherJava, kControllerPath, launches_);
      Proc(helper)->parentId = launcher;
      Proc(helper)->commandLine = "\"" + kControllerPath + "\" -jar updater.jar";
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

void World::RunPart(std::size_t i, bool again) {
  Rng& r = streams_[i];
  Fault(parts_[i].name);
  Note(parts_[i].name);
  if (!parts_[i].monitored || Alive()) parts_[i].act(r);
  if (again) At(r.Exp(parts_[i].meanHours * kHour), [this, i] { RunPart(i, true); });
}

void World::Fail(const char* name, const std::string& detail) {
  if (violation_.empty()) violation_ = name + (": " + detail);
}

// The trace: every line goes into the hash, the last 40 are kept; quiet cycles in a row stand as one line.
// Seconds and milliseconds of simulated time, written by hand: a line is stamped on every step.
std::string World::Stamp(const char* gap) const {
  std::string stamp = std::to_string(Now() / 1000);
  const U64 ms = Now() % 1000;
  stamp += '.';
  stamp += static_cast<char>('0' + ms / 100);
  stamp += static_cast<char>('0' + ms / 10 % 10);
  stamp += static_cast<char>('0' + ms % 10);
  return stamp += gap;
}

void World::Trace(std::string line) {
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

void World::Note(const std::string& what) {  // what the world did between the monitor's steps
  std::string line = Stamp("   ");
  for (const unsigned char c : what) {
    char shown[8];
    std::snprintf(shown, sizeof shown, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c);
    line += shown;
  }
  Trace(std::move(line));
}

std::int32_t World::Spawn(Role role, const std::string& path, Rng& r, bool launched) {
  std::int32_t id = 0;
  if (handOver_ != 0) {  // the id just freed, at once
    id = std::exchange(handOver_, 0);
    freed_.erase(std::remove(freed_.begin(), freed_.end(), id), freed_.end());
    Fault("id-reused");
  } else if (!freed_.empty() && r.Chance(0.3)) {  // Windows hands out the ids of ended processes again, soon
    const auto at = freed_.end() - 1 - static_cast<std::ptrdiff_t>(r.Below(std::min<std::size_t>(freed_.size(), 8)));
    id = *at;
    freed_.erase(at);
    Fault("id-reused");
  } else {
    id = nextId_ += 4;
  }
  Process p{id, path};
  p.modulesReadable = !r.Chance(0.1);                 // a process of the other word size
  p.sixtyFourBit = true;                              // to the 32-bit monitor of a narrowMonitor run
  p.created = Now() * 10000 + ++createdSeq_ % 10000;  // 100-ns units: each process its own
  auto& list = fake_.processes.processes;
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(r.Below(list.size() + 1)), p);
  info_[id] = {role, path, Now(), launched};
  unanswered_.erase(id);
  fake_.windows.windows.erase(id);
  if (role == Role::Bridge) ShowsWindows(id, bridgeWindows_);
  paths_.insert(path);
  paths_.insert(fake_.files.ToCodePage(path));  // as the log writes it
  if (!match_.empty() && path.size() >= 9 && Upper(path).compare(path.size() - 9, 9, "JAVAW.EXE") == 0) {
    Writable("NO se Pudo Leer la Linea de Comandos de '" + path + "' (" + std::to_string(id) +
             "): Cuenta como Controlador, NO se Detiene");
  }
  return id;
}

void World::Exit(std::int32_t id) {
  auto& list = fake_.processes.processes;
  list.erase(std::remove_if(list.begin(), list.end(), [id](const Process& p) { return p.id == id; }), list.end());
  if (info_.erase(id) != 0) freed_.push_back(id);
  unanswered_.erase(id);
  fake_.windows.windows.erase(id);
  auto& ghosted = fake_.windows.ghosted;  // its windows and their ghosts went with it
  ghosted.erase(ghosted.lower_bound(fakes::FakeWindowProbe::Handle(id, 0)),
                ghosted.upper_bound(fakes::FakeWindowProbe::Handle(id, 254)));
  if (freed_.size() > 64) freed_.erase(freed_.begin());
  if (id == startLauncher_) {
    startLauncher_ = 0;
    launcherEndedMs_ = Now();
  }
}

Process* World::Proc(std::int32_t id) {
  auto& list = fake_.processes.processes;
  const auto it = std::find_if(list.begin(), list.end(), [id](const Process& p) { return p.id == id; });
  return it == list.end() ? nullptr : &*it;
}

std::int32_t World::FindRole(Role role, Rng& r) const {
  std::vector<std::int32_t> ids;
  for (const auto& [id, info] : info_)
    if (info.role == role) ids.push_back(id);
  return ids.empty() ? 0 : ids[r.Below(ids.size())];
}

// Whether a scan can see a process of that name (upper case) among those it can open.
bool World::Visible(const std::string& name) const {
  return std::any_of(fake_.processes.processes.begin(), fake_.processes.processes.end(),
                     [&](const Process& p) { return Visible(name, p); });
}

bool World::Visible(const std::string& name, const Process& p) {
  return ((p.openForRead && (!p.modulesReadable || p.pathReadable)) || (p.openLimited && p.imageReadable)) &&
         p.path.size() >= name.size() &&
         std::equal(name.begin(), name.end(), p.path.end() - static_cast<std::ptrdiff_t>(name.size()),
                    [](char a, char b) { return a == Upper(b); });
}

bool World::ControllerVisible() const {
  return std::any_of(fake_.processes.processes.begin(), fake_.processes.processes.end(),
                     [&](const Process& p) { return Undecided(p).has_value(); });
}

std::optional<bool> World::Undecided(const Process& p) const {
  if (!Visible("JAVAW.EXE", p)) return std::nullopt;
  if (match_.empty()) return false;
  const bool byQuery = fake_.processes.commandLineByQuery;
  const std::string path = Upper(p.path), line = Upper(p.commandLine.empty() ? p.path : p.commandLine);
  const bool read = p.commandLineReadable && (p.openForRead || (byQuery && p.openLimited)) &&
                    !(fake_.processes.narrowMonitor && p.sixtyFourBit && !byQuery);
  if (path.find(match_) != std::string::npos) return false;
  // One whose command line cannot be read may be the controller: it counts (and is never ended as one).
  if (!read) return true;
  return line.find(match_) != std::string::npos ? std::optional<bool>(false) : std::nullopt;
}

std::optional<bool> World::FirstUndecided() const {
  for (const Process& p : fake_.processes.processes) {
    const std::optional<bool> undecided = Undecided(p);
    if (!undecided) continue;
    if (const auto it = info_.find(p.id); it != info_.end() && it->second.elevatedLater) return std::nullopt;
    return undecided;
  }
  return std::nullopt;
}

// The system's side of a launch: the process, or 0 when it did not start.
std::uint32_t World::Launch(const std::string& path) {
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

void World::StopsAnswering(std::int32_t id, U64 forMs) {
  // Already hung behind its ghost, where the running monitor never saw it shown.
  if (fake_.windows.ghosted.count(fakes::FakeWindowProbe::Handle(id, 0)) != 0 && unanswered_.count(id) == 0) return;
  fake_.windows.windows[id] = {bridgeWindows_, 0};
  unanswered_.emplace(id, Now());  // a window that already did not answer keeps its time
  if (forMs != 0)
    Later(forMs, id, [this, id] {
      Note("LINTARO.exe " + std::to_string(id) + " answers again");
      ShowsWindows(id, bridgeWindows_);
      unanswered_.erase(id);
    });
}

void World::ShowsWindows(std::int32_t id, std::uint32_t answering) {
  fake_.windows.windows[id] = {bridgeWindows_, answering};
  for (std::uint32_t i = 0; i < answering; ++i) fake_.windows.ghosted.erase(fakes::FakeWindowProbe::Handle(id, i));
}

void World::BridgeDies(Rng& r) {
  const std::int32_t id = FindRole(Role::Bridge, r);
  if (id == 0) return;
  Note("LINTARO.exe " + std::to_string(id));
  Exit(id);
}

// The latest decision wins: an installer's quick start over the slow one after an end.
void World::Restart(U64 delay) {
  At(delay, [this, gen = ++restartGen_] {
    if (gen != restartGen_ || monitor_) return;
    if (!fake_.files.Has(bridge_.installPath) || !fake_.files.Has(kController.installPath) || endAsked_)
      Restart(10 * kMinute);  // the operator waits until the plant is whole again
    else
      StartMonitor();
  });
}

void World::Gone() {  // the monitor's process is gone: its window, its timers, its id
  monitor_.reset();
  fake_.claim.held = false;  // the system lets the named object go with its last handle
  timer1_.reset();
  timer3_.reset();
  Exit(std::exchange(fake_.processes.ownId, -1));
}

// The longest the monitor may leave the bridge alone without javaw.exe: 30 s after the controller's launch,
// or while its launcher runs (3 minutes at most) and 30 s after it ended.
bool World::GraceMayHold() const {
  if (!controllerLaunchedAtStart_ || controllerSeen_) return false;
  if (Now() - startMs_ < 30 * kSecond) return true;
  const U64 launcherGone = startLauncher_ != 0 ? Now() : std::max(launcherEndedMs_, startMs_);
  return Now() < std::min(launcherGone, startMs_ + 3 * kMinute) + 30 * kSecond;
}

// The shortest: 30 s after the launch, and while the launcher runs (3 minutes at most) and 30 s after the
// last cycle that can have seen it running.
bool World::GraceMustHold() const {
  if (!controllerLaunchedAtStart_ || controllerSeen_) return false;
  const U64 since = Now() - startMs_;
  if (since < 30 * kSecond) return true;
  if (startLauncher_ != 0) return since < 3 * kMinute;
  return launcherEndedMs_ > startMs_ &&
         Now() + 3 * kSecond < std::min(launcherEndedMs_, startMs_ + 3 * kMinute) + 30 * kSecond;
}

void World::StartMonitor() {
  ++starts;
  // A new process: a window of its own, timers of its own, a new id.
  fake_.timers.interval.clear();
  fakes::FakeWindowControls& c = fake_.controls;
  c.colours = {{ProgramButton::CBPellux, kLightGrey}, {ProgramButton::CBLINTARO, kLightGrey}};
  c.portText.clear();
  c.stripText = "LBLMSG";
  c.stripBack = kWhite;
  c.stripVisible = false;
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
  if (hungSeconds_ != 0) {
    fake_.settings.SetNumber(SettingsKey::Machine, "BridgeHungSeconds", static_cast<std::uint32_t>(hungSeconds_));
    Writable(SetValueLogText({"BridgeHungSeconds", std::to_string(hungSeconds_), SettingsKey::Machine}));
  }
  hungRunOf_ = 0;  // a new monitor looks afresh
  // and a window hidden behind its ghost before it started is one it never saw: never judged.
  for (auto it = unanswered_.begin(); it != unanswered_.end();)
    it = fake_.windows.ghosted.count(fakes::FakeWindowProbe::Handle(it->first, 0)) != 0 ? unanswered_.erase(it)
                                                                                        : std::next(it);
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
  liveRead_ = 0;
  if (loggingRun_) {  // the least limit, so that a month fills the log hundreds of times
    fake_.settings.SetNumber(SettingsKey::Machine, "LogLimitKB", kLeastLogLimitKB);
    Writable(SetValueLogText({"LogLimitKB", std::to_string(kLeastLogLimitKB), SettingsKey::Machine}));
  }
  books_ = {};
  logOutTold_ = false;  // a new monitor's log tells from its own start
  notedLost_ = 0;
  startMs_ = Now();
  supervisionDueMs_ = Now();
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
  // While no monitor ran, a bridge stopped answering and the operator clicked it: hidden behind its ghost before
  // this monitor could see it shown, it is never judged.
  if (const std::int32_t id = FindRole(Role::Bridge, unseenGhosts_);
      id != 0 && fake_.windows.ghosts && unseenGhosts_.Chance(0.3) && unanswered_.count(id) == 0) {
    Note("LINTARO.exe " + std::to_string(id) + " hangs behind its ghost before the monitor starts");
    fake_.windows.windows[id] = {bridgeWindows_, 0};
    for (std::uint32_t i = 0; i < bridgeWindows_; ++i)
      fake_.windows.ghosted.insert(fakes::FakeWindowProbe::Handle(id, i));
    Later(unseenGhosts_.Between(1, 900) * kSecond, id, [this, id] {
      if (unanswered_.count(id) == 0) ShowsWindows(id, bridgeWindows_);
    });
    Fault("bridge-ghosted-unseen");
  }
  allowedEnds_ = {"missing program", "bad setting"};
  if (refuseTimer_) allowedEnds_.insert("no window");
  monitor_ = std::make_unique<Monitor>(fake_.platform());
  Step("start", [&] { monitor_->Start(); });
}

// The monitor's steps. Each runs the monitor's handler, lets the world learn what the step did, checks every
// invariant, writes the trace line and clears the fakes' records for the next step.
void World::Step(const std::string& what, const std::function<void()>& action) {
  ++stepNo_;
  stepIsCycle_ = what == "Timer1";
  stepIsStart_ = what == "start";
  bridgeLaunches_.clear();
  Act(what, action);
  Observe();
  UpdateLiveness();
  CheckInvariants();
  Trace(TraceLine(what));
  ClearRecords();
  if (monitor_ && monitor_->Ended()) Gone();
  stepIsEndTold_ = what == "end told";
  stepIsClick_ = StartsWith(what, "click");
  EndsSeen(true);
}

// The monitor's handles on the programs it supervises: a watched process that ends is told to the window a
// moment later, as the system's thread pool posts it; a bridge that had run a cycle and ended while the
// controller runs is due back within a second.
void World::EndsSeen(bool afterStep) {
  const auto& held = fake_.ends.held;
  if (afterStep && stepIsCycle_ && !bridgeLaunches_.empty()) lastCycleLaunch_ = {{Now(), starts}};
  for (auto it = watchedSince_.begin(); it != watchedSince_.end();)
    it = held.count(it->first) != 0 ? std::next(it) : watchedSince_.erase(it);
  for (auto it = endTold_.begin(); it != endTold_.end();)
    it = held.count(*it) != 0 ? std::next(it) : endTold_.erase(it);
  bool fresh = false;
  for (const auto& [id, created] : held) {
    if (!fake_.ends.HasEnded(id)) {
      const auto known = info_.find(id);
      watchedSince_.emplace(id, std::pair{Now(), known == info_.end() ? Role::System : known->second.role});
      continue;
    }
    if (!Alive() || !endTold_.insert(id).second) continue;
    fresh = true;
    const auto since = watchedSince_.find(id);
    if (since != watchedSince_.end() && since->second.second == Role::Bridge &&
        Now() - since->second.first >= 3 * kSecond && ControllerVisible() && CycleChecked() && !bridgeDueBy_)
      bridgeDueBy_ = Now() + kSecond;
  }
  if (fresh)
    At(tells_.Between(1, 50), [this, gen = starts] {
      if (Alive() && gen == starts) Step("end told", [&] { monitor_->OnSupervisedProgramEnded(); });
    });
  // Back, or no longer owed: no controller, no monitor, the session ending, a failed launch, the operator's click.
  const bool failed = afterStep && stepIsCycle_ && !bridgeLaunches_.empty() && bridgeLaunches_.back() == 0;
  if (Visible(bridgeName_) || !Alive() || !ControllerVisible() || !CycleChecked() || failed ||
      (afterStep && stepIsClick_))
    bridgeDueBy_.reset();
}

void World::Act(const std::string& what, const std::function<void()>& action) {
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
void World::Observe() {
  fakes::FakePlatform& f = fake_;
  // The step's lines: after what was read of the live file, or all of it once begun again; and, when the step
  // rolled the live file over, what it wrote to it before.
  const auto live = f.files.entries.find(logPath_), rolled = f.files.entries.find(rolledPath_);
  const bool hasLive = live != f.files.entries.end() && !live->second.contents.empty();
  const bool rolledNow = rolled != f.files.entries.end() && !rolled->second.contents.empty() &&
                         rolled->second.contents.back() != '\0';
  rolledFrom_ = !rolledNow ? std::string::npos : rolled->second.contents[0] == '\0' ? liveRead_ : 0;
  liveFrom_ = hasLive && live->second.contents[0] == '\0' ? liveRead_ : 0;
  stepLog_.clear();
  if (rolledNow) stepLog_.append(rolled->second.contents, std::min(rolledFrom_, rolled->second.contents.size()));
  if (hasLive) stepLog_.append(live->second.contents, std::min(liveFrom_, live->second.contents.size()));
  stepEnded_.clear();
  hungEnds_.clear();
  for (const auto& [id, code] : f.processes.terminated) {
    const auto it = info_.find(id);
    stepEnded_.push_back({id, it == info_.end() ? Role::System : it->second.role,
                          it == info_.end() ? std::string() : Upper(it->second.path)});
    // A cycle ends the bridge while the controller runs only for not answering.
    const bool hungEnd = stepIsCycle_ && ControllerVisible();
    if (hungEnd) {
      const auto since = unanswered_.find(id);
      hungEnds_.emplace_back(id, since == unanswered_.end() ? std::nullopt : std::optional<U64>(Now() - since->second));
    }
    if (stepIsCycle_)
      ++books_.happened[static_cast<std::uint32_t>(hungEnd ? EventId::BridgeHung : EventId::BridgeTerminated)];
    if (const Process* p = Proc(id); p != nullptr && p->endsLater)
      Ends(launches_.Between(500, 10000), id);
    else if (it != info_.end())
      Exit(id);  // already gone from the table
  }
  for (const std::uint32_t result : bridgeLaunches_)
    ++books_.happened[static_cast<std::uint32_t>(result == 0 ? EventId::BridgeRelaunchFailed
                                                             : EventId::BridgeRelaunched)];
  for (const auto& [timer, ms] : f.timers.history)  // what the step armed is due from now
    (timer == TimerId::Timer1 ? timer1_ : timer3_) = ms == 0 ? std::nullopt : std::optional<U64>(Now() + ms);
  if (!monitor_) {
    timer1_.reset();
    timer3_.reset();
  }
  // The cycle's scan asks the text about the first javaw.exe it meets.
  books_.undecidedMet |= stepIsCycle_ && !match_.empty() && CycleChecked() && FirstUndecided().value_or(false);
  ReadEvents(f.events, books_);
  ReadLogOutage();
  if (f.lifetime.ends > 0) Restart(crashes_.Between(1, 30) * kMinute);
  if (stepIsCycle_ && CycleChecked() && ControllerVisible()) controllerSeen_ = true;
  if (stepIsCycle_) lastCycleMs_ = Now();
  if (stepIsCycle_ && f.processes.snapshots > 0) lastWalkMs_ = Now();
  if (f.controls.stripShows != std::exchange(stripShows_, f.controls.stripShows)) stripShownMs_ = Now();
  if (stepIsCycle_) {  // the bridge this cycle could judge: the controller runs, nothing holds, it may be ended
    std::int32_t hung = 0;
    if (hungSeconds_ != 0 && CycleChecked() && ControllerVisible() && !controlHolds_)
      for (const auto& [id, since] : unanswered_) {
        const Process* p = Proc(id);
        const auto it = info_.find(id);
        if (p != nullptr && it != info_.end() && it->second.role == Role::Bridge && p->openForTerminate &&
            p->terminable && !p->endsLater && Visible(bridgeName_))
          hung = id;
      }
    if (hung != hungRunOf_) {
      hungRunOf_ = hung;
      hungRunFrom_ = Now();
    }
  }
}

// An outage of the log is told once when it begins (1070) and once when it ends (1071), with the lines lost
// since the last 1071, which the notes of lines not written at the head of the writes after it also say.
void World::ReadLogOutage() {
  for (const auto& e : fake_.events.events) {
    if (e.id == EventId::LogTakesNoLines && std::exchange(logOutTold_, true) && logOutageFault_.empty())
      logOutageFault_ = "the log's outage told twice before it ended";
    if (e.id != EventId::LogTakesLinesAgain) continue;
    const U64 told = std::strtoull(e.strings.at(2).c_str(), nullptr, 10);
    if (logOutageFault_.empty() && (!std::exchange(logOutTold_, false) || told != notedLost_))
      logOutageFault_ = "1071 says " + std::to_string(told) + " lines lost where the log's notes say " +
                        std::to_string(notedLost_);
    notedLost_ = 0;
  }
  static const std::string kNote = "LOG LLENO - ";
  for (std::size_t at = stepLog_.find(kNote); at != std::string::npos; at = stepLog_.find(kNote, at + 1)) {
    char* end = nullptr;
    const U64 lines = std::strtoull(stepLog_.c_str() + at + kNote.size(), &end, 10);
    if (std::string_view(end).rfind(" Lineas NO Escritas!!!", 0) == 0) notedLost_ += lines;
  }
}

// The counts a monitor's events report of each kind of the cycle, its end, and each kind's reports in the hour
// (what a user's clicks and the monitor's starts bring is theirs).
void World::ReadEvents(const fakes::FakeSystemEventLog& events, Books& books) {
  books.endedMonitor = false;
  for (const auto& e : events.events) {
    const auto id = static_cast<std::uint32_t>(e.id);
    if (e.id == EventId::BridgeRelaunched || e.id == EventId::BridgeRelaunchFailed ||
        e.id == EventId::BridgeTerminated || e.id == EventId::BridgeHung)
      books.reported[id] += std::strtoull(e.strings.back().c_str(), nullptr, 10);
    // 1026 is not a count the world keeps: its held-back times are the monitor's own.
    if (e.id == EventId::RepeatSummary && e.strings.at(1) != "1026")
      books.reported[static_cast<std::uint32_t>(std::stoul(e.strings.at(1)))] += std::stoull(e.strings.at(2));
    books.endedMonitor |= e.id == EventId::Ended;
    books.undecidedTold |= e.id == EventId::ControllerUndecided;
    if (id >= 1040 || id <= 1012) continue;
    auto& times = books.lastHour[e.id == EventId::RepeatSummary ? std::to_string(id) + "/" + e.strings.at(1)
                                                                : std::to_string(id)];
    times.push_back(Now());
    while (Now() - times.front() >= kHour) times.pop_front();
  }
}

std::string World::TraceLine(const std::string& what) const {
  const fakes::FakePlatform& f = fake_;
  std::string line = Stamp(" ") + what;
  for (const auto& [path, folder] : f.launcher.launches) line += " launch:" + path.substr(path.rfind('\\') + 1);
  for (const auto& [id, code] : f.processes.terminated) line += " ended:" + std::to_string(id);
  if (f.lifetime.ends > 0) line += " end";
  for (const auto& box : f.dialogs.boxes) line += " box:" + box.text.substr(0, 12);
  return line;
}

// The fakes' records of the step are read; the next step starts afresh.
void World::ClearRecords() {
  fakes::FakePlatform& f = fake_;
  // What was read is overwritten, the files' sizes kept: the log's limit works on them as on a workstation.
  for (const auto& [path, from] : {std::pair{&logPath_, liveFrom_}, std::pair{&rolledPath_, rolledFrom_}}) {
    const auto it = f.files.entries.find(*path);
    if (it == f.files.entries.end()) continue;
    std::string& contents = it->second.contents;
    std::fill(contents.begin() + static_cast<std::ptrdiff_t>(std::min(from, contents.size())), contents.end(), '\0');
  }
  liveRead_ = f.files.Contents(logPath_).size();
  f.lifetime.ends = 0;
  f.ClearRecords();
  f.launchRecord.writes = 0;
  expect_ = {};
}

}  // namespace pellux::sim
