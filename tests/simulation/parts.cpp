#include "world.h"

namespace pellux::sim {

namespace {

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
constexpr const char* kPortTexts[] = {"", "3", "12", " 3", "2,5", "abc", "99999999999", "-4", "2.6", "1e3"};

}  // namespace

// The parts of the world, one stream each.
void World::AddParts() {
  parts_ = {
      {"controller-dies", 8, false,
       [this](Rng& r) {
         const std::int32_t id = FindRole(Role::Controller, r);
         if (id == 0) return;
         Note("javaw.exe " + std::to_string(id));
         Exit(id);
         OperatorStartsController(r.Exp(20 * kMinute));
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
         // Its command line unreadable: nothing tells it apart, so it counts as the controller and is never ended.
         if (r.Chance(0.3)) Proc(id)->commandLineReadable = false;
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
         info_[id].elevatedLater = how == 0;
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
      {"log-viewer", 2 * 24, false,
       [this](Rng& r) {  // holds the live log without delete sharing: for a while, for good, or mapped
         if (!fake_.files.Has(logPath_) || fake_.files.refuseRename) return;
         fake_.files.refuseRename = true;
         const U64 how = r.Below(3);
         if (how == 0) return Note("the log held for good");
         fake_.files.refuseOverwrite = how == 2;  // mapped: the live file cannot be begun again either
         Note(how == 2 ? "the log mapped by a viewer" : "the log held by a viewer");
         At(r.Exp(how == 2 ? 20 * kMinute : 3 * kHour), [this] {
           fake_.files.refuseRename = false;
           fake_.files.refuseOverwrite = false;
         });
       }},
      {"click", 3, true,
       [this](Rng& r) {
         const bool first = r.Chance(0.5);
         const ProgramButton button = first ? ProgramButton::CBPellux : ProgramButton::CBLINTARO;
         expect_.Click(fake_.controls, button);
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
           if (answer == 0) {
             supervisionDueMs_ = Now();
             return Step("session goes on", [&] { monitor_->OnSessionEndCancelled(); });
           }
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
      {"bridge-hangs", 2 * 24, false,
       [this](Rng& r) {  // stuck in a driver call: for good, or until the adapter is put back
         const std::int32_t id = FindRole(Role::Bridge, r);
         if (id == 0) return;
         const U64 forMs = r.Chance(0.6) ? 0 : r.Between(1, 900) * kSecond;
         Note("LINTARO.exe " + std::to_string(id) + " stops answering" + (forMs == 0 ? "" : " for a while"));
         StopsAnswering(id, forMs);
       }},
      {"bridge-window-hangs", 2 * 24, false,
       [this](Rng& r) {  // one of the bridge's windows, for a while: another that answers keeps the bridge
         const std::int32_t id = FindRole(Role::Bridge, r);
         if (id == 0 || bridgeWindows_ < 2 || unanswered_.count(id) != 0) return;
         Note("a window of LINTARO.exe " + std::to_string(id) + " stops answering");
         ShowsWindows(id, bridgeWindows_ - 1);
         Later(r.Between(1, 900) * kSecond, id, [this, id] {
           if (unanswered_.count(id) == 0) ShowsWindows(id, bridgeWindows_);
         });
       }},
      {"bridge-hangs-while-held", 3 * 24, false,
       [this](Rng& r) {  // the control file holds as the bridge stops answering, and is removed later
         const std::int32_t id = FindRole(Role::Bridge, r);
         if (id == 0 || !controlPath_.empty()) return;
         controlPath_ = besideMonitor_;
         fake_.files.AddFile(controlPath_, kControlRows[0].contents);
         controlHolds_ = true;
         Note(controlPath_ + " says HOLD; LINTARO.exe " + std::to_string(id) + " stops answering");
         StopsAnswering(id, 0);
         At(r.Between(1, 900) * kSecond, [this, path = controlPath_] {
           if (controlPath_ != path) return;
           fake_.files.Remove(controlPath_);
           controlPath_.clear();
           controlHolds_ = false;
         });
       }},
      {"bridge-answers-slowly", 6, false,
       [this](Rng& r) {  // busy for a moment, shorter than the check allows
         const std::int32_t id = FindRole(Role::Bridge, r);
         if (id == 0) return;
         Note("LINTARO.exe " + std::to_string(id) + " answers slowly");
         StopsAnswering(id, r.Between(1, std::max<U64>(hungSeconds_, 10) - 1) * kSecond);
       }},
      {"id-handed-over", 24, false,
       [this](Rng& r) {  // between two walks the controller ends and its id goes at once to another program
         const std::int32_t id = FindRole(Role::Controller, r);
         if (id == 0) return;
         Exit(id);
         handOver_ = id;
         const bool java = r.Chance(0.5);  // another Java (its kept answer), or a tool (its kept path)
         const std::int32_t next = Spawn(java ? Role::OtherJava : Role::Crowd,
                                         java ? kOtherJavaPath : "C:\\Tools\\viewer.exe", r);
         if (java) Proc(next)->commandLine = "\"" + kOtherJavaPath + "\" -jar hmi.jar";
         Note("javaw.exe " + std::to_string(id) + " ended, its id given to " + (java ? "another Java" : "a tool"));
         Ends(r.Exp(3 * kHour), next);
         OperatorStartsController(r.Exp(20 * kMinute));
       }},
  };
}

}  // namespace pellux::sim
