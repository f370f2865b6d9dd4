#include "world.h"

namespace pellux::sim {

namespace {

// The level of every kind of event, as docs/integrator.md gives it to a collector; 0: the summary, at its kind's level.
constexpr struct {
  std::uint32_t id;
  int level;
} kEventLevels[] = {{1000, 0}, {1001, 0}, {1002, 2}, {1003, 2},  {1004, 2}, {1010, 0}, {1011, 2}, {1012, 0},
                    {1020, 1}, {1021, 2}, {1022, 1}, {1023, -1}, {1024, 2}, {1025, 1}, {1026, 1}, {1030, 1},
                    {1031, 0}, {1032, 0}, {1033, 1}, {1040, 0},  {1041, 0}, {1042, 0}, {1043, 0}, {1044, 0},
                    {1050, 1}, {1051, 1}, {1052, 1}, {1053, 0},  {1060, 2}, {1061, 0}, {1070, 1}, {1071, 0}};

}  // namespace

// The invariants: each returns what broke it, or nothing. The world already knows what happened.
std::string World::NeverEndsItself() const {
  for (const EndedProcess& e : stepEnded_)
    if (e.id == fake_.processes.ownId) return "ended its own process " + std::to_string(e.id);
  return {};
}

std::string World::EndsOnlyStopNames() const {
  for (const EndedProcess& e : stepEnded_)
    if (e.path.find(bridgeStop_) == std::string::npos && e.path.find("JAVAW") == std::string::npos)
      return "ended " + e.path;
  return {};
}

// With ControllerMatch set, no stop ends another Java program, a launcher's helper included.
std::string World::SparesOtherJava() const {
  if (match_.empty()) return {};
  for (const EndedProcess& e : stepEnded_)
    if (e.role == Role::OtherJava) return "ended the other Java program " + std::to_string(e.id);
  return {};
}

std::string World::BridgeKeptWhileControllerStarts() const {
  if (!stepIsCycle_ || !GraceMustHold()) return {};
  for (const EndedProcess& e : stepEnded_)
    if (e.role == Role::Bridge)
      return "a cycle ended the bridge " + std::to_string(Now() - startMs_) + " ms after start-up";
  return {};
}

std::string World::EndsOnlyWhenAsked() const {
  if (fake_.lifetime.ends > 0 && (Alive() || !monitor_)) return "ended without its own end";
  for (const auto& e : fake_.events.events)
    if (e.id == EventId::Ended && allowedEnds_.count(e.strings.at(1)) == 0 &&
        !(endAsked_ && e.strings.at(1) == "control file END"))
      return "ended by " + e.strings.at(1);
  return {};
}

std::string World::TimerArmed() const {
  return Alive() && !timer1_ ? "Timer1 left disarmed while the monitor supervises" : "";
}

std::string World::HandlesClosed() const {
  const int open = fake_.processes.OpenHandles();
  return open != 0 ? std::to_string(open) + " process handles left open" : "";
}

std::string World::OneOf(Role role) const {
  const auto n = std::count_if(info_.begin(), info_.end(),
                               [&](const auto& i) { return i.second.launched && i.second.role == role; });
  return n > 1 ? std::to_string(n) + " of them launched by the session's monitors run" : "";
}

std::string World::OneBridge() const { return OneOf(Role::Bridge); }

std::string World::OneController() const { return OneOf(Role::Controller); }

std::string World::BridgeBackWithinACycle() const {
  // A bridge ended for not answering comes back with the next cycle.
  if (!stepIsCycle_ || !monitor_ || !CycleChecked() || !ControllerVisible() || !hungEnds_.empty()) return {};
  const bool failed = !bridgeLaunches_.empty() && bridgeLaunches_.back() == 0;
  return !Visible(bridgeName_) && !failed ? "the controller runs and no bridge after the cycle" : "";
}

std::string World::BridgeEndedAfterController() const {
  if (!stepIsCycle_ || !monitor_ || !CycleChecked() || ControllerVisible() || !Visible(bridgeName_)) return {};
  if (GraceMayHold() || !fake_.processes.terminated.empty()) return {};
  for (const auto& p : fake_.processes.processes)
    if (Upper(p.path).find(bridgeName_) != std::string::npos && (!p.openForTerminate || !p.terminable || p.endsLater))
      return {};  // one the system will not let go
  return "no controller, and the cycle left the bridge running";
}

std::string World::EventsPerHour() const {
  for (const auto& [kind, times] : watched_.books->lastHour)
    if (times.size() > 7 && times.back() == Now())
      return std::to_string(times.size()) + " events " + kind + " in an hour";
  return {};
}

std::string World::EventCounts() const {
  const Books& b = *watched_.books;
  // The first Java the text cannot tell apart is told at once, the later ones counted.
  if (b.undecidedMet && !b.undecidedTold && WatchedAlive()) return "a Java the text could not tell apart, no 1026";
  for (const auto& [id, count] : b.reported) {
    const auto it = b.happened.find(id);
    const U64 seen = it == b.happened.end() ? 0 : it->second;
    if (count > seen || (b.endedMonitor && count != seen))
      return "event " + std::to_string(id) + " counts " + std::to_string(count) + " of " + std::to_string(seen) +
             " occurrences";
  }
  if (b.endedMonitor)
    for (const auto& [id, seen] : b.happened) {
      const auto it = b.reported.find(id);
      if (seen != (it == b.reported.end() ? 0 : it->second)) return "event " + std::to_string(id) + " never told all";
    }
  return {};
}

// The log since the last step: each line in its shape, stamped now, with a text the system can write.
std::string World::LogLineShape() const {
  const std::string& contents = stepLog_;
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

// The log keeps its newest lines: after a cycle the live file ends with the cycle's last line whenever the
// file can be written (not locked, and not held against both its roll-over and its new beginning), and
// neither file holds much more than twice the limit.
std::string World::LogKeepsNewestLines() const {
  constexpr std::size_t kTwiceTheLimit = std::size_t{2} * kLeastLogLimitKB * 1024;
  constexpr std::size_t kCountLines = 256;  // the lines that tell what was cut or lost, at the head of a file
  if (!loggingRun_) return {};
  for (const std::string* path : {&logPath_, &rolledPath_})
    if (const std::size_t size = fake_.files.Contents(*path).size(); size > kTwiceTheLimit + kCountLines)
      return *path + " holds " + std::to_string(size) + " bytes";
  if (!stepIsCycle_ || !Alive() || !monitor_->Log().IsOn() || !fake_.files.Has(logPath_)) return {};
  const fakes::FakeFileSystem::Entry& live = fake_.files.entries.at(logPath_);
  if (live.locked || (fake_.files.refuseRename && fake_.files.refuseOverwrite)) return {};
  const std::string last = FormatLogLine(fake_.clock.now, "Timer1 - AFTER 'CALL Pellux_MONITOR'");
  const std::string& contents = live.contents;
  if (contents.size() >= last.size() && contents.compare(contents.size() - last.size(), last.size(), last) == 0)
    return {};
  return "the cycle's last line is not at the end of the live log (" + std::to_string(contents.size()) + " bytes)";
}

// A click: a look turns the button green by what runs in the monitor's session, amber by what runs only where
// it shows it so, red by nothing; a stop leaves it green only while its program runs on, and a stop of both does
// the same to the bridge's button. A refused click keeps the colour.
std::string World::ButtonColours() const {
  const Expect& x = *watched_.expect;
  if (!x.click || !WatchedAlive()) return {};
  const auto& c = watched_.fake->controls;
  const ProgramButton button = *x.click;
  const ProgramButton other = button == ProgramButton::CBPellux ? ProgramButton::CBLINTARO : ProgramButton::CBPellux;
  if (x.refused) return c.colours.at(button) != x.before ? "a refused click recoloured its button" : "";
  const auto [here, elsewhere] = Runs(button);
  const bool stop = x.before == kGreen;
  const Colour expected = here ? kGreen : elsewhere && !stop ? kAmber : kRed;
  const Colour otherExpected = stop && button == ProgramButton::CBPellux && !Runs(other).first ? kRed : x.otherBefore;
  if (c.colours.at(button) != expected || c.colours.at(other) != otherExpected)
    return "after a click on a button of colour " + std::to_string(x.before);
  return {};
}

// The strip after a click: green or red by the button's program, magenta when a stop of both left one running.
std::string World::StripColours() const {
  if (!expect_.click || expect_.refused || !Alive()) return {};
  const auto& c = fake_.controls;
  const bool first = *expect_.click == ProgramButton::CBPellux;
  const bool controller = ControllerVisible(), bridge = Visible(bridgeName_);
  const bool runs = first ? controller : bridge;
  Colour back = runs ? kGreen : kRed;
  Colour fore = runs ? kBlack : kWhite;
  if (expect_.before == kGreen && first) {  // the stop of both
    back = controller != bridge ? kMagenta : controller ? kGreen : kRed;
    fore = controller != bridge || controller ? kBlack : kWhite;
  }
  if (c.stripBack != back || c.stripFore != fore) return "the strip after a click: " + c.stripText;
  if (expect_.before != kGreen || !first || !controller) return {};
  // The stop left the controller running: the strip says why, for the first javaw.exe the scan finds.
  const std::optional<bool> undecided = FirstUndecided();
  if (!undecided) return {};
  const std::string said = (*undecided ? UndecidedText(kController) : kController.stillRunning) + "\r";
  return StartsWith(c.stripText, said) ? "" : "the strip after a stop that left javaw.exe: " + c.stripText;
}

// The port field keeps a whole number or nothing; a refused text stays for the operator to mend.
std::string World::PortField() const {
  if (!expect_.portTyped) return {};
  const std::string& text = *expect_.portTyped;
  const std::string& now = fake_.controls.portText;
  const bool whole = !now.empty() && now.find_first_not_of("-0123456789") == std::string::npos;
  if (expect_.portAccepted ? !(now.empty() || whole) : now != text) return "'" + text + "' left '" + now + "'";
  return {};
}

std::string World::TrayIconBack() const {
  if (!expect_.trayAdded) return {};
  for (const auto& call : fake_.tray.calls)
    if (call.command == TrayCommand::Add) return {};
  return "the shell came back and the icon was not added again";
}

// After a cycle the tray shows what the control file the world wrote asks (the fakes number the pictures from
// 0x100: 0 normal, 4 holding); END has ended the monitor.
std::string World::TrayFollowsControlFile() const {
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
std::string World::PortReleasedIsTheField() const {
  const std::string field = std::to_string(std::strtol(fake_.controls.portText.c_str(), nullptr, 10));
  for (const std::string& call : fake_.serial.calls)
    if (StartsWith(call, "port ") && call != "port " + field) return call + " released, the field says " + field;
  return {};
}

// A stop of both ends the controller first: the bridge never outlives it with the port.
std::string World::ControllerEndedBeforeBridge() const {
  bool bridgeGone = false;
  for (const EndedProcess& e : stepEnded_) {
    if (bridgeGone && e.path.find("JAVAW") != std::string::npos) return "the bridge ended before the controller";
    bridgeGone |= e.path.find(bridgeStop_) != std::string::npos;
  }
  return {};
}

// While the session ends (until its answer, a minute at most) a cycle launches and ends nothing.
std::string World::QuietWhileSessionEnds() const {
  if (!stepIsCycle_ || !sessionAskedMs_ || sessionAskedOf_ != starts || Now() - *sessionAskedMs_ >= 60 * kSecond)
    return {};
  if (!fake_.launcher.launches.empty()) return "a launch while the session ends";
  return fake_.processes.terminated.empty() ? "" : "a process ended while the session ends";
}

// Each event with the id and level of its kind; a summary at the level of the kind it sums up.
std::string World::EventLevels() const {
  const auto levelOf = [](std::uint32_t id) {
    for (const auto& row : kEventLevels)
      if (row.id == id) return row.level;
    return -2;
  };
  for (const auto& e : watched_.fake->events.events) {
    const auto id = static_cast<std::uint32_t>(e.id);
    int level = levelOf(id);
    if (level == -1) level = levelOf(static_cast<std::uint32_t>(std::strtoul(e.strings.at(1).c_str(), nullptr, 10)));
    if (level < 0 || static_cast<int>(e.level) != level) return "event " + std::to_string(id) + " at the wrong level";
  }
  return {};
}

// The controller recorded for a later monitor is the first javaw.exe its launcher started, while it runs.
std::string World::RecordsFirstJavaw() const {
  const auto set = fake_.launchRecord.writes == 0 ? std::nullopt : ParseLaunchRecord(*fake_.launchRecord.stored);
  const auto it = set ? info_.find(set->javaw.id) : info_.end();
  const auto first = it == info_.end() ? info_.end() : info_.find(it->second.firstSibling);
  if (first == info_.end() || first->second.born > it->second.born) return {};
  return "recorded the launcher's later javaw.exe " + std::to_string(it->first);
}

// A setting refused at start stops the start before anything is launched.
std::string World::RefusedSettingLaunchesNothing() const {
  return stepIsStart_ && settingRefused_ && !fake_.launcher.launches.empty() ? "launched with a refused setting" : "";
}

// With BridgeHungSeconds set, a bridge whose window does not answer is ended within its seconds and a cycle of
// the first cycle that could judge it: the controller running, nothing held, an end the system allows.
std::string World::HungBridgeEnded() const {
  if (hungRunOf_ == 0 || Now() - hungRunFrom_ <= (hungSeconds_ + 3) * kSecond) return {};
  return "the bridge " + std::to_string(hungRunOf_) + " has not answered for " +
         std::to_string((Now() - hungRunFrom_) / kSecond) + " s and runs on";
}

// A bridge is ended for not answering only with the check on, and only after its seconds without an answer.
std::string World::HungEndsOnlyUnanswered() const {
  for (const auto& [id, unansweredMs] : hungEnds_) {
    const std::string bridge = "ended the bridge " + std::to_string(id);
    if (hungSeconds_ == 0) return bridge + " while the controller runs, the check off";
    if (!unansweredMs) return bridge + " while its window answers, or one it never saw shown";
    const auto& tray = fake_.tray.calls;
    if (!tray.empty() && tray.back().data.hIcon == 0x104u) return bridge + " in a cycle that holds";
    if (*unansweredMs < hungSeconds_ * kSecond)
      return bridge + " after " + std::to_string(*unansweredMs) + " ms without an answer";
  }
  return {};
}

std::string World::LogOutageToldOnce() const { return logOutageFault_; }

bool World::KnownLogText(const std::string& text) const {
  // A process of a scan and its handle, most of what a log holds, first; or a launch and its result.
  const std::size_t dash = text.rfind(" - ");
  const bool number = dash != std::string::npos && Digits(text, dash + 3);
  if (number && paths_.count(probe_.assign(text, 0, dash)) != 0) return true;
  // A path kept from an earlier walk: when it was read, and the handle it was read through.
  if (const std::size_t since = text.rfind(" - DESDE "); number && since != std::string::npos)
    if (paths_.count(probe_.assign(text, 0, since)) != 0) return true;
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

// The 3-second cycle: never more than 3 s from one cycle to the next, whatever the monitor does.
std::string World::ACycleEveryThreeSeconds() const {
  const U64 since = std::max(lastCycleMs_, startMs_);
  return Alive() && Now() - since > 3 * kSecond ? "no cycle for " + std::to_string(Now() - since) + " ms" : "";
}

// The cycle supervises (walks the process table) every 3 s, held or not; while the session ends it may rest
// until the answer, or 60 s at most, and supervises again within 3 s of either.
std::string World::SupervisesEveryThreeSeconds() const {
  if (!Alive()) return {};
  U64 since = std::max({lastWalkMs_, supervisionDueMs_, startMs_});
  if (sessionAskedMs_ && sessionAskedOf_ == starts) {
    if (Now() - *sessionAskedMs_ < 60 * kSecond) return {};
    since = std::max(since, *sessionAskedMs_ + 60 * kSecond);
  }
  if (Now() - since <= 3 * kSecond) return {};
  return "no supervision for " + std::to_string(Now() - since) + " ms" + (controlHolds_ ? " while held" : "");
}

// A message stays 5 s in the strip, counted again from the latest one.
std::string World::StripClearsInFiveSeconds() const {
  if (!Alive() || !fake_.controls.stripVisible || Now() - stripShownMs_ <= 5 * kSecond) return {};
  return "the strip shown for " + std::to_string(Now() - stripShownMs_) + " ms: " + fake_.controls.stripText;
}

// The workstation's claim to launch is given up once the controller's start is settled: 30 s after its launch,
// or while its launcher runs, 3 minutes at most, and 30 s more; by the cycle after.
std::string World::ClaimToLaunchGivenUp() const {
  if (!Alive() || !fake_.claim.held || Now() - startMs_ <= 3 * kMinute + 33 * kSecond) return {};
  return "the claim to launch held " + std::to_string((Now() - startMs_) / kSecond) + " s after the start";
}

// A bridge that had run for a cycle comes back within a second of its end while the controller runs.
std::string World::BridgeBackWithinASecond() const {
  if (!bridgeDueBy_ || Now() <= *bridgeDueBy_) return {};
  return "a bridge ended " + std::to_string(Now() - *bridgeDueBy_ + kSecond) + " ms ago, none back";
}

// One that cannot stay up is started no more often than once a cycle, ends seen at once or not.
std::string World::BridgeNoFasterThanACycle() const {
  if (!stepIsCycle_ || bridgeLaunches_.empty() || !lastCycleLaunch_ || lastCycleLaunch_->second != starts) return {};
  const U64 gap = Now() - lastCycleLaunch_->first;
  return gap < 3 * kSecond ? "the bridge launched again " + std::to_string(gap) + " ms after the last launch" : "";
}

// The handles on ended processes are given up once the window is told, and none is held but on the two programs.
std::string World::EndHandlesGivenUp() const {
  const auto& held = fake_.ends.held;
  if (held.size() > 2) return std::to_string(held.size()) + " processes watched";
  for (const auto& [id, created] : held)
    if (stepIsEndTold_ && fake_.ends.HasEnded(id)) return "the handle on ended process " + std::to_string(id) + " kept";
  return {};
}

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
    {"events-per-hour", "the event log flooded by one fault", &World::EventsPerHour, kEveryMonitor},
    {"event-counts", "the event log's counts do not add up to what happened", &World::EventCounts, kEveryMonitor},
    {"log-line-shape", "a log line the reader cannot parse or place", &World::LogLineShape},
    {"log-keeps-newest-lines", "the log holds old lines and not the newest, or grows past twice its limit",
     &World::LogKeepsNewestLines},
    {"button-colours", "a button's colour says the opposite of what runs", &World::ButtonColours, kEveryMonitor},
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
    {"event-levels", "a collector filtering on warnings and errors misses a fault", &World::EventLevels, kEveryMonitor},
    {"refused-setting-launches-nothing", "programs started from a setting the monitor refused",
     &World::RefusedSettingLaunchesNothing},
    {"spares-other-java", "the controller's button ends the plant's HMI and leaves the controller running",
     &World::SparesOtherJava},
    {"records-first-javaw", "a monitor started again takes a launcher's helper for the controller",
     &World::RecordsFirstJavaw},
    {"hung-bridge-ended", "the bridge hangs for hours and the machine waits for someone to end it",
     &World::HungBridgeEnded},
    {"hung-ends-only-unanswered", "a bridge that works, or answers slowly, ended under the controller",
     &World::HungEndsOnlyUnanswered},
    {"log-outage-told-once", "a log that lost lines, told many times, or with a count its own notes contradict",
     &World::LogOutageToldOnce},
    {"a-cycle-every-three-seconds", "the bridge left gone for longer than the operator is promised",
     &World::ACycleEveryThreeSeconds, kLive},
    {"supervises-every-three-seconds", "supervision stopped while held, or never back after the session went on",
     &World::SupervisesEveryThreeSeconds, kLive},
    {"strip-clears-in-five-seconds", "a message that stays over the picture", &World::StripClearsInFiveSeconds, kLive},
    {"bridge-back-within-a-second", "the controller without its bridge for seconds after it died",
     &World::BridgeBackWithinASecond, kLive},
    {"bridge-no-faster-than-a-cycle", "a bridge without its port started again and again, flooding the plant",
     &World::BridgeNoFasterThanACycle},
    {"end-handles-given-up", "handles on ended programs pile up for months", &World::EndHandlesGivenUp},
    {"claim-to-launch-given-up", "no monitor of another session may ever launch", &World::ClaimToLaunchGivenUp, kLive},
    {"wait-for-another-session-ends", "a session's monitor waits for ever after the other session's programs went",
     &World::WaitForAnotherSessionEnds, kSessions | kLive},
    {"claim-given-up-on-the-workstation", "a session's monitor keeps the other one from ever launching",
     &World::ClaimGivenUpOnTheWorkstation, kSessions | kLive},
    {"one-controller-on-the-workstation", "a second session's monitor starts a second controller",
     &World::OneControllerOnTheWorkstation, kSessions},
    {"one-bridge-on-the-workstation", "two sessions' bridges fight over the serial port",
     &World::OneBridgeOnTheWorkstation, kSessions},
    {"ends-only-its-own-session", "a stop in one session ends another session's programs",
     &World::EndsOnlyItsOwnSession, kSessions},
    {"no-bridge-beside-another-monitor", "a second bridge started while another session's monitor supervises",
     &World::NoBridgeBesideAnotherMonitor, kSessions},
    {"waits-only-for-another-monitor", "somebody's Java program keeps a session's monitor from supervising",
     &World::WaitsOnlyForAnotherMonitor, kSessions},
    {"mark-follows-programs", "a session's monitor keeps the others from supervising, or nobody restarts the bridge",
     &World::MarkFollowsPrograms, kSessions | kLive},
};

void World::CheckMonitor(const Watched& seat) {
  watched_ = seat;
  for (const Invariant& invariant : kInvariants) {
    if (!invariant.Is(kEveryMonitor)) continue;
    ++checks;
    if (const std::string broken = (this->*invariant.check)(); !broken.empty()) Fail(invariant.name, broken);
  }
  watched_ = {&fake_, &books_, &expect_, -1};
}

bool World::WatchedAlive() const { return watched_.seat < 0 ? Alive() : SeatAlive(watched_.seat); }

std::pair<bool, bool> World::Runs(ProgramButton button) const {
  if (watched_.seat >= 0) return RunsForSeat(watched_.seat, button);
  return {button == ProgramButton::CBPellux ? ControllerVisible() : Visible(bridgeName_), false};
}

void World::CheckInvariants(bool sessionsOnly, bool liveOnly) {
  for (const Invariant& invariant : kInvariants) {
    if ((sessionsOnly && !invariant.Is(kSessions)) || (liveOnly && !invariant.Is(kLive))) continue;
    ++checks;
    if (const std::string broken = (this->*invariant.check)(); !broken.empty()) Fail(invariant.name, broken);
  }
}

}  // namespace pellux::sim
