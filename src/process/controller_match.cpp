#include "process/controller_match.h"

#include <optional>

#include "common/path_buffer.h"
#include "common/scope_exit.h"
#include "common/upper_case.h"

namespace pellux {
namespace {

// The executable's path through a handle, or nothing.
std::optional<std::string> ImagePathOf(ProcessTable& table, ProcessHandle handle) {
  std::string path(kLongestPath, '\0');
  const std::uint32_t copied = table.ImagePath(handle, path.data(), kLongestPath);
  if (copied == 0 || copied >= kLongestPath) return std::nullopt;
  path.resize(copied);
  return path;
}

}  // namespace

void ControllerMatch::Set(const std::string& runningName, const std::string& stopName, const std::string& text) {
  runningName_ = runningName;
  stopName_ = stopName;
  upperText_ = UpperText(text);
  known_.clear();
}

bool ControllerMatch::Holds(std::string_view text) const {
  return UpperText(text).find(upperText_) != std::string::npos;
}

ControllerAnswer ControllerMatch::Answer(std::int32_t id, std::uint64_t created, std::string_view path) {
  if (!On()) return ControllerAnswer::Yes;
  // Without a creation time the process cannot be told from a later holder
  // of its id: it is decided afresh, and neither a kept answer is used nor
  // its own kept.
  if (created == 0) return Decide(id, path);
  for (Kept& known : known_) {
    if (known.id != id) continue;
    if (known.created == created) return known.answer;
    known = {id, created, Decide(id, path)};  // the id given to a new process
    return known.answer;
  }
  const ControllerAnswer answer = Decide(id, path);
  known_.push_back({id, created, answer});
  return answer;
}

ControllerAnswer ControllerMatch::Decide(std::int32_t id, std::string_view path) {
  std::string ownPath;
  std::optional<std::string> commandLine;
  // The least rights first: a limited handle reads the path, and the command
  // line where the system answers that question (Windows 8.1 and later);
  // elsewhere only a handle that may read the process's memory does.
  for (const std::uint32_t access : {kAccessQueryLimited, kAccessRead}) {
    const ProcessHandle handle = table_.Open(access, false, id);
    if (handle == 0) continue;
    const ScopeExit close([&] { (void)table_.Close(handle); });  // nothing to do about a failed close
    if (path.empty() && ownPath.empty()) {
      if (std::optional<std::string> read = ImagePathOf(table_, handle)) ownPath = std::move(*read);
    }
    const std::string_view known = path.empty() ? std::string_view(ownPath) : path;
    if (!known.empty() && Holds(known)) return ControllerAnswer::Yes;
    std::string line;
    if (table_.CommandLine(handle, &line)) {
      commandLine = std::move(line);
      break;
    }
  }
  if (commandLine) return Holds(*commandLine) ? ControllerAnswer::Yes : ControllerAnswer::No;
  const std::string_view known = path.empty() ? std::string_view(ownPath) : path;
  // Neither path nor command line (another user's process refuses every
  // open): nothing tells it apart, and its name decides, as without the text.
  if (known.empty()) return ControllerAnswer::Unknown;
  // The path does not hold the text and the command line cannot be read (an
  // elevated controller on Windows 7, a 64-bit one seen from the 32-bit
  // monitor where Windows lacks the WOW64 reads): it may well be the controller, so it is kept as one and never
  // ended as one.
  const std::string text = "NO se Pudo Leer la Linea de Comandos de '" + std::string(known) + "' (" +
                           std::to_string(id) + "): Cuenta como Controlador, NO se Detiene";
  log_.WriteLogLine(text);
  if (undecided_) undecided_(text, std::string(known), id);
  return ControllerAnswer::Unknown;
}

}  // namespace pellux
