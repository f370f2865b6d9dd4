#include "supervision/control_file.h"

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

ControlOutcome EvaluateControlFile(FileSystem& files, const std::string& firstFile,
                                   const std::string& programFolder,
                                   const std::string& appVersion) {
  // A directory of that name also passes the existence test; it then wins
  // over the program folder and, since it cannot be read, means normal.
  std::string path = firstFile;
  if (path.empty() || !files.Exists(path)) {
    path = programFolder + "\\" + kControlFileName;
    if (!files.Exists(path)) return Normal(appVersion);
  }

  // The writer may hold the file open, or it may be huge: only its head is
  // read, and a file that cannot be read at all says nothing.
  const std::optional<std::string> head = files.ReadHead(path, kControlFileReadLimit);
  if (!head) return Normal(appVersion);
  const std::vector<std::string> fields =
      ReadFirstTwoFields(std::string_view(*head).substr(0, kControlFileReadLimit));
  if (fields.size() < 2) return Normal(appVersion);

  const std::string command = Upper(fields[1]);
  ControlOutcome outcome = Normal(appVersion);
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
