#include "process/other_sessions.h"

#include <algorithm>

#include "common/upper_case.h"

namespace pellux {

std::optional<SessionId> OtherSessionsLook::OtherSessionRunning(const std::string& name,
                                                                const std::function<bool(SessionId)>& counts) {
  std::vector<ProcessEntry> entries;
  if (name.empty()) return std::nullopt;
  othersSeen_ = table_.ListFamilies(&entries);
  SnapshotHad(othersSeen_);
  if (!othersSeen_) return std::nullopt;
  const SessionId own = table_.CurrentSession();
  const bool controller = controller_.IsRunningName(name);
  for (const ProcessEntry& entry : entries) {
    if (entry.session == own || !NameEndsWith(entry.exeName, name) || (counts && !counts(entry.session))) continue;
    if (controller && !CountsAsController(entry.id)) continue;
    return entry.session;
  }
  return std::nullopt;
}

bool OtherSessionsLook::CountsAsController(std::int32_t id) {
  // The creation time through a limited handle, so that the answer is kept
  // for that very process; unknown, it is asked again next time.
  std::uint64_t created = 0;
  if (const ProcessHandle handle = table_.Open(kAccessQueryLimited, false, id); handle != 0) {
    (void)table_.CreationTime(handle, &created);
    (void)table_.Close(handle);  // nothing to do about a failed close
  }
  return controller_.Counts(id, created, {});
}

std::vector<SessionId> OtherSessionsLook::OtherSessions() {
  std::vector<SessionId> sessions;
  othersSeen_ = table_.ListSessions(&sessions_);
  SnapshotHad(othersSeen_);
  if (!othersSeen_) return sessions;
  const SessionId own = table_.CurrentSession();
  for (const ProcessSession& listed : sessions_)
    if (listed.session != own) sessions.push_back(listed.session);
  std::sort(sessions.begin(), sessions.end());
  sessions.erase(std::unique(sessions.begin(), sessions.end()), sessions.end());
  return sessions;
}

}  // namespace pellux
