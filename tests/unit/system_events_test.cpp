#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <ostream>
#include <regex>
#include <set>
#include <sstream>

#include "app/monitor.h"
#include "fakes/fakes.h"

namespace pellux {

void PrintTo(const fakes::FakeSystemEventLog::Event& e, std::ostream* os) {
  *os << static_cast<int>(e.level) << " " << static_cast<std::uint32_t>(e.id);
  for (const std::string& s : e.strings) *os << " \"" << s << "\"";
}

namespace {

using Event = fakes::FakeSystemEventLog::Event;
using Events = std::vector<Event>;
using L = EventLevel;
using Id = EventId;

constexpr char kJavaw[] = "C:\\Program Files\\Java\\bin\\javaw.exe";
constexpr char kBridgeExe[] = "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe";
constexpr char kStp[] = "C:\\Monitor\\Pellux.stp";
constexpr char kLogFile[] = "C:\\Monitor\\PelluxMONITOR.anc";

// One outcome of the real monitor and the events it must give.
struct Case {
  const char* name;
  std::function<void(fakes::FakePlatform&)> before;         // before start-up
  std::function<void(Monitor&, fakes::FakePlatform&)> act;  // after it; null: start-up itself
  Events expected;
};

void Cycle(Monitor& m, fakes::FakePlatform&) { m.OnTimer(TimerId::Timer1); }
void Nothing(fakes::FakePlatform&) {}

const Case kCases[] = {
    {"start",
     Nothing,
     nullptr,
     {{L::Information, Id::Started, {"PelluxMONITOR - STARTED!!!", "1.0.0.0", "C:\\Monitor", "off", "built-in"}},
      {L::Information, Id::Launched, {"ARRANCA LINTARO.exe - RetVal: 4000", "LINTARO.exe", "4000"}},
      {L::Information, Id::Launched, {"ARRANCA Pellux.exe - RetVal: 4004", "Pellux.exe", "4004"}}}},
    {"bridge launch fails at start",
     [](auto& p) { p.launcher.results = {0}; },
     nullptr,
     {{L::Information, Id::Started, {"PelluxMONITOR - STARTED!!!", "1.0.0.0", "C:\\Monitor", "off", "built-in"}},
      {L::Error, Id::LaunchFailed, {"LINTARO.exe NO ARRANCO - RetVal: 0", "LINTARO.exe", kBridgeExe}},
      {L::Information, Id::Launched, {"ARRANCA Pellux.exe - RetVal: 4000", "Pellux.exe", "4000"}}}},
    {"the controller runs in another session, then here",
     [](auto& p) {
       p.processes.AddInSession(40, kJavaw, 2);
       p.mark.elsewhere = {2};
     },
     [](Monitor& m, auto& p) {
       Cycle(m, p);  // still only elsewhere: nothing more is said
       p.processes.processes.clear();
       p.mark.elsewhere.clear();
       p.processes.Add(44, kJavaw);
       Cycle(m, p);
       Cycle(m, p);
     },
     {{L::Information,
       Id::OwnSessionAgain,
       {"PelluxMONITOR supervises this session's programs again", "the controller runs in this session"}},
      {L::Warning, Id::BridgeRelaunched, {"ARRANCA LINTARO.exe - RetVal: 4000", "LINTARO.exe", "4000", "1"}}}},
    // Outages every other cycle are told once a span, each with its return.
    {"no process snapshot for a while, again and again",
     Nothing,
     [](Monitor& m, auto& p) {
       for (const bool fails : {true, true, false, true, false, true}) {
         p.processes.failFamilies = fails;
         Cycle(m, p);
       }
       p.clock.ms += kRepeatReportSpacingMs;
       Cycle(m, p);
     },
     {{L::Error, Id::SnapshotLost, {"PelluxMONITOR cannot take the system's process snapshot"}},
      {L::Information, Id::SnapshotBack, {"PelluxMONITOR takes the system's process snapshot again"}},
      {L::Error, Id::SnapshotLost, {"PelluxMONITOR cannot take the system's process snapshot"}}}},
    {"bridge missing",
     [](auto& p) { p.files.Remove(kBridgeExe); },
     nullptr,
     {{L::Information, Id::Started, {"PelluxMONITOR - STARTED!!!", "1.0.0.0", "C:\\Monitor", "off", "built-in"}},
      {L::Error, Id::ProgramMissing, {kBridge.missingLog, "LINTARO.exe", kBridgeExe}},
      {L::Information, Id::Ended, {"PelluxMONITOR - ENDED", "missing program"}}}},
    {"both programs adopted at start",
     [](auto& p) {
       p.processes.Add(24, kBridgeExe);
       p.processes.Add(28, kJavaw).parentId = 20;
       p.launchRecord.stored = FormatLaunchRecord(
           {{24, fakes::FakeCreationTime(24)}, {20, 1}, {28, fakes::FakeCreationTime(28)}});
     },
     nullptr,
     {{L::Information, Id::Started, {"PelluxMONITOR - STARTED!!!", "1.0.0.0", "C:\\Monitor", "off", "built-in"}},
      {L::Information, Id::Adopted, {kBridge.stillRunning, "LINTARO.exe", "24"}},
      {L::Information, Id::Adopted, {kController.stillRunning, "Pellux.exe", "28"}}}},
    {"close request",
     Nothing,
     [](Monitor& m, auto&) { m.OnCloseRequest(); },
     {{L::Information, Id::Ended, {"PelluxMONITOR - ENDED", "close request"}}}},
    {"end of the session",
     Nothing,
     [](Monitor& m, auto&) { m.OnSessionEnd(); },
     {{L::Information, Id::Ended, {"PelluxMONITOR - ENDED", "end of the session"}}}},
    {"closed by an installer",
     Nothing,
     [](Monitor& m, auto&) {
       m.OnSessionEnding();
       m.OnClosedForUpdate();
     },
     {{L::Information, Id::Ended, {"PelluxMONITOR - ENDED", "closed by an installer"}}}},
    {"bridge relaunched by the cycle",
     [](auto& p) { p.processes.Add(8, kJavaw); },
     Cycle,
     {{L::Warning, Id::BridgeRelaunched, {"ARRANCA LINTARO.exe - RetVal: 4008", "LINTARO.exe", "4008", "1"}}}},
    {"bridge relaunch fails twice, then the controller goes",
     [](auto& p) {
       p.processes.Add(8, kJavaw);
       p.launcher.results = {1, 2, 0, 0};
     },
     [](Monitor& m, auto& p) {
       Cycle(m, p);
       Cycle(m, p);
       p.processes.processes.clear();
       Cycle(m, p);
       p.clock.ms += kRepeatReportSpacingMs;
       Cycle(m, p);
     },
     {{L::Error, Id::BridgeRelaunchFailed, {"LINTARO.exe NO ARRANCO - RetVal: 0", "LINTARO.exe", kBridgeExe, "1"}},
      {L::Error, Id::RepeatSummary, {"LINTARO.exe NO ARRANCO - RetVal: 0", "1021", "1"}}}},
    {"bridge ended: controller gone",
     [](auto& p) { p.processes.Add(24, kBridgeExe); },
     [](Monitor& m, auto& p) {
       p.clock.ms += kControllerStartGraceMs;  // it never appeared after start-up's launch
       Cycle(m, p);
     },
     {{L::Warning,
       Id::BridgeTerminated,
       {"LINTARO.exe ended by the monitor: the controller (javaw.exe) is not running", "LINTARO.exe", "24", "1"}}}},
    {"bridge refuses to end: no event",
     [](auto& p) { p.processes.Add(24, kBridgeExe).terminable = false; },
     [](Monitor& m, auto& p) {
       p.clock.ms += kControllerStartGraceMs;
       Cycle(m, p);
       const auto& asked = p.processes.openAccess;
       EXPECT_NE(std::find(asked.begin(), asked.end(), kAccessTerminate), asked.end()) << "the stop was tried";
     },
     {}},
    {"holding, still holding, back to normal",
     [](auto& p) { p.files.AddFile(kStp, "x,hold"); },
     [](Monitor& m, auto& p) {
       Cycle(m, p);
       p.files.AddFile(kStp, "x,STOP");
       Cycle(m, p);
       p.files.Remove(kStp);
       Cycle(m, p);
       Cycle(m, p);
     },
     {{L::Warning, Id::Holding, {"PelluxMONITOR - Holding", "HOLD", kStp}},
      {L::Information, Id::HoldingEnded, {"PelluxMONITOR - v1.0.0.0"}}}},
    {"END",
     [](auto& p) { p.files.AddFile(kStp, "x,End"); },
     Cycle,
     {{L::Information, Id::ControlFileEnd, {"END", kStp}},
      {L::Information, Id::Ended, {"PelluxMONITOR - ENDED", "control file END"}}}},
    {"controller button stops both and closes the port",
     [](auto& p) {
       p.processes.Add(8, kJavaw);
       p.processes.Add(24, kBridgeExe);
       p.controls.portText = "3";
     },
     [](Monitor& m, auto&) { m.OnProgramButtonClick(ProgramButton::CBPellux); },
     {{L::Information, Id::ButtonStopped, {kController.stopped, "Pellux.exe", "8"}},
      {L::Information, Id::ButtonStopped, {kBridge.stopped, "LINTARO.exe", "24"}},
      {L::Information, Id::SerialPortClosed, {"Cerrado el Puerto 3", "3"}}}},
    {"bridge button: stop does not take",
     [](auto& p) {
       p.processes.Add(24, kBridgeExe).terminable = false;
       p.controls.portText = "3";
     },
     [](Monitor& m, auto&) { m.OnProgramButtonClick(ProgramButton::CBLINTARO); },
     {{L::Information, Id::ButtonStillRunning, {kBridge.stillRunning, "LINTARO.exe", "24"}}}},
    {"the log takes no lines, then again; a stop within ten minutes is told once they have passed, and its end "
     "with its own count",
     [](auto& p) {
       p.files.AddFile(kLogFile);
       p.files.entries[kLogFile].readOnly = true;  // start-up's lines are not written
     },
     [](Monitor& m, auto& p) {
       Cycle(m, p);
       p.files.entries[kLogFile].readOnly = false;
       for (int i = 0; i < 2; ++i) Cycle(m, p);  // the first written, then told
       p.files.entries[kLogFile].readOnly = true;
       for (int i = 0; i < 2; ++i) Cycle(m, p);
       p.clock.ms += kRepeatReportSpacingMs;
       Cycle(m, p);
       p.files.entries[kLogFile].readOnly = false;
       for (int i = 0; i < 2; ++i) Cycle(m, p);  // three cycles of two lines lost
     },
     {{L::Warning, Id::LogTakesNoLines, {"The log file C:\\Monitor\\PelluxMONITOR.anc takes no lines", kLogFile}},
      {L::Information,
       Id::LogTakesLinesAgain,
       {"The log file C:\\Monitor\\PelluxMONITOR.anc takes lines again", kLogFile, "6"}},
      {L::Warning, Id::LogTakesNoLines, {"The log file C:\\Monitor\\PelluxMONITOR.anc takes no lines", kLogFile}},
      {L::Information,
       Id::LogTakesLinesAgain,
       {"The log file C:\\Monitor\\PelluxMONITOR.anc takes lines again", kLogFile, "6"}}}},
    {"controller button checks again",
     [](auto& p) {
       p.launcher.results = {5, 0};
     },
     [](Monitor& m, auto& p) {
       m.OnProgramButtonClick(ProgramButton::CBPellux);
       p.processes.Add(8, kJavaw);
       m.OnProgramButtonClick(ProgramButton::CBPellux);
     },
     {{L::Information, Id::ButtonFoundNotRunning, {kController.notStarted, "Pellux.exe"}},
      {L::Information, Id::ButtonFoundRunning, {kController.started, "Pellux.exe"}}}},
};

TEST(SystemEventsTest, EachOutcomeGivesItsEvent) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    fakes::FakePlatform p;
    p.files.AddFile(kController.installPath);
    p.files.AddFile(kBridge.installPath);
    c.before(p);
    Monitor monitor(p.platform());
    monitor.Start();
    if (c.act) {
      p.events.events.clear();
      c.act(monitor, p);
    }
    EXPECT_EQ(p.events.events, c.expected);
    for (const Event& e : p.events.events) EXPECT_EQ(e.strings.size(), KindOf(e.id).strings);
  }
}

