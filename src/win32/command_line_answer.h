#pragma once
// Where the text of the system's answer about a command line lies. The answer
// is a counted string (its length in bytes, then the address of its
// characters) followed by the characters it points to; nothing in it is taken
// on trust. No platform header, so that it is checked natively.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace pellux::win32 {

// The text's place in the answer: its first byte's offset from the answer's
// start, and its length in bytes.
struct AnswerText {
  std::size_t offset = 0;
  std::size_t bytes = 0;
};

// The text of an answer of answerBytes bytes at answer, whose counted string
// (headerBytes long, at the answer's start) says its characters begin at
// buffer and take lengthBytes bytes. Nothing (an unreadable command line)
// when the answer is shorter than its counted string, the address is null,
// the characters do not lie inside the answer after the counted string, or
// the length runs past its end or splits a character.
[[nodiscard]] inline std::optional<AnswerText> TextInAnswer(std::uintptr_t answer, std::size_t answerBytes,
                                                            std::size_t headerBytes, std::uintptr_t buffer,
                                                            std::size_t lengthBytes) {
  if (answerBytes < headerBytes || buffer == 0 || lengthBytes % 2 != 0) return std::nullopt;
  if (buffer < answer || buffer - answer < headerBytes || buffer - answer > answerBytes) return std::nullopt;
  const std::size_t offset = buffer - answer;
  if (lengthBytes > answerBytes - offset) return std::nullopt;
  return AnswerText{offset, lengthBytes};
}

}  // namespace pellux::win32
