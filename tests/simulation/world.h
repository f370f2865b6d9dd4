#pragma once
// Months of a workstation in seconds: the real monitor against the unit tests'
// fakes made lively. One seed decides every random choice, each part of the
// world drawing from a stream of its own, so that a failing run replays step
// for step; the plant's invariants are checked after every step. Time jumps to
// the next thing that happens.   simulate [--seed N] [--runs K] [--days D] [--fixed]
//   world.h         the world: its processes, its clock, what it expects of a step
//   world.cpp       the world's machinery: launches, ends, the monitor's steps, the trace
//   parts.cpp       the happenings of a workstation, each a part with a stream of its own
//   invariants.cpp  what the plant is promised, one table, checked after every step
//   sessions.cpp    the workstation of two logon sessions, a monitor in each
//   runner.cpp      a run from its seed, its report, and main
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
#include <string_view>
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

using U64 = std::uint64_t;
using ull = unsigned long long;
using Process = fakes::FakeProcessTable::Process;
constexpr U64 kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute, kDay = 24 * kHour;

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

inline U64 Fnv(const std::string& text, U64 h = 0xcbf29ce484222325ull) {
  for (const unsigned char c : text) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

inline bool Digits(const std::string& s, std::size_t from) {
  return s.size() > from && s.find_first_not_of("0123456789", from) == std::string::npos;
}
inline bool StartsWith(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

struct Crash {};  // thrown by the world to crash the monitor in the middle of a step

const std::string kControllerPath = "C:\\Program Files\\Pellux\\jre\\bin\\javaw.exe";
const std::string kShareControlFile = "\\\\plant-srv\\line\\Pellux.stp";
const std::string kOtherJavaPath = "C:\\Program Files\\Java\\jre8\\bin\\javaw.exe";
// The controller's command line names its jar, which ControllerMatch names in some runs.
const std::string kControllerCommandLine = "\"" + kControllerPath + "\" -jar Pellux.jar";

enum class Role { System, Monitor, Launcher, Controller, OtherJava, Bridge, Namesake, Crowd };

struct Info {
  Role role;
  std::string path;
  U64 born;
  bool launched;                  // by a monitor of this session
  std::int32_t firstSibling = 0;  // a launcher's later javaw.exe: the one it started first
  bool elevatedLater = false;     // a monitor may have decided what the text says of it before
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

// What a step of a monitor is expected to do, as the part that drove it says.
struct Expect {
  std::optional<ProgramButton> click;
  Colour before = kLightGrey, otherBefore = kLightGrey;
  bool refused = false;  // the bridge's button without a port
  std::optional<std::string> portTyped;
  bool portAccepted = true;
  bool trayAdded = false;  // the shell came back
  // A click on a button of the window whose controls these are: their colours before it.
  void Click(const fakes::FakeWindowControls& c, ProgramButton button) {
    const ProgramButton other = button == ProgramButton::CBPellux ? ProgramButton::CBLINTARO : ProgramButton::CBPellux;
    click = button;
    before = c.colours.at(button);
    otherBefore = c.colours.at(other);
    refused = button == ProgramButton::CBLINTARO && c.portText.empty();  // the bridge's button without a port
  }
};

// One monitor's events as the rows of every monitor read them: the occurrences the world saw and the counts the
// monitor reported, of each kind of the cycle; the times of each kind's reports in the last hour; its end.
struct Books {
  std::map<std::uint32_t, U64> happened, reported;
  std::map<std::string, std::deque<U64>> lastHour;
  bool endedMonitor = false;  // the step wrote the monitor's end
  // A cycle met a Java the text could not tell apart; a warning 1026 said so.
  bool undecidedMet = false, undecidedTold = false;
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
  // The world's machinery (world.cpp).
  void Later(U64 delay, std::int32_t id, std::function<void()> act);
  void Ends(U64 delay, std::int32_t id, bool launcher = false);
  void HeldOpen(std::int32_t id, U64 forMs);
  void StartsJava(U64 delay, std::int32_t launcher);
  // The cycle never starts the controller: the operator does, from the desktop, after delay, unless one runs.
  void OperatorStartsController(U64 delay);
  void RunPart(std::size_t i, bool again);
  void Fault(const char* kind) { ++faults_[kind]; }
  void Fail(const char* name, const std::string& detail);
  std::string Stamp(const char* gap) const;
  void Trace(std::string line);
  void Note(const std::string& what);
  std::int32_t Spawn(Role role, const std::string& path, Rng& r, bool launched = false);
  void Exit(std::int32_t id);
  Process* Proc(std::int32_t id);
  std::int32_t FindRole(Role role, Rng& r) const;
  bool Visible(const std::string& name) const;
  static bool Visible(const std::string& name, const Process& p);
  // What counts as the controller: any javaw.exe, or with ControllerMatch set one whose path or readable command
  // line holds the text.
  bool ControllerVisible() const;
  // What the text answers of a process: none when it does not count as the controller, whether it is undecided
  // (its command line unread) when it does.
  std::optional<bool> Undecided(const Process& p) const;
  // The same of the first javaw.exe a scan meets that counts; none when none does, or the monitor may have decided
  // otherwise before it was elevated.
  std::optional<bool> FirstUndecided() const;
  std::uint32_t Launch(const std::string& path);
  void BridgeDies(Rng& r);
  // The bridge's window stops answering, for forMs (0: for good).
  void StopsAnswering(std::int32_t id, U64 forMs);
  // The bridge's windows, the first answering of them answering and shown again from behind their ghosts.
  void ShowsWindows(std::int32_t id, std::uint32_t answering);

  bool Alive() const { return monitor_ && !monitor_->Ended(); }
  void Restart(U64 delay);
  void Gone();
  bool GraceMayHold() const;
  bool GraceMustHold() const;
  void StartMonitor();
  void Step(const std::string& what, const std::function<void()>& action);
  void Act(const std::string& what, const std::function<void()>& action);
  void Observe();
  std::string TraceLine(const std::string& what) const;
  void ClearRecords();
  // A cycle is held to the processes' promises unless the session is ending or the monitor has gone.
  bool CycleChecked() const { return Alive() && !(sessionAskedMs_ && Now() - *sessionAskedMs_ < 60 * kSecond); }

  std::string OneOf(Role role) const;
  // What the step told of the log's outages: its notes of lines not written, its events 1070 and 1071.
  void ReadLogOutage();

  // Where a row is checked besides after every step of the main world.
  enum Checked : unsigned {
    kAfterMainStep = 0,
    kSessions = 1,      // a row of the two sessions' workstation, checked after their steps too
    kLive = 2,          // a state that must end in time: checked also whenever the clock moves
    kEveryMonitor = 4,  // a row of every monitor: the two sessions' too, after each of their steps
  };
  struct Invariant {
    const char* name;
    const char* noticed;  // what a plant would notice when it is broken
    std::string (World::*check)() const;
    unsigned checked = kAfterMainStep;
    [[nodiscard]] bool Is(Checked where) const { return (checked & where) != 0; }
  };
  // Every invariant: a row of kInvariants (invariants.cpp) and one of these, which says what is broken or
  // nothing. Adding a promise is adding both. The rows of the two sessions' workstation stand in sessions.cpp;
  // the promises in seconds (kLive) hold each waiting state of the core to its bound.
  std::string NeverEndsItself() const;
  std::string EndsOnlyStopNames() const;
  std::string BridgeKeptWhileControllerStarts() const;
  std::string EndsOnlyWhenAsked() const;
  std::string TimerArmed() const;
  std::string HandlesClosed() const;
  std::string OneBridge() const;
  std::string OneController() const;
  std::string BridgeBackWithinACycle() const;
  std::string BridgeEndedAfterController() const;
  std::string EventsPerHour() const;
  std::string EventCounts() const;
  std::string LogLineShape() const;
  std::string LogKeepsNewestLines() const;
  std::string ButtonColours() const;
  std::string StripColours() const;
  std::string PortField() const;
  std::string TrayIconBack() const;
  std::string TrayFollowsControlFile() const;
  std::string PortReleasedIsTheField() const;
  std::string ControllerEndedBeforeBridge() const;
  std::string QuietWhileSessionEnds() const;
  std::string EventLevels() const;
  std::string RecordsFirstJavaw() const;
  std::string RefusedSettingLaunchesNothing() const;
  std::string HungBridgeEnded() const;
  std::string HungEndsOnlyUnanswered() const;
  std::string LogOutageToldOnce() const;
  std::string SparesOtherJava() const;
  std::string OneControllerOnTheWorkstation() const;
  std::string OneBridgeOnTheWorkstation() const;
  std::string EndsOnlyItsOwnSession() const;
  std::string NoBridgeBesideAnotherMonitor() const;
  std::string WaitsOnlyForAnotherMonitor() const;
  std::string MarkFollowsPrograms() const;
  std::string ACycleEveryThreeSeconds() const;
  std::string SupervisesEveryThreeSeconds() const;
  std::string StripClearsInFiveSeconds() const;
  std::string ClaimToLaunchGivenUp() const;
  std::string WaitForAnotherSessionEnds() const;
  std::string ClaimGivenUpOnTheWorkstation() const;
  std::string BridgeBackWithinASecond() const;
  std::string BridgeNoFasterThanACycle() const;
  std::string EndHandlesGivenUp() const;
  static const Invariant kInvariants[];
  void CheckInvariants(bool sessionsOnly = false, bool liveOnly = false);
  void UpdateLiveness();
  // The monitor whose rows of every monitor are checked: its platform, its books, what its step expects, and
  // the two sessions' seat it sits in (-1: the main world's).
  struct Watched {
    const fakes::FakePlatform* fake;
    Books* books;
    const Expect* expect;
    int seat;
  };
  Watched watched_;
  // The rows of every monitor over one of the two sessions' monitors, whose events the step wrote.
  void CheckMonitor(const Watched& seat);
  void ReadEvents(const fakes::FakeSystemEventLog& events, Books& books);
  bool WatchedAlive() const;
  bool SeatAlive(int seat) const;
  // Whether the button's program runs in the watched monitor's own session, and whether only elsewhere on the
  // workstation where its monitor shows it amber: another session's bridge, a supervised session's javaw.exe.
  std::pair<bool, bool> Runs(ProgramButton button) const;
  std::pair<bool, bool> RunsForSeat(int seat, ProgramButton button) const;
  void Writable(const std::string& text) {  // as the monitor means it, and as the log writes it in its code page
    logTexts_.insert(text);
    logTexts_.insert(fake_.files.ToCodePage(text));
  }
  bool KnownLogText(const std::string& text) const;
  void AddParts();  // parts.cpp
  void StartSessions();
  void PrintSessions() const;

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
  std::int32_t nextId_ = 8, startLauncher_ = 0;
  std::int32_t handOver_ =
      0;  // the id the next process is given: one just freed  // the launcher start-up launched, while it runs
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
  std::string match_;                   // the run's ControllerMatch, upper case; empty when not set
  std::string readsFirst_;              // the control file the running monitor reads before the one in its folder
  std::string monitorVersion_;          // the version the running monitor started with
  std::string versionTip_;              // and the tip it shows while nothing holds
  std::string besideMonitor_;           // the control file in the monitor's folder
  SupervisedProgram bridge_ = kBridge;  // the run's bridge, and the path, name and stop name the system lists
  std::string bridgeListed_ = kBridge.installPath, bridgeName_ = "LINTARO.EXE", bridgeStop_ = "LINTARO";
  std::string violation_, logPath_, controlPath_;  // the control file the world wrote, empty when none
  // The log's two files, kept at their sizes from step to step: what a step read is overwritten with NULs, which
  // no line holds, so the next step's lines are what follows them, or the whole of a file begun again.
  std::string rolledPath_, stepLog_;           // the older file, and the lines the step wrote to either
  std::size_t liveRead_ = 0;                   // the live file's size when last read
  std::size_t liveFrom_ = 0, rolledFrom_ = 0;  // where the step's lines begin in each
  std::map<std::string, fakes::FakeFileSystem::Entry> driveD_;  // D:'s files while it is gone
  std::set<std::string> allowedEnds_, logPrefixes_, launchPrefixes_;
  std::unordered_set<std::string> logTexts_, paths_;  // looked up for every line of the log
  mutable std::string probe_, lineText_;              // a scan line's path, a line's text: looked up
  Books books_;                                       // the main monitor's events
  std::vector<std::uint32_t> bridgeLaunches_;         // results, this step
  // What the step did that the world has already acted on: the processes it ended, the log it wrote, an end.
  struct EndedProcess {
    std::int32_t id;
    Role role;
    std::string path;  // upper case; empty when the world did not know the process
  };
  std::vector<EndedProcess> stepEnded_;
  // The bridge's window, when BridgeHungSeconds is set (the run's seconds; 0: off): the bridges whose window
  // does not answer and since when; the bridge every cycle since hungRunFrom_ could have judged and ended; and
  // the bridges the step ended for not answering, with how long they had not answered (none: it answered).
  U64 hungSeconds_ = 0;
  std::uint32_t bridgeWindows_ = 1;  // the windows every bridge of the run shows, which hang together
  Rng unseenGhosts_;                 // whether a monitor starts beside a bridge hidden behind its ghost while none ran
  std::map<std::int32_t, U64> unanswered_;
  std::int32_t hungRunOf_ = 0;
  U64 hungRunFrom_ = 0;
  std::vector<std::pair<std::int32_t, std::optional<U64>>> hungEnds_;
  // When the running monitor last cycled, last walked the process table in a cycle, last had to supervise
  // again (its start, the session going on) and last showed a message in the strip.
  U64 lastCycleMs_ = 0, lastWalkMs_ = 0, supervisionDueMs_ = 0, stripShownMs_ = 0;
  int stripShows_ = 0;
  Expect expect_;  // what the part that drove the step expects of it
  // The log's outages as the running monitor tells them: whether it said the log takes no lines (1070) and has
  // not yet said it takes them again (1071); the lines its notes say were not written since its last 1071; the
  // first outage told twice, or told back with another count than its notes'.
  bool logOutTold_ = false;
  U64 notedLost_ = 0;
  std::string logOutageFault_;
  // Ends seen at once: since when the monitor has held a handle on each process, the role the world gave it
  // then, the ends the window has been told of, when a bridge that had run a cycle ended and must be back by,
  // and the last cycle that launched the bridge (with the monitor's start it belongs to).
  void EndsSeen(bool afterStep = false);
  std::map<std::int32_t, std::pair<U64, Role>> watchedSince_;
  std::set<std::int32_t> endTold_;
  std::optional<U64> bridgeDueBy_;
  std::optional<std::pair<U64, U64>> lastCycleLaunch_;
  bool stepIsEndTold_ = false, stepIsClick_ = false;
  Rng tells_{Fnv("tells")};
};

}  // namespace pellux::sim