// One hour of cycles on the fake clock, 3 s apart, then 15 minutes without
// a fault; each row says on which cycles which kinds occur. Per kind: the
// first occurrence is reported at once, at most 1 + 6 events reach the log in
// the hour, every summary has the kind's own level, and the counts of the
// reports and summaries add up to the occurrences.
TEST(SystemEventsTest, RepeatingFaultsAreHeldBackAndSummedUpWithoutFlooding) {
  using Occurs = std::function<std::vector<Id>(int cycle)>;
  const auto every = [](int n, Id id) {
    return [=](int c) { return c % n == 0 ? std::vector<Id>{id} : std::vector<Id>{}; };
  };
  struct Row {
    const char* name;
    Occurs occurs;
    std::map<Id, int> eventsInTheHour;
  };
  const Row kRows[] = {
      {"every cycle", every(1, Id::BridgeRelaunchFailed), {{Id::BridgeRelaunchFailed, 6}}},
      {"every 2nd cycle", every(2, Id::BridgeRelaunched), {{Id::BridgeRelaunched, 6}}},
      {"every 3rd cycle", every(3, Id::BridgeRelaunched), {{Id::BridgeRelaunched, 6}}},
      {"every 5th cycle", every(5, Id::BridgeTerminated), {{Id::BridgeTerminated, 6}}},
      {"a burst, then silence",
       [](int c) { return c < 20 ? std::vector<Id>{Id::BridgeTerminated} : std::vector<Id>{}; },
       {{Id::BridgeTerminated, 2}}},
      {"one lone occurrence",
       [](int c) { return c == 7 ? std::vector<Id>{Id::BridgeRelaunchFailed} : std::vector<Id>{}; },
       {{Id::BridgeRelaunchFailed, 1}}},
      {"two kinds interleaved",
       [](int c) { return std::vector<Id>{c % 2 == 0 ? Id::BridgeRelaunched : Id::BridgeTerminated}; },
       {{Id::BridgeRelaunched, 6}, {Id::BridgeTerminated, 6}}},
  };
  constexpr int kCyclesInAnHour = 1200;
  constexpr int kCyclesOfSilence = 300;
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    fakes::FakeSystemEventLog sink;
    fakes::FakeClock clock;
    SystemEvents events(sink, clock, BuiltInPrograms());
    std::map<Id, int> occurrences, reported, inTheHour;
    for (int c = 0; c < kCyclesInAnHour + kCyclesOfSilence; ++c, clock.ms += 3000) {
      for (const Id id : c < kCyclesInAnHour ? row.occurs(c) : std::vector<Id>{}) {
        const std::size_t before = sink.events.size();
        if (id == Id::BridgeTerminated) {
          events.BridgeTerminated(24);
        } else {
          events.BridgeRelaunched(id == Id::BridgeRelaunched ? 4000 : 0);
        }
        if (occurrences[id]++ == 0) {
          EXPECT_EQ(sink.events.size(), before + 1) << "the first at once";
        }
      }
      events.CycleDone();
      if (c == kCyclesInAnHour - 1)
        for (const Event& e : sink.events)
          ++inTheHour[e.id == Id::RepeatSummary ? static_cast<Id>(std::stoul(e.strings[1])) : e.id];
    }
    for (const Event& e : sink.events) {
      const bool summary = e.id == Id::RepeatSummary;
      const Id kind = summary ? static_cast<Id>(std::stoul(e.strings[1])) : e.id;
      EXPECT_EQ(e.level, KindOf(kind).level) << static_cast<int>(kind);
      reported[kind] += std::stoi(summary ? e.strings[2] : e.strings.back());
    }
    EXPECT_EQ(inTheHour, row.eventsInTheHour);
    EXPECT_EQ(reported, occurrences) << "nothing lost, nothing counted twice";
  }
}

