#include "log/log_file.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

namespace pellux {

namespace {

// "00" to "99", for the two-digit fields of a stamp.
struct TwoDigits {
  char text[200] = {};
  constexpr TwoDigits() {
    for (std::size_t i = 0; i < 100; ++i) {
      text[2 * i] = static_cast<char>('0' + i / 10);
      text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr TwoDigits kTwoDigits;

// Writes value as "%0*d" writes it with that width, at to; gives the end.
// Written out: a scan with logging on stamps a line for every process it
// visits. The fields of a date and a time go two digits at a time.
char* PutPadded(char* to, int value, int width) {
  const auto pair = [](int twoDigits) {
    return kTwoDigits.text + std::size_t{2} * static_cast<std::size_t>(twoDigits);
  };
  if (value >= 0 && value < 100 && width == 2) return std::copy_n(pair(value), 2, to);
  if (value >= 0 && value < 10000 && width == 4)
    return std::copy_n(pair(value % 100), 2, std::copy_n(pair(value / 100), 2, to));
  if (value < 0) return to + std::snprintf(to, 16, "%0*d", width, value);
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int pad = count; pad < width; ++pad) *to++ = '0';
  while (count > 0) *to++ = digits[--count];
  return to;
}

}  // namespace

std::string FormatLogLine(const LocalTime& when, const std::string& text) {
  char stamp[96];  // room for six numbers of any size
  char* end = stamp;
  *end++ = '#';
  end = PutPadded(end, when.year, 4);
  *end++ = '-';
  end = PutPadded(end, when.month, 2);
  *end++ = '-';
  end = PutPadded(end, when.day, 2);
  // Exactly midnight: the date alone between the number signs.
  if (when.hour != 0 || when.minute != 0 || when.second != 0) {
    *end++ = ' ';
    end = PutPadded(end, when.hour, 2);
    *end++ = ':';
    end = PutPadded(end, when.minute, 2);
    *end++ = ':';
    end = PutPadded(end, when.second, 2);
  }
  constexpr std::string_view kOpen = "#,\"";
  constexpr std::string_view kClose = "\"\r\n";
  std::string line(static_cast<std::size_t>(end - stamp) + kOpen.size() + text.size() + kClose.size(), '\0');
  char* to = std::copy(stamp, end, line.data());
  to = std::copy(kOpen.begin(), kOpen.end(), to);
  to = std::copy(text.begin(), text.end(), to);
  std::copy(kClose.begin(), kClose.end(), to);
  return line;
}

std::string RolledLogFile(const std::string& path) {
  const std::size_t name = path.find_last_of("\\/:");
  const std::size_t dot = path.rfind('.');
  // A dot at the start of the name (".anc") begins no extension.
  const std::size_t nameStart = name == std::string::npos ? 0 : name + 1;
  if (dot == std::string::npos || dot <= nameStart) return path + ".1";
  return path.substr(0, dot) + ".1" + path.substr(dot);
}

std::string DroppedLinesText(std::uint64_t count) {
  return "LOG LLENO - " + std::to_string(count) + " Lineas NO Escritas!!!";
}

LogFileWriter::LogFileWriter(std::string path, std::uint64_t limitBytes)
    : path_(std::move(path)), rolled_(RolledLogFile(path_)), limit_(limitBytes) {}

std::string CutBytesText(std::uint64_t bytes) {
  return "LOG LLENO - " + std::to_string(bytes) + " Bytes Anteriores Borrados!!!";
}

void LogFileWriter::Write(FileSystem& files, const std::vector<LogLine>& lines, std::uint64_t droppedBefore) {
  dropped_ += droppedBefore;
  // A share that hangs would hold each call in turn: none begins once the
  // monitor has let the write go.
  if (cancelled_) return;
  // Asked once a batch, so a file deleted or emptied by someone else between
  // batches is taken as it now is.
  std::uint64_t size = files.FileSize(path_).value_or(0);
  std::string out;             // what the next write puts in the file
  std::uint64_t outLines = 0;  // the batch's lines in out
  bool begin = false;          // out is the whole of the live file, begun again
  bool rollRefused = false;
  // Writes out: at the end of the live file, or as the whole of it once
  // begun again. False when cancelled.
  const auto flush = [&] {
    if (out.empty()) return true;
    if (cancelled_) return false;
    const bool written = begin ? files.Overwrite(path_, out) : files.Append(path_, out);
    if (written) {
      size += out.size();
      dropped_ = 0;  // told at the head of out
    } else {
      dropped_ += outLines;
      lost_ += outLines;
    }
    takesLines_ = written;
    out.clear();
    outLines = 0;
    begin = false;
    return true;
  };
  for (const LogLine& line : lines) {
    // An empty file is not rolled over, however long the line that follows.
    if (size + out.size() + line.bytes.size() > limit_ && size + out.size() > 0 && !rollRefused) {
      // What fits still goes into the file that is about to be rolled over.
      if (!flush() || cancelled_) return;
      if (files.Replace(path_, rolled_)) {
        size = 0;
      } else {
        rollRefused = true;  // tried again with the next batch
      }
    }
    // The rename stays refused and the live file is full: it is begun again,
    // the newest lines kept and the oldest cut. A batch that alone passes
    // twice the limit is written first, then cut as the rest.
    if (rollRefused && size + out.size() + line.bytes.size() > 2 * limit_ && size + out.size() > 0) {
      if (size == 0 && !flush()) return;
      if (size > 0) {
        out.insert(0, FormatLogLine(line.when, CutBytesText(size)));
        begin = true;
        size = 0;  // cut, or, when refused, asked for again with the next batch
      }
    }
    // Only the cut's own line may stand before it.
    if (outLines == 0 && dropped_ > 0) out += FormatLogLine(line.when, DroppedLinesText(dropped_));
    out += line.bytes;
    ++outLines;
  }
  // The new live file is begun at once, so that logging stays on at the
  // next start.
  (void)flush();
}

}  // namespace pellux
