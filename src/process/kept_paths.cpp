#include "process/kept_paths.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "process/process_path.h"

namespace pellux {
namespace {

constexpr std::int32_t kAccessDenied = 5;

// Appends when a kept path was read, as the log stamps its lines.
void AppendStamp(std::string& line, const LocalTime& when) {
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month, when.day,
                              when.hour, when.minute, when.second);
  if (n > 0) line.append(text, std::min(static_cast<std::size_t>(n), sizeof text - 1));
}

}  // namespace

void KeptPaths::KeepListed(const std::vector<ProcessSession>& snapshot, SessionId own) {
  own_.clear();
  for (const ProcessSession& listed : snapshot)
    if (listed.session == own) own_.push_back(listed);
  std::sort(own_.begin(), own_.end(), [](const ProcessSession& a, const ProcessSession& b) { return a.id < b.id; });
  // Both lists are sorted by id: one pass carries over what is still listed.
  keptNext_.clear();
  auto kept = kept_.begin();
  for (const ProcessSession& listed : own_) {
    while (kept != kept_.end() && kept->id < listed.id) ++kept;
    if (kept != kept_.end() && kept->id == listed.id && kept->created == listed.created && listed.created != 0) {
      keptNext_.push_back(std::move(*kept));
    } else {
      keptNext_.push_back({listed.id, listed.created, KeptPath::State::Unread, {}});
    }
  }
  kept_.swap(keptNext_);
}

std::optional<std::string_view> KeptPaths::PathOf(const ProcessSession& listed, bool logging) {
  KeptPath& kept = *std::lower_bound(kept_.begin(), kept_.end(), listed.id,
                                     [](const KeptPath& k, std::int32_t id) { return k.id < id; });
  if (kept.state == KeptPath::State::Refused) return std::nullopt;
  if (kept.state == KeptPath::State::Read) {
    if (logging) {
      line_.assign(kept.path).append(" - DESDE ");
      AppendStamp(line_, kept.readAt);
      line_.append(" - ").append(std::to_string(kept.handle));
      log_.WriteLogLine(line_);
    }
    return std::string_view(kept.path);
  }
  std::optional<std::string_view> read;
  ProcessHandle readThrough = 0;
  {
    HandleGuard handle(table_, 0);
    read = ReadPath(table_, handle, listed.id, path_);
    if (!read) {
      // Refused both ways by its access list: so it stays for its life.
      if (handle.get() == 0 && table_.LastError() == kAccessDenied) kept.state = KeptPath::State::Refused;
      return std::nullopt;
    }
    if (!IsListed(table_, handle.get(), listed.created)) return std::nullopt;
    readThrough = handle.get();
  }
  if (logging) {
    line_.assign(*read).append(" - ").append(std::to_string(readThrough));
    log_.WriteLogLine(line_);
  }
  if (!read->empty() && listed.created != 0) {
    kept.path.assign(*read);
    kept.state = KeptPath::State::Read;
    kept.handle = readThrough;
    if (logging) kept.readAt = log_.Now();
  }
  return read;
}

}  // namespace pellux