// The span is ten minutes to the millisecond: an occurrence exactly then is
// reported at once with the count of what was held back, and leaves no
// summary behind; one a millisecond sooner is held back.
TEST(SystemEventsTest, AnOccurrenceExactlyASpanAfterTheReportIsANewReport) {
  for (const std::uint64_t after : {kRepeatReportSpacingMs - 1, kRepeatReportSpacingMs}) {
    SCOPED_TRACE(after);
    fakes::FakeSystemEventLog sink;
    fakes::FakeClock clock;
    SystemEvents events(sink, clock, BuiltInPrograms());
    const std::uint64_t reported = clock.ms;
    events.BridgeRelaunched(0);
    events.CycleDone();
    clock.ms += 3000;
    events.BridgeRelaunched(0);  // held back
    events.CycleDone();
    clock.ms = reported + after;
    events.BridgeRelaunched(0);
    events.CycleDone();
    if (after == kRepeatReportSpacingMs) {
      ASSERT_EQ(sink.Ids(), (std::vector<Id>{Id::BridgeRelaunchFailed, Id::BridgeRelaunchFailed}));
      EXPECT_EQ(sink.events[1].strings.back(), "2") << "the one held back and this one";
    } else {
      EXPECT_EQ(sink.Ids(), (std::vector<Id>{Id::BridgeRelaunchFailed}));
    }
  }
}

