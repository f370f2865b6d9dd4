#include "world.h"

namespace pellux::sim {

// Two logon sessions on a workstation of their own: a monitor in each (sessions 1 and 2), logons, switches and
// logoffs, and an operator who starts the controller by hand in the session before the screen. The sessions
// are one account's or two accounts' (whose processes refuse each other every open), as the seed decides.
// Beside them, the services' session 0 runs a Java service that comes and goes, and users' Java programs
// come and go in both sessions and in a third user's session 3, where no monitor runs.
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
      // Session 0's services and session 3's user are other accounts whatever the seed.
      if (it != w_.who.end() && it->second.session != session_ &&
          (w_.twoAccounts || it->second.session == 0 || it->second.session == 3)) {
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
    bool ListFamilies(std::vector<ProcessEntry>* e) override { return !Blind(4) && w_.table.ListFamilies(e); }
    bool ListSessions(std::vector<ProcessSession>* s) override { return !Blind(3) && w_.table.ListSessions(s); }
    bool SessionOf(std::int32_t id, SessionId* s) override { return w_.table.SessionOf(id, s); }
    SessionId CurrentSession() override { return session_; }
    std::int32_t CurrentProcessId() override { return ownId; }
    std::int32_t LastError() override { return w_.table.LastError(); }
    std::int32_t ownId = -1;

   private:
    // The system's snapshot fails as Windows lets it (NtQuerySystemInformation and CreateToolhelp32Snapshot
    // answer STATUS_INSUFFICIENT_RESOURCES / ERROR_NOT_ENOUGH_MEMORY on a workstation short of memory, "Process
    // Status API" and "Taking a Snapshot and Viewing Processes" in the Win32 docs): for a while, or every other
    // look, or one of its two forms only (the sessions' list, the families' list). The list of ids and each
    // process's own session still answer.
    bool Blind(int only) {
      const int mode = w_.seats[session_ - 1]->blind;
      return mode == 1 || mode == only || (mode == 2 && (++looks_ & 1) != 0);
    }
    Sessions& w_;
    SessionId session_;
    int looks_ = 0;
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
  // Each session's mark in the namespace every session sees, let go when its monitor's process goes.
  class SeatMark final : public SupervisionMark {
   public:
    SeatMark(Sessions& w, SessionId me) : w_(w), marks_(w.marks), me_(me) {}
    bool Hold() override {
      marks_.insert(me_);
      w_.MarkTaken(me_);
      return true;
    }
    void Drop() override { marks_.erase(me_); }
    // A look and a taking are two steps: the other monitor may look just before this one takes, and take just
    // after; its look, the first of its next cycle here, then misses this mark.
    bool HeldIn(SessionId session) override {
      std::optional<U64>& miss = w_.seats[me_ - 1]->missLookUntil;
      if (session != me_ && miss && *miss >= w_.w.Now()) {
        miss.reset();
        return false;
      }
      return marks_.count(session) != 0;
    }

   private:
    Sessions& w_;
    std::set<SessionId>& marks_;
    SessionId me_;
  };
  struct Seat {
    Seat(Sessions& w, SessionId s) : session(s), table(w, s), claim(w.claimHolder, s), mark(w, s) {
      fake.system.session = s;
      fake.files.AddFile(kBridge.installPath, "exe");
      fake.files.AddFile(kController.installPath, "exe");
      fake.launcher.choose = [&w, s](const std::string& path) { return w.Launch(s, path); };
      fake.launcher.createdOf = [&w](std::uint32_t id) { return w.Created(static_cast<std::int32_t>(id)); };
      fake.dialogs.onBox = [&w, s](const auto&) { w.BoxUp(s); };
      if (w.match) fake.settings.Set(SettingsKey::Machine, "ControllerMatch", "Pellux.jar");
      fake.files.AddFile(fake.system.folder + "\\" + kLogFileName);  // its log, which says what it leaves
    }
    Platform platform() {
      fakes::FakePlatform& f = fake;
      return {f.files, f.clock,  table,    f.launcher, f.dialogs,  f.system,       f.lifetime, f.controls, f.timers,
              f.tray,  f.serial, f.locale, f.events,   f.settings, f.launchRecord, claim,      f.windows,  mark};
    }
    SessionId session;
    fakes::FakePlatform fake;  // the session's own window, files, events and launch record
    SeatTable table;
    SeatClaim claim;
    SeatMark mark;
    std::unique_ptr<Monitor> monitor;
    bool loggedOn = false;
    bool waiting = false;              // for another session, as its monitor's events tell
    int timerGen[4] = {};              // a timer armed again leaves its earlier due time behind
    Books books;                       // its events, as the rows of every monitor read them
    Expect expect;                     // what a click on its window expects
    std::vector<bool> bridgeLaunches;  // the step's launches of the bridge: whether each started
    std::optional<U64> freeSince;      // since when it waits with nothing of the other session running or claiming
    int blind = 0;                     // its snapshot: 0 had, 1 fails, 2 every other look, 3 or 4 in one form
    bool startUnseen = false;          // its start-up launched nothing yet, the other sessions unseen
    U64 startMs = 0;
    std::optional<U64> endingSince;  // the system asked whether the session may end, and has not said yet
    std::optional<U64> missLookUntil;
    std::size_t logRead = 0;  // its log's size after its last step
    bool saidLeft = false;    // its last cycle said it leaves the bridge to another session's monitor
    // Since when its mark is held with nothing of its own running, or not held while it supervises its programs.
    std::optional<U64> markKeptSince, markMissingSince;
  };
  struct Known {
    Role role;
    SessionId session;
    bool launched;  // by a monitor or a launcher a monitor launched
    U64 born;
  };

  explicit Sessions(World& world) : w(world), r(world.Stream("two-sessions")), boxes(world.Stream("start-boxes")) {
    twoAccounts = r.Chance(0.5);
    match = matchR.Chance(0.5);
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
      // Unseen, another session's programs cannot be told from none: no colour is promised then.
      if (!s.monitor || s.blind != 0 || (s.missLookUntil && *s.missLookUntil >= w.Now())) return;
      s.expect.Click(s.fake.controls, b);
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
    // Somebody's Java: a service in session 0, and programs of the users of sessions 1, 2 and 3.
    Next("service-java", 12, [this] { ToggleJava(0); });
    Next("java-program", 6, [this] { ToggleJava(static_cast<SessionId>(1 + r.Below(3))); });
    // Between two walks a session's controller ends and its id goes at once to a tool of that session.
    Next("id-handed-over", 24, [this] {
      const auto it = std::find_if(who.begin(), who.end(),
                                   [](const auto& k) { return k.second.role == Role::Controller; });
      if (it == who.end()) return;
      const std::int32_t id = it->first;
      const SessionId session = it->second.session;
      Exit(id);
      Spawn(Role::Crowd, "C:\\Tools\\viewer.exe", session, false, id);
      w.At(r.Exp(kHour), [this, id] { Exit(id); });
    });
    // The operators of both sessions start the controller at once, its port still held for a moment: both
    // monitors take their marks within a cycle, the one looking just before the other takes.
    Next(
        "controller-in-both", 4,
        [this] {
          if (!seats[0]->monitor || !seats[1]->monitor || RunsIn(1, {Role::Controller, Role::Launcher}) ||
              RunsIn(2, {Role::Controller, Role::Launcher}))
            return;
          portBusyUntil = w.Now() + 5 * kSecond;
          for (const SessionId session : {1, 2}) {
            Note(*seats[session - 1], "the operator starts Pellux.exe");
            StartsJava(Spawn(Role::Launcher, kController.installPath, session, false), bothR.Between(0, 2000));
          }
        },
        &bothR);
    // A seat's snapshot fails for a few walks, for minutes, or every other look.
    Next(
        "snapshot-fails", 8,
        [this] {
          Seat& s = *seats[blindR.Below(2)];
          s.blind = blindR.Chance(0.3) ? 2 : 1;
          if (s.blind == 1 && partR.Chance(0.5)) s.blind = partR.Chance(0.5) ? 3 : 4;
          Note(s, s.blind == 2  ? "the snapshot fails every other look"
                  : s.blind > 2 ? "the snapshot fails in one form"
                                : "the snapshot fails");
          w.At(blindR.Chance(0.5) ? blindR.Between(1, 10) * kSecond : blindR.Exp(3 * kMinute), [this, &s] {
            s.blind = 0;
            Note(s, "the snapshot is back");
          });
        },
        &blindR);
    // The system asks whether the session may end, and a program or the user cancels it.
    Next(
        "session-end-cancelled", 24,
        [this] {
          Seat& s = *seats[active];
          if (!s.monitor || s.endingSince) return;
          Step(s, "session ending", [&] { s.monitor->OnSessionEnding(); });
          s.endingSince = w.Now();
          w.At(cancelR.Between(1, 40) * kSecond, [this, &s, m = s.monitor.get()] {
            s.endingSince.reset();
            if (s.monitor.get() == m) Step(s, "session end cancelled", [&] { s.monitor->OnSessionEndCancelled(); });
          });
        },
        &cancelR);
    w.At(0, [this] { LogOn(0); });
  }
  // Another monitor whose next cycle takes a mark (a javaw.exe of its session is the controller to it) may
  // have looked just before this taking.
  void MarkTaken(SessionId taker) {
    Seat& o = *seats[2 - taker];
    if (!o.monitor || o.waiting || o.startUnseen || marks.count(o.session) != 0 || !raceR.Chance(0.5)) return;
    if (!RunsIn(o.session, {Role::Controller, Role::Launcher, Role::OtherJava})) return;
    o.missLookUntil = w.Now() + 3 * kSecond;
    ++w.faults_["sessions-mark-race"];
  }
  void ToggleJava(SessionId session) {
    for (const auto& [id, k] : who)
      if (k.role == Role::OtherJava && k.session == session) return Exit(id);
    Spawn(Role::OtherJava, session == 0 ? "C:\\Historian\\jre\\bin\\javaw.exe" : "C:\\Tools\\jre\\bin\\javaw.exe",
          session, false);
    // With ControllerMatch set, one the text cannot tell apart: it counts as the controller all the same.
    table.processes.back().commandLineReadable = !match;
  }
  // Whether another session's monitor holds its mark or the claim to launch, or a bridge runs in another
  // session: the only reasons for s's monitor to wait, and the first two the reasons not to launch a bridge.
  // Of two monitors holding their marks at once, the lower session's supervises.
  bool OtherMonitorSupervises(const Seat& s) const {
    return std::any_of(marks.begin(), marks.end(),
                       [&](SessionId m) { return m != s.session && (marks.count(s.session) == 0 || m < s.session); }) ||
           (claimHolder != 0 && claimHolder != s.session);
  }
  bool BridgeElsewhere(const Seat& s) const {
    return std::any_of(who.begin(), who.end(),
                       [&](const auto& k) { return k.second.role == Role::Bridge && k.second.session != s.session; });
  }
  // A kind of happening, again and again, a mean of hours apart.
  void Next(const char* name, double hours, const std::function<void()>& act, Rng* stream = nullptr) {
    w.At((stream != nullptr ? *stream : r).Exp(hours * kHour), [this, name, hours, act, stream] {
      ++w.faults_[std::string("sessions-") + name];
      act();
      Next(name, hours, act, stream);
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
  // A box of a monitor's start-up (a launch failed) waits for the operator, and meanwhile the other session
  // logs on, or its monitor starts again, and launches both programs.
  void BoxUp(SessionId session) {
    Seat& other = *seats[2 - session];
    if (starting != session || other.monitor || !boxes.Chance(0.7)) return;
    ++w.faults_["sessions-box-at-start"];
    Note(*seats[session - 1], "a box waits for the operator");
    if (!other.loggedOn) return LogOn(static_cast<int>(other.session) - 1);
    Start(other);
  }
  void Start(Seat& s) {
    const SessionId was = std::exchange(starting, s.session);
    StartMonitor(s);
    starting = was;
  }
  void StartMonitor(Seat& s) {
    s.books = {};
    s.table.ownId = Spawn(Role::Monitor, "C:\\Monitor\\PelluxMONITOR.exe", s.session, false);
    s.fake.timers.interval.clear();
    s.fake.controls.colours = {{ProgramButton::CBPellux, kLightGrey}, {ProgramButton::CBLINTARO, kLightGrey}};
    s.fake.controls.portText = "3";
    s.monitor = std::make_unique<Monitor>(s.platform());
    s.waiting = false;
    s.startUnseen = false;
    s.startMs = w.Now();
    s.endingSince.reset();
    if (s.blind == 0 && blindR.Chance(0.2)) {  // a logon on a workstation short of memory
      s.blind = partR.Chance(0.5) ? 1 : partR.Chance(0.5) ? 3 : 4;
      w.At(blindR.Between(1, 60) * kSecond, [&s] { s.blind = 0; });
    }
    Step(s, "start", [&] { s.monitor->Start(); });
  }
  void Gone(Seat& s) {
    s.monitor.reset();
    for (int& gen : s.timerGen) ++gen;
    s.claim.Release();  // the system lets the named objects go with their last handle
    s.mark.Drop();
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

  std::int32_t Spawn(Role role, const std::string& path, SessionId session, bool launched, std::int32_t given = 0) {
    const std::int32_t id = given != 0 ? given : nextId += 4;
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
      table.processes.back().commandLine = kControllerCommandLine;
      if (match) table.processes.back().commandLineReadable = !matchR.Chance(0.3);
      Note(*seats[it->second.session - 1],
           "the launcher " + std::to_string(launcher) + " started javaw.exe " + std::to_string(java));
      w.At(r.Between(1, 10) * kSecond, [this, launcher, born] {
        if (const auto again = who.find(launcher); again != who.end() && again->second.born == born) Exit(launcher);
      });
    });
  }
  std::uint32_t Launch(SessionId session, const std::string& path) {
    // More often at start-up, where its box leaves room for the other session's monitor.
    const bool failed = r.Chance(0.02) || (starting == session && boxes.Chance(0.1));
    if (path == kBridge.installPath) seats[session - 1]->bridgeLaunches.push_back(!failed);
    if (failed) return 0;
    if (path == kBridge.installPath) {
      const std::int32_t bridge = Spawn(Role::Bridge, path, session, true);
      if (r.Chance(0.15) || w.Now() < portBusyUntil) {  // the port not yet free: it ends at once
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
    const bool otherSupervised = OtherMonitorSupervises(s), hadMark = marks.count(s.session) != 0;
    s.fake.clock.ms = w.Now();
    s.fake.clock.now = w.fake_.clock.now;
    try {
      act();
    } catch (const std::exception& e) {
      w.Fail("no-exception", line + " threw " + e.what());
    }
    // A monitor that took its mark beside a higher session's, missed by its first look, supervises.
    const bool stillOtherSupervised = otherSupervised && OtherMonitorSupervises(s);
    for (const auto& [path, folder] : s.fake.launcher.launches) {
      line += " launch:" + path.substr(path.rfind('\\') + 1);
      if (path == kBridge.installPath && stillOtherSupervised && bridgeBesideOther.empty())
        bridgeBesideOther = line + ", while another session's monitor held its mark or the claim";
    }
    // The wait begins with start-up's event and ends with its own; a cycle that leaves it on waits only for
    // another monitor or a bridge of another session.
    for (const auto& event : s.fake.events.events) {
      if (event.id == EventId::OtherSessionAtStart || event.id == EventId::LaunchClaimed) s.waiting = true;
      if (event.id == EventId::OwnSessionAgain) s.waiting = false;
      // Unseen, the other sessions may hold a monitor's mark: the wait goes on.
      if (event.id == EventId::OwnSessionAgain && s.blind != 0 && s.blind != 2 && waitedWithoutCause.empty())
        waitedWithoutCause = line + ": the wait for another session ended while the snapshot failed";
    }
    if (what == "start" && s.fake.controls.stripText == kOtherSessionsUnseenText) s.startUnseen = true;
    // Start-up's launches and adoptions, on a tick after it waited to see the other sessions too, are not the cycle's.
    bool startedUp = false;
    std::size_t startBridges = 0;
    for (const auto& e : s.fake.events.events) {
      const bool launch = e.id == EventId::Launched || e.id == EventId::LaunchFailed;
      startedUp = startedUp || launch || e.id == EventId::Adopted;
      startBridges += launch && e.strings.at(1) == kBridge.exeName ? 1 : 0;
    }
    if (s.waiting || startedUp) s.startUnseen = false;
    // Unseen, the other sessions may run either program: start-up launches nothing.
    if (startedUp && !s.fake.launcher.launches.empty() && s.blind != 0 && s.blind != 2 && bridgeBesideOther.empty())
      bridgeBesideOther = line + ": start-up launched while its snapshot failed";
    if (what == "Timer1" && s.monitor && (s.waiting || s.startUnseen) && s.blind == 0 && !OtherMonitorSupervises(s) &&
        !BridgeElsewhere(s) && waitedWithoutCause.empty())
      waitedWithoutCause = line +
                           ": still waiting, though no other monitor holds its mark or the claim"
                           " and no bridge runs in another session";
    // Two monitors that took their marks at once: the one that took it beside a lower session's, seeing it,
    // gives it up at once; the lower one, holding, starts the bridge where none runs on the workstation.
    const bool seen = s.blind == 0 && s.monitor && !s.endingSince;
    if (seen && !hadMark && marks.count(s.session) != 0 && *marks.begin() < s.session && markFault.empty())
      markFault = line + ": took its mark beside a lower session's and kept it";
    if (seen && what == "Timer1" && !s.waiting && marks.count(s.session) != 0 && *marks.begin() == s.session &&
        (claimHolder == 0 || claimHolder == s.session) && s.bridgeLaunches.empty() &&
        RunsIn(s.session, {Role::Controller}) && Count(Role::Bridge).first == 0 && markFault.empty())
      markFault = line + ": holds its mark and left the workstation without a bridge beside its controller";
    // A monitor that leaves the bridge to another session's says so in its log once, not on every cycle.
    if (const auto log = s.fake.files.entries.find(s.monitor ? s.monitor->Log().LogFilePath() : "");
        log != s.fake.files.entries.end()) {
      const std::string& text = log->second.contents;
      const bool said = what == "Timer1" &&
                        text.find(leftText[s.session - 1], std::min(s.logRead, text.size())) != std::string::npos;
      if (said && s.saidLeft && markFault.empty()) markFault = line + ": said again that it leaves the bridge";
      if (what == "Timer1") s.saidLeft = said;
      s.logRead = text.size();
    }
    // What a cycle did that its events count: the bridges it ended, its launches of the bridge.
    const bool cycle = what == "Timer1";
    for (const auto& [id, code] : table.terminated) {
      line += " ended:" + std::to_string(id);
      if (cycle) ++s.books.happened[static_cast<std::uint32_t>(EventId::BridgeTerminated)];
      if (who.count(id) != 0 && !Alive(id)) Exit(id);
    }
    for (const bool started : std::exchange(s.bridgeLaunches, {}))
      if (cycle && (startBridges == 0 || startBridges-- == 0))
        ++s.books.happened[static_cast<std::uint32_t>(started ? EventId::BridgeRelaunched
                                                              : EventId::BridgeRelaunchFailed)];
    for (const auto& [timer, ms] : s.fake.timers.history) {
      const int t = static_cast<int>(timer);
      const int gen = ++s.timerGen[t];
      // On a loaded machine the first cycle may come seconds late: the monitor holds the claim, not its mark.
      const U64 late = what == "start" && t == 1 && lateR.Chance(0.3) ? lateR.Between(1, 2500) : 0;
      if (ms != 0)
        w.At(ms + late, [this, &s, t, gen] {
          if (s.monitor && gen == s.timerGen[t])
            Step(s, t == 1 ? "Timer1" : "Timer3", [&] { s.monitor->OnTimer(static_cast<TimerId>(t)); });
        });
    }
    w.ReadEvents(s.fake.events, s.books);
    w.CheckMonitor({&s.fake, &s.books, &s.expect, static_cast<int>(s.session) - 1});
    s.expect = {};
    fakes::FakePlatform& f = s.fake;
    table.ClearRecords();  // the workstation's table, which no seat's platform holds
    f.ClearRecords();
    if (s.monitor && s.monitor->Ended()) Gone(s);
    w.Trace(w.Stamp(" ") + line);
    UpdateLiveness();
    w.CheckInvariants(true);
  }
  // Since when each waiting monitor has had nothing of the other session to wait for, and since when the
  // claim to launch has been held.
  void UpdateLiveness() {
    for (const auto& seat : seats) {
      Seat& s = *seat;
      const bool free = s.monitor && (s.waiting || s.startUnseen) && s.blind == 0 && !OtherMonitorSupervises(s) &&
                        !BridgeElsewhere(s);
      Since(s.freeSince, free);
      Since(s.markKeptSince, MarkKeptForNothing(s));
      Since(s.markMissingSince, MarkMissing(s));
    }
    Since(twoMarksSince, marks.size() > 1);
    if (std::exchange(claimSinceOf, claimHolder) != claimHolder) claimSince = w.Now();
  }
  static void Since(std::optional<U64>& since, bool now, U64 at) {
    if (!now)
      since.reset();
    else if (!since)
      since = at;
  }
  void Since(std::optional<U64>& since, bool now) const { Since(since, now, w.Now()); }
  bool RunsIn(SessionId session, std::initializer_list<Role> roles) const {
    return std::any_of(who.begin(), who.end(), [&](const auto& k) {
      return k.second.session == session && std::find(roles.begin(), roles.end(), k.second.role) != roles.end();
    });
  }
  // A supervising monitor, its start grace over: nothing of its own runs (a Java program of its session counts
  // as the controller to it), yet it holds its mark.
  bool MarkKeptForNothing(const Seat& s) const {
    return s.monitor && !s.endingSince && marks.count(s.session) != 0 &&
           w.Now() - s.startMs > kControllerLauncherGraceCapMs + kControllerStartGraceMs + 3 * kSecond &&
           !RunsIn(s.session, {Role::Launcher, Role::Controller, Role::OtherJava, Role::Bridge});
  }
  // A monitor that supervises, sees the other sessions and finds no other mark, with its controller or its
  // bridge running, and no mark.
  bool MarkMissing(const Seat& s) const {
    return s.monitor && !s.waiting && !s.startUnseen && s.blind == 0 && !s.endingSince && marks.empty() &&
           RunsIn(s.session, {Role::Controller, Role::Bridge});
  }
  bool Alive(std::int32_t id) const {
    return std::any_of(table.processes.begin(), table.processes.end(), [id](const Process& p) { return p.id == id; });
  }
  // How many of a kind run on the workstation, and how many of them the monitors launched.
  std::pair<int, int> Count(Role role, bool watchedOnly = false) const {
    std::pair<int, int> n;
    for (const auto& [id, k] : who)
      if (k.role == role && (!watchedOnly || seats[k.session - 1]->monitor)) {
        ++n.first;
        n.second += k.launched ? 1 : 0;
      }
    return n;
  }

  World& w;
  Rng r;
  Rng boxes;               // the boxes at start-up and what happens while they wait
  SessionId starting = 0;  // the session whose monitor is starting
  fakes::FakeProcessTable table;
  std::map<std::int32_t, Known> who;
  std::unique_ptr<Seat> seats[2];
  SessionId claimHolder = 0;
  std::set<SessionId> marks;  // the sessions whose monitors hold their marks
  std::int32_t nextId = 8;
  int active = 0;  // the session before the screen
  bool twoAccounts = false;
  std::optional<U64> twoMarksSince;
  Rng blindR{w.Stream("two-sessions-snapshot")}, cancelR{w.Stream("two-sessions-cancel")};
  Rng lateR{w.Stream("two-sessions-late")}, raceR{w.Stream("two-sessions-race")};
  Rng partR{w.Stream("two-sessions-partly-blind")}, bothR{w.Stream("two-sessions-controller-in-both")};
  U64 portBusyUntil = 0;  // a bridge launched before then ends at once
  // The monitors tell the controller apart by ControllerMatch; another account's Java, unread, still counts.
  bool match = false;
  Rng matchR{w.Stream("two-sessions-match")};
  SessionId claimSinceOf = 0;  // the holder of the claim when it was last looked at, and since when
  U64 claimSince = 0;
  std::string endedElsewhere;      // the first process a monitor ended in another session
  std::string bridgeBesideOther;   // the first bridge launched while another monitor supervised
  std::string waitedWithoutCause;  // the first cycle that waited for nothing
  // What a monitor of session 1 or 2 says when it leaves the bridge to the other one.
  const std::string leftText[2] = {OtherSessionText(kController.runningCheckName, 2),
                                   OtherSessionText(kController.runningCheckName, 1)};
  std::string markFault;  // the first mark kept beside a lower one, or held without a bridge
};

// A controller left running in a session whose monitor has gone (closed by its operator) holds no mark: to the
// other sessions' monitors it is somebody's Java program, and they may launch their own beside it.
std::string World::OneControllerOnTheWorkstation() const {
  const auto [all, launched] = sessions_->Count(Role::Controller, true);
  if (all < 2 || launched == 0) return {};
  return std::to_string(all) + " controllers run, " + std::to_string(launched) + " launched";
}
std::string World::OneBridgeOnTheWorkstation() const {
  const int launched = sessions_->Count(Role::Bridge).second;
  return launched > 1 ? std::to_string(launched) + " bridges launched by the two sessions' monitors" : "";
}
std::string World::EndsOnlyItsOwnSession() const { return sessions_->endedElsewhere; }
// Once no other monitor holds its mark or the claim and no bridge runs in another session, the waiting
// monitor's next cycle ends the wait.
std::string World::WaitForAnotherSessionEnds() const {
  for (const auto& s : sessions_->seats)
    if (s->freeSince && Now() - *s->freeSince > 3 * kSecond)
      return "session " + std::to_string(s->session) + "'s monitor waits " + std::to_string(Now() - *s->freeSince) +
             " ms after the other session's monitor and bridge went";
  return {};
}
// The claim to launch is given up within the controller's start: 3 minutes and 30 s, and a cycle.
std::string World::ClaimGivenUpOnTheWorkstation() const {
  const Sessions& s = *sessions_;
  if (s.claimHolder == 0 || Now() - s.claimSince <= 3 * kMinute + 33 * kSecond) return {};
  return "session " + std::to_string(s.claimHolder) + " holds the claim to launch " +
         std::to_string((Now() - s.claimSince) / kSecond) + " s";
}
void World::UpdateLiveness() { sessions_->UpdateLiveness(); }
bool World::SeatAlive(int seat) const {
  const auto& s = *sessions_->seats[seat];
  return s.monitor && !s.monitor->Ended();
}
// A seat's button: its own session's javaw.exe or bridge, and another session's bridge, or javaw.exe where that
// session's monitor holds its mark.
std::pair<bool, bool> World::RunsForSeat(int seat, ProgramButton button) const {
  const Sessions& w = *sessions_;
  const SessionId own = w.seats[seat]->session;
  const bool controller = button == ProgramButton::CBPellux;
  std::pair<bool, bool> runs;
  for (const auto& [id, k] : w.who) {
    if (controller ? k.role != Role::Controller && k.role != Role::OtherJava : k.role != Role::Bridge) continue;
    if (k.session == own)
      runs.first = true;
    else if (!controller || w.marks.count(k.session) != 0)
      runs.second = true;
  }
  return runs;
}
std::string World::NoBridgeBesideAnotherMonitor() const { return sessions_->bridgeBesideOther; }
// A mark given up within a cycle once nothing of its session runs; a supervising monitor holds its mark while
// its programs run; where two monitors took theirs at once, one gives it up within a cycle.
std::string World::MarkFollowsPrograms() const {
  const auto over = [this](const std::optional<U64>& since) { return since && Now() - *since > 3 * kSecond; };
  for (const auto& s : sessions_->seats) {
    const std::string seat = "session " + std::to_string(s->session) + "'s monitor ";
    if (over(s->markKeptSince)) return seat + "holds its mark with nothing of its session running";
    if (over(s->markMissingSince)) return seat + "supervises its programs without its mark";
  }
  if (!sessions_->markFault.empty()) return sessions_->markFault;
  return over(sessions_->twoMarksSince) ? "two monitors hold their marks: neither starts the bridge again" : "";
}
std::string World::WaitsOnlyForAnotherMonitor() const { return sessions_->waitedWithoutCause; }

// The world is made and unmade where its two sessions' workstation is whole.
World::World(U64 seed, U64 days) : seed_(seed), end_(days * kDay) {
  watched_ = {&fake_, &books_, &expect_, -1};
  AddParts();
}
World::~World() = default;

void World::StartSessions() { sessions_ = std::make_unique<Sessions>(*this); }

// The two sessions' programs, for the report of a failed run.
void World::PrintSessions() const {
  std::printf("\n  the two sessions' programs:");
  for (const auto& [id, k] : sessions_->who)
    if (k.role != Role::Monitor)
      std::printf(" %d%s %s in session %u;", id, k.launched ? " launched" : "",
                  k.role == Role::Controller || k.role == Role::OtherJava ? "javaw.exe"
                  : k.role == Role::Bridge                                ? "LINTARO.exe"
                                                                          : "Pellux.exe",
                  static_cast<unsigned>(k.session));
}

}  // namespace pellux::sim
