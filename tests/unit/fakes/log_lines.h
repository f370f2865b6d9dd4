#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "log/event_log.h"

namespace pellux::fakes {

// One line of the log as written: the stamp between its number signs, and
// the text without its quotes (carriage returns inside it kept).
struct LoggedLine {
  std::string stamp;
  std::string text;
};

inline std::vector<LoggedLine> ParseLog(const std::string& contents) {
  std::vector<LoggedLine> lines;
  std::size_t pos = 0;
  while (pos < contents.size()) {
    const std::size_t open = contents.find(",\"", pos);
    const std::size_t end = contents.find("\"\r\n", pos);
    if (open == std::string::npos || end == std::string::npos || end < open) break;
    lines.push_back({contents.substr(pos, open - pos), contents.substr(open + 2, end - open - 2)});
    pos = end + 3;
  }
  return lines;
}

// The texts of the log, the banner left out.
inline std::vector<std::string> LogTextsAfterBanner(const std::string& contents) {
  std::vector<std::string> texts;
  for (const LoggedLine& line : ParseLog(contents))
    if (!(texts.empty() && line.text == kLogBanner)) texts.push_back(line.text);
  return texts;
}

}  // namespace pellux::fakes