// What is held back when the monitor ends is told before its end event.
TEST(SystemEventsTest, HeldBackOccurrencesAreSummedUpAtTheEnd) {
  fakes::FakeSystemEventLog sink;
  fakes::FakeClock clock;
  SystemEvents events(sink, clock, BuiltInPrograms());
  for (int i = 0; i < 3; ++i, clock.ms += 3000) events.BridgeRelaunched(0);
  events.Ended(EndCause::CloseRequest);
  ASSERT_EQ(sink.Ids(), (std::vector<Id>{Id::BridgeRelaunchFailed, Id::RepeatSummary, Id::Ended}));
  EXPECT_EQ(sink.events[1], (Event{L::Error, Id::RepeatSummary, {"LINTARO.exe NO ARRANCO - RetVal: 0", "1021", "2"}}));
}

// The message table compiled into the exe carries every id with its symbol,
// and its text uses exactly the strings the event is written with.
TEST(SystemEventsTest, MessageFileAgreesWithTheTable) {
  std::ifstream file(PELLUX_EVENT_MESSAGES_MC);
  ASSERT_TRUE(file) << PELLUX_EVENT_MESSAGES_MC;
  std::stringstream text;
  text << file.rdbuf();
  const std::string mc = text.str();
  const std::regex message(R"(MessageId=(\d+)\s+SymbolicName=(\w+)\s+Language=English\s+([\s\S]*?)\n\.\n)");
  std::size_t found = 0;
  for (std::sregex_iterator m(mc.begin(), mc.end(), message), end; m != end; ++m, ++found) {
    const EventKind& kind = KindOf(static_cast<EventId>(std::stoul((*m)[1])));
    EXPECT_EQ((*m)[2].str(), kind.symbol);
    std::set<std::size_t> inserts;
    const std::string body = (*m)[3];
    const std::regex insert(R"(%(\d+))");
    for (std::sregex_iterator i(body.begin(), body.end(), insert); i != end; ++i) inserts.insert(std::stoul((*i)[1]));
    EXPECT_EQ(inserts.size(), kind.strings) << kind.symbol;
    EXPECT_EQ(inserts.empty() ? 0 : *inserts.rbegin(), kind.strings) << kind.symbol;
  }
  EXPECT_EQ(found, std::size(kEventKinds));
}

}  // namespace
}  // namespace pellux
