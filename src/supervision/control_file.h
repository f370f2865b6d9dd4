#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "log/system_events.h"
#include "platform/file_system.h"
#include "programs/settings.h"

namespace pellux {

inline constexpr char kControlFileName[] = "Pellux.stp";
inline constexpr const char* kControlFileOnD = kBuiltInControlFile;
// Only the head of the file is read: the two fields never need more.
inline constexpr std::size_t kControlFileReadLimit = std::size_t{64} * 1024;
// A location that may block (a share, a network drive) is looked at off the
// window's thread; the cycle waits this long for the answer, so that a share
// that has gone never freezes the window.
inline constexpr std::uint32_t kControlFileLookWaitMs = 500;

// A look at a location that may block, and whether it answered in time.
struct DistantLocation {
  std::string path;
  bool answered = false;
  bool operator==(const DistantLocation& o) const { return path == o.path && answered == o.answered; }
};

// The looks at locations that may block, from one cycle to the next: at
// most one per path is ever outstanding, however long the network keeps it.
// A look that did not answer within the wait stays out; the first cycle
// that finds it answered uses its answer and starts the next look, so a
// share that always answers late still delivers.
class DistantLooks {
 public:
  explicit DistantLooks(FileSystem& files) : files_(files) {}
  ~DistantLooks() { CancelAll(); }
  DistantLooks(const DistantLooks&) = delete;
  DistantLooks& operator=(const DistantLooks&) = delete;

  // This cycle's answer for path: a fresh look's when it answers within
  // waitMs, else the late answer of the look the last cycle left out, else
  // Unanswered (at once, starting nothing, while that look is still out).
  [[nodiscard]] DistantLook Look(const std::string& path, std::size_t maxBytes, std::uint32_t waitMs);

  // Cancels every look still out: the monitor's end.
  void CancelAll();

 private:
  FileSystem& files_;
  std::map<std::string, LookId> pending_;
};

// What the control file asks of this cycle.
struct ControlOutcome {
  bool end = false;  // "END": the program ends at once
  int picture = 0;   // tray picture index
  std::string tip;   // tray tip, ending with one NUL
  ControlState state = ControlState::Normal;
  std::string command;  // the second field upper-cased, when one was read
  std::string file;     // the control file that was read, when there is one
  // The locations that may block looked at this cycle, in order. One that did
  // not answer in time counted as no file.
  std::vector<DistantLocation> distant;
};

// The first two fields (at most) of content read as the event log writes a
// record: fields end at a comma or a line end; a quoted field is taken
// without its quotes.
[[nodiscard]] std::vector<std::string> ReadFirstTwoFields(std::string_view content);

// Reads firstFile or else the program folder's "Pellux.stp" and turns its
// second field into the cycle's outcome. An empty firstFile leaves only the
// program folder's. A location that may block is looked at through looks,
// waiting at most kControlFileLookWaitMs; every other one as it always was,
// on the caller's thread.
[[nodiscard]] ControlOutcome EvaluateControlFile(FileSystem& files, DistantLooks& looks, const std::string& firstFile,
                                                 const std::string& programFolder, const std::string& appVersion);

// The same with "D:\Pellux.stp" read first, for one evaluation alone.
[[nodiscard]] inline ControlOutcome EvaluateControlFile(FileSystem& files, const std::string& programFolder,
                                                        const std::string& appVersion) {
  DistantLooks looks(files);
  return EvaluateControlFile(files, looks, kControlFileOnD, programFolder, appVersion);
}

}  // namespace pellux
