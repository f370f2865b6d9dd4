#include "supervision/control_file.h"

#include <optional>
#include <utility>

#include "common/upper_case.h"
#include "tray/tray_icon.h"

namespace pellux {

namespace {

constexpr int kNormalPicture = 0;
constexpr int kHoldingPicture = 4;

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsFieldEnd(char c) { return c == ',' || IsLineEnd(c); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Steps over the delimiter at pos (a comma, CR, LF or CR LF), if any.
std::size_t SkipDelimiter(std::string_view content, std::size_t pos) {
  if (pos >= content.size()) return pos;
  if (content[pos] == '\r' && pos + 1 < content.size() && content[pos + 1] == '\n') return pos + 2;
  return pos + 1;
}

ControlOutcome Normal(const std::string& appVersion) {
  ControlOutcome outcome;
  outcome.picture = kNormalPicture;
  outcome.tip = VersionTip(appVersion);
  return outcome;
}

}  // namespace

std::vector<std::string> ReadFirstTwoFields(std::string_view content) {
  std::vector<std::string> fields;
  std::size_t pos = 0;
  while (fields.size() < 2 && pos < content.size()) {
    // Blanks before a field are dropped, so a quote after them still opens
    // a quoted field; blanks inside quotes are kept.
    while (pos < content.size() && IsBlank(content[pos])) ++pos;
    if (pos < content.size() && content[pos] == '"') {
      const std::size_t open = pos + 1;
      std::size_t close = content.find('"', open);
      // An unterminated quote runs to the end of what was read.
      if (close == std::string_view::npos) close = content.size();
      fields.emplace_back(content.substr(open, close - open));
      pos = close < content.size() ? close + 1 : close;
      // Anything between the closing quote and the delimiter is not part of
      // the field.
      while (pos < content.size() && !IsFieldEnd(content[pos])) ++pos;
    } else {
      const std::size_t start = pos;
      while (pos < content.size() && !IsFieldEnd(content[pos])) ++pos;
      std::size_t end = pos;
      while (end > start && IsBlank(content[end - 1])) --end;
      fields.emplace_back(content.substr(start, end - start));
    }
    pos = SkipDelimiter(content, pos);
  }
  return fields;
}

namespace {

// What one location gave: whether something is there and, for a location
// that may block, its head, read by the same look.
struct LocationLook {
  bool present = false;
  bool headRead = false;
  std::optional<std::string> head;
};

LocationLook LookAt(FileSystem& files, DistantLooks& looks, const std::string& path,
                    std::vector<DistantLocation>& distant) {
  if (!files.MayBlock(path)) return {files.Exists(path), false, std::nullopt};
  DistantLook look = looks.Look(path, kControlFileReadLimit, kControlFileLookWaitMs);
  distant.push_back({path, look.answer != LookAnswer::Unanswered});
  // Unanswered counts as absent for this cycle: the next location is looked
  // at, and the cycle goes on.
  return {look.answer == LookAnswer::Present, true, std::move(look.head)};
}

}  // namespace

DistantLook DistantLooks::Look(const std::string& path, std::size_t maxBytes, std::uint32_t waitMs) {
  std::optional<DistantLook> late;
  if (const auto out = pending_.find(path); out != pending_.end()) {
    // Still held by the network: no second look.
    if (!files_.LookAnswered(out->second, 0)) return {};
    late = files_.TakeLook(out->second);
    pending_.erase(out);
  }
  const LookId look = files_.StartLook(path, maxBytes);
  if (look == 0) return late.value_or(DistantLook{});
  if (files_.LookAnswered(look, waitMs)) return files_.TakeLook(look);
  pending_.emplace(path, look);
  return late.value_or(DistantLook{});
}

void DistantLooks::CancelAll() {
  for (const auto& [path, look] : pending_) files_.CancelLook(look);
  pending_.clear();
}

ControlOutcome EvaluateControlFile(FileSystem& files, DistantLooks& looks, const std::string& firstFile,
                                   const std::string& programFolder, const std::string& appVersion) {
  std::vector<DistantLocation> distant;
  // Called once on every way out, after the last look.
  const auto normal = [&] {
    ControlOutcome outcome = Normal(appVersion);
    outcome.distant = std::move(distant);
    return outcome;
  };
  // A directory of that name also passes the existence test; it then wins
  // over the program folder and, since it cannot be read, means normal.
  std::string path = firstFile;
  LocationLook look;
  if (!path.empty()) look = LookAt(files, looks, path, distant);
  if (!look.present) {
    path = programFolder + "\\" + kControlFileName;
    look = LookAt(files, looks, path, distant);
    if (!look.present) return normal();
  }

  // The writer may hold the file open, or it may be huge: only its head is
  // read, and a file that cannot be read at all says nothing.
  const std::optional<std::string> head = look.headRead ? look.head : files.ReadHead(path, kControlFileReadLimit);
  if (!head) return normal();
  const std::vector<std::string> fields = ReadFirstTwoFields(std::string_view(*head).substr(0, kControlFileReadLimit));
  if (fields.size() < 2) return normal();

  const std::string command = Upper(fields[1]);
  ControlOutcome outcome = normal();
  if (command == "STOP" || command == "HOLD") {
    outcome.picture = kHoldingPicture;
    outcome.tip = kHoldingTip;
    outcome.state = ControlState::Holding;
  } else if (command == "END") {
    outcome.end = true;
    outcome.tip.clear();
    outcome.state = ControlState::End;
  }
  outcome.command = command;
  outcome.file = path;
  return outcome;
}

}  // namespace pellux
