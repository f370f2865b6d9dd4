#pragma once
// Where the text of the system's answer about a command line lies. The answer
// is a counted string (its length in bytes, then the address of its
// characters) followed by the characters it points to; nothing in it is taken
// on trust. No platform header, so that it is checked natively.
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// The text of the limited query's answer, its bytes at answer (answerBytes of
// them, at the caller's address answerAddress), for a caller of wordBytes (4
// or 8): a counted string in the caller's layout (its length, then the
// address at the next word). A 32-bit caller asking about a 64-bit process
// may be handed the 64-bit layout instead, should the WOW64 layer pass the
// answer on as the kernel wrote it: read in the 32-bit layout its padding is
// a null address and refused, and it is taken in the 64-bit layout only where
// that address lies inside the answer just the same. Little-endian fields.
[[nodiscard]] inline std::optional<AnswerText> TextInEitherLayout(const unsigned char* answer, std::size_t answerBytes,
                                                                  std::uintptr_t answerAddress, std::size_t wordBytes) {
  const auto field = [answer](std::size_t at, std::size_t bytes) {
    std::uint64_t value = 0;
    std::memcpy(&value, answer + at, bytes);
    return value;
  };
  if (answerBytes < 2 * wordBytes) return std::nullopt;
  const std::size_t length = static_cast<std::size_t>(field(0, 2));
  const auto own = static_cast<std::uintptr_t>(field(wordBytes, wordBytes));
  const std::optional<AnswerText> text = TextInAnswer(answerAddress, answerBytes, 2 * wordBytes, own, length);
  if (text || wordBytes != 4 || answerBytes < 16) return text;
  const std::uint64_t wide = field(8, 8);
  if (static_cast<std::uintptr_t>(wide) != wide) return std::nullopt;  // beyond this build's addresses
  return TextInAnswer(answerAddress, answerBytes, 16, static_cast<std::uintptr_t>(wide), length);
}

}  // namespace pellux::win32
