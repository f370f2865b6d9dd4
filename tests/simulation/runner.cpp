#include "world.h"

namespace pellux::sim {

namespace {

// Seeds that once found a fault, and the days they need to reach it: make test runs each of them.
constexpr struct {
  U64 seed, days;
  const char* found;
} kFixedSeeds[] = {{5, 1, "a monitor started again launched a second bridge and controller"},
                   {60, 1, "a Timer1 that could not be armed again ended supervision without a word"},
                   {160, 3, "a BridgeProcess without .exe taken: a new bridge on every cycle"},
                   {17, 1, "two logons at once: the second monitor launched before the first one's programs showed"},
                   {4, 3, "a Java service of session 0 or a user's Java program kept a monitor waiting"},
                   {2, 1, "a monitor launched a bridge while another session's monitor supervised"},
                   {1, 1, "a Java service of session 0 turned a session's controller button amber"},
                   {12, 1, "a session's first bridge after another session's went left out of its events' counts"},
                   {90420, 36, "a controller whose command line turned unreadable was no controller to the world"},
                   {31340, 17, "the same, with the bridge outside ASCII"},
                   {71113, 29, "the same, on Windows 7"},
                   {125, 1, "of two monitors that took their marks at once, the lower left the bridge to the higher"}};

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

}  // namespace

bool World::Run() {
  for (const Part& part : parts_) streams_.push_back(Stream(part.name));
  ids_ = Stream("ids");
  launches_ = Stream("launches");
  settings_ = Stream("settings");
  crashes_ = Stream("restarts");
  unseenGhosts_ = Stream("unseen-ghosts");
  tells_ = Stream("tells");
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
  // The controller told apart from other Java programs by its command line, on a workstation that answers the
  // question with limited rights or (Windows 7) only with full ones.
  if (Rng match = Stream("match"); match.Chance(0.4)) {
    placed_.push_back({SettingsKey::Machine, "ControllerMatch", match.Chance(0.5) ? "Pellux.jar" : "-JAR pellux"});
    match_ = Upper(placed_.back().value);
    fake_.processes.commandLineByQuery = match.Chance(0.5);
    // On Windows 7, the 32-bit monitor beside a 64-bit Java: no command line can be read.
    fake_.processes.narrowMonitor = !fake_.processes.commandLineByQuery && match.Chance(0.5);
  }
  for (const Placed& setting : placed_)
    if (setting.name == "LogFile") logPath_ = setting.value;
  rolledPath_ = RolledLogFile(logPath_);
  // Half the runs look at the bridge's window.
  if (Rng hung = Stream("bridge-hung-seconds"); hung.Chance(0.5)) {
    constexpr U64 kSeconds[] = {10, 30, 60, 300};
    hungSeconds_ = hung.Pick(kSeconds);
  }
  // A bridge of one, two or three windows; on a desktop that hides a window that does not answer behind a
  // ghost of its own in half the runs.
  Rng shown = Stream("bridge-windows");
  bridgeWindows_ = 1 + static_cast<std::uint32_t>(shown.Below(3));
  fake_.windows.ghosts = shown.Chance(0.5);
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
  logPrefixes_ = {"LOG LLENO - "};  // the lines lost, the bytes cut
  for (const SupervisedProgram* p : {&kController, &std::as_const(bridge_)}) {
    for (const std::string* text :
         {&p->clickLogText, &p->missingLog, &p->notStarted, &p->started, &p->stillRunning, &p->stopped})
      Writable(*text);
    Writable(UndecidedText(*p));
    for (const std::string* prefix : {&p->launchedLog, &p->launchFailedLog})
      launchPrefixes_.insert({*prefix, fake_.files.ToCodePage(*prefix)});
  }
  const std::string hungLine = bridge_.notResponding + " - TERMINADO - PID: ";
  logPrefixes_.insert({hungLine, fake_.files.ToCodePage(hungLine)});
  for (int i = 0; i < 6; ++i) {  // processes of the system, two that nothing may open
    const std::string path = i < 2 ? "" : "C:\\Windows\\System32\\svc" + std::to_string(i) + ".exe";
    const std::int32_t id = Spawn(Role::System, path, setup);
    if (i < 2) Proc(id)->openForRead = Proc(id)->openLimited = false;
  }
  fake_.clock.ms = 0;
  StartSessions();
  for (std::size_t i = 0; i < parts_.size(); ++i)
    At(streams_[i].Exp(parts_[i].meanHours * kHour), [this, i] { RunPart(i, true); });
  StartMonitor();
  while (violation_.empty()) {
    const U64 next = std::min({queue_.top().at, timer1_.value_or(~0ull), timer3_.value_or(~0ull)});
    if (next >= end_) break;
    fake_.clock.ms = next;
    fake_.clock.now = CivilTime(wallBase_ + wallOffset_ + static_cast<std::int64_t>(next / 1000));
    CheckInvariants(false, true);  // a state that had to end by now
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
      UpdateLiveness();
      EndsSeen();
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
    PrintSessions();
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
