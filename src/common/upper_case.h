#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace pellux {

// Upper case by the C locale, as the control file's commands are compared:
// ASCII letters only, every other byte as it is. Written out rather than
// through toupper, which a scan calls for every byte of every path.
[[nodiscard]] constexpr char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

[[nodiscard]] inline std::string Upper(std::string text) {
  for (char& c : text) c = Upper(c);
  return text;
}

// The capital of a letter written with two bytes in UTF-8 (U+0080 to
// U+07FF): Latin-1, Latin Extended-A, Greek and Cyrillic, as Windows
// compares file names; anything else as it is. Always two bytes again.
[[nodiscard]] constexpr std::uint32_t UpperTwoByteLetter(std::uint32_t c) {
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  const bool odd = (c & 1) != 0;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return odd ? c - 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return odd ? c : c - 1;
  if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : c - 0x20;  // final sigma
  if (c == 0x3AC) return 0x386;                                        // the Greek vowels with tonos
  if ((c >= 0x3AD && c <= 0x3AF)) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

// A UTF-8 text (a path, a program's name) upper-cased as the system compares
// file names into out, whose storage is reused (text must not lie in out):
// the ASCII letters and the two-byte letters above. Every letter keeps its
// length in bytes, so a text and its capitals line up byte by byte.
inline void UpperTextInto(std::string_view text, std::string& out) {
  const std::size_t size = text.size();
  out.resize(size);
  const char* const from = text.data();
  char* const to = out.data();
  std::size_t i = 0;
  // Eight bytes at a time while they are all ASCII, as most of a path is:
  // a byte from 'a' to 'z' loses its 0x20 bit. Adding to a byte below 0x80
  // never carries into the next one.
  constexpr std::uint64_t kEach = 0x0101010101010101ULL;
  constexpr std::uint64_t kHigh = kEach * 0x80;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, from + i, 8);
    if ((word & kHigh) != 0) break;                               // a longer letter: byte by byte from here
    const std::uint64_t fromA = word + kEach * (0x80 - 'a');      // high bit: the byte is 'a' or above
    const std::uint64_t pastZ = word + kEach * (0x80 - 'z' - 1);  // high bit: the byte is above 'z'
    word ^= (fromA & ~pastZ & kHigh) >> 2;
    std::memcpy(to + i, &word, 8);
  }
  for (; i < size; ++i) {
    to[i] = Upper(from[i]);  // any byte but an ASCII letter as it is
    const auto lead = static_cast<unsigned char>(from[i]);
    if (lead < 0xC2 || lead > 0xDF || i + 1 >= size) continue;
    const auto next = static_cast<unsigned char>(from[i + 1]);
    if ((next & 0xC0) != 0x80) continue;
    const std::uint32_t upper = UpperTwoByteLetter(((lead & 0x1Fu) << 6) | (next & 0x3Fu));
    to[i] = static_cast<char>(0xC0 | (upper >> 6));
    to[i + 1] = static_cast<char>(0x80 | (upper & 0x3F));
    ++i;
  }
}

[[nodiscard]] inline std::string UpperText(std::string_view text) {
  std::string out;
  UpperTextInto(text, out);
  return out;
}

// True when text ends with name, both upper-cased as the system compares file
// names: how a process name is recognised at the end of an executable's path
// or file name, the same way the scan recognises it.
[[nodiscard]] inline bool NameEndsWith(std::string_view text, std::string_view name) {
  if (text.size() < name.size()) return false;
  return UpperText(text.substr(text.size() - name.size())) == UpperText(name);
}

}  // namespace pellux
