#include "process/launched_programs.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "common/upper_case.h"

namespace pellux {
namespace {

constexpr std::string_view kVersionLine = "PelluxMONITOR launched 1\n";
constexpr std::string_view kEndWord = "end ";
// Far more than a whole record; anything longer is not one.
constexpr std::size_t kLongestRecord = 256;
constexpr std::uint32_t kStillActive = 259;

// FNV-1a over the bytes: enough to tell a damaged record from a whole one.
std::uint32_t Checksum(std::string_view bytes) {
  std::uint32_t hash = 2166136261u;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

void AppendProcess(std::string& out, const char* name, const RecordedProcess& p) {
  out.append(name).append(" ").append(std::to_string(p.id)).append(" ");
  out.append(std::to_string(p.created)).append("\n");
}

// A decimal number of digits only, nothing before or after it.
template <typename Number>
bool ParseNumber(std::string_view text, Number* value) {
  if (text.empty() || text.size() > 20) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

// Takes the next line (without its LF) from rest; false when none is left whole.
bool NextLine(std::string_view& rest, std::string_view* line) {
  const std::size_t lf = rest.find('\n');
  if (lf == std::string_view::npos) return false;
  *line = rest.substr(0, lf);
  rest.remove_prefix(lf + 1);
  return true;
}

bool ParseProcess(std::string_view& rest, std::string_view name, RecordedProcess* p) {
  std::string_view line;
  if (!NextLine(rest, &line) || line.substr(0, name.size()) != name) return false;
  line.remove_prefix(name.size());
  if (line.empty() || line.front() != ' ') return false;
  line.remove_prefix(1);
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return false;
  if (!ParseNumber(line.substr(0, blank), &p->id) || !ParseNumber(line.substr(blank + 1), &p->created)) return false;
  // Either a process with both its id and its creation time, or none at all.
  return p->Known() || (p->id == 0 && p->created == 0);
}

}  // namespace

std::string FormatLaunchRecord(const LaunchedSet& launched) {
  std::string out(kVersionLine);
  AppendProcess(out, "bridge", launched.bridge);
  AppendProcess(out, "launcher", launched.launcher);
  AppendProcess(out, "javaw", launched.javaw);
  const std::uint32_t sum = Checksum(out);
  out.append(kEndWord).append(std::to_string(sum)).append("\n");
  return out;
}

std::optional<LaunchedSet> ParseLaunchRecord(std::string_view bytes) {
  if (bytes.size() > kLongestRecord || bytes.substr(0, kVersionLine.size()) != kVersionLine) return std::nullopt;
  std::string_view rest = bytes.substr(kVersionLine.size());
  LaunchedSet launched;
  if (!ParseProcess(rest, "bridge", &launched.bridge) || !ParseProcess(rest, "launcher", &launched.launcher) ||
      !ParseProcess(rest, "javaw", &launched.javaw))
    return std::nullopt;
  const std::size_t body = bytes.size() - rest.size();
  std::string_view line;
  std::uint32_t sum = 0;
  if (!NextLine(rest, &line) || !rest.empty() || line.substr(0, kEndWord.size()) != kEndWord ||
      !ParseNumber(line.substr(kEndWord.size()), &sum) || sum != Checksum(bytes.substr(0, body)))
    return std::nullopt;
  return launched;
}

LaunchedSet LaunchedPrograms::ReadRecord() {
  // Kept as this monitor's own until it launches anew, so that a record
  // written half-way through the start still names what runs.
  const std::optional<std::string> stored = store_.Read();
  const std::optional<LaunchedSet> parsed = stored ? ParseLaunchRecord(*stored) : std::nullopt;
  recorded_ = parsed.has_value();
  current_ = parsed.value_or(LaunchedSet{});
  return current_;
}

void LaunchedPrograms::Record(const LaunchedSet& launched) {
  current_ = launched;
  // A record that could not be written only costs a later monitor its
  // adoption: it launches the programs as a first start does.
  (void)store_.Write(FormatLaunchRecord(current_));
}

void LaunchedPrograms::RecordBridge(const RecordedProcess& bridge) {
  LaunchedSet next = current_;
  next.bridge = bridge;
  Record(next);
}

void LaunchedPrograms::RecordLauncher(const RecordedProcess& launcher) {
  LaunchedSet next = current_;
  next.launcher = launcher;
  next.javaw = {};
  Record(next);
}

void LaunchedPrograms::RecordJavaw(const RecordedProcess& javaw) {
  LaunchedSet next = current_;
  next.javaw = javaw;
  Record(next);
}

std::optional<std::uint64_t> LaunchedPrograms::CreatedIfRunning(std::int32_t id) {
  if (id <= 0) return std::nullopt;
  const ProcessHandle handle = table_.Open(kAccessQueryLimited, false, id);
  if (handle == 0) return std::nullopt;
  std::uint64_t created = 0;
  std::uint32_t exitCode = 0;
  // An ended process can still be opened while anyone holds a handle to it.
  const bool running = table_.CreationTime(handle, &created) && table_.ExitCode(handle, &exitCode) &&
                       exitCode == kStillActive;
  (void)table_.Close(handle);  // nothing to do about a failed close
  if (!running) return std::nullopt;
  return created;
}

bool LaunchedPrograms::Counts(const std::string& name, std::int32_t id, std::uint64_t created) {
  return controller_ == nullptr || !controller_->IsRunningName(name) || controller_->Counts(id, created, {});
}

bool LaunchedPrograms::StillRuns(const RecordedProcess& process) {
  if (!process.Known()) return false;
  const std::optional<std::uint64_t> created = CreatedIfRunning(process.id);
  return created && *created == process.created;
}

std::optional<std::string> LaunchedPrograms::RunningName(const RecordedProcess& process) {
  if (!StillRuns(process)) return std::nullopt;
  std::vector<ProcessEntry> entries;
  if (!table_.ListFamilies(&entries)) return std::nullopt;
  for (const ProcessEntry& entry : entries)
    if (entry.id == process.id) return entry.exeName;
  return std::nullopt;
}

RecordedProcess LaunchedPrograms::StartedBy(const RecordedProcess& parent, const std::string& name) {
  if (!parent.Known() || name.empty()) return {};
  std::vector<ProcessEntry> entries;
  if (!table_.ListFamilies(&entries)) return {};
  // A parent's id given to a later process: only what was started before
  // that process began can be the parent's.
  const std::optional<std::uint64_t> holder = CreatedIfRunning(parent.id);
  const std::uint64_t before = holder && *holder != parent.created ? *holder : UINT64_MAX;
  const SessionId own = table_.CurrentSession();
  RecordedProcess found;
  for (const ProcessEntry& entry : entries) {
    if (entry.session != own || entry.parentId != parent.id || entry.id == parent.id) continue;
    if (!NameEndsWith(entry.exeName, name)) continue;
    const std::optional<std::uint64_t> created = CreatedIfRunning(entry.id);
    if (!created || *created < parent.created || *created >= before || !Counts(name, entry.id, *created)) continue;
    if (!found.Known() || *created < found.created) found = {entry.id, *created};
  }
  return found;
}

RecordedProcess LaunchedPrograms::RunningInSession(const std::string& name) {
  std::vector<ProcessEntry> entries;
  if (name.empty() || !table_.ListFamilies(&entries)) return {};
  const SessionId own = table_.CurrentSession();
  for (const ProcessEntry& entry : entries) {
    if (entry.session != own || !NameEndsWith(entry.exeName, name)) continue;
    const std::optional<std::uint64_t> created = CreatedIfRunning(entry.id);
    if (created && Counts(name, entry.id, *created)) return {entry.id, *created};
  }
  return {};
}

}  // namespace pellux
