#include "win32/command_line_answer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pellux::win32 {
namespace {

// An answer of 64 bytes at 0x1000 whose counted string takes 16 (a 64-bit build's).
constexpr std::uintptr_t kAt = 0x1000;
constexpr std::size_t kBytes = 64, kHeader = 16;

struct AnswerCase {
  const char* name;
  std::size_t answerBytes;
  std::uintptr_t buffer;
  std::size_t length;
  bool read;
  std::size_t offset;
};

class CommandLineAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(CommandLineAnswerTest, OnlyATextInsideTheAnswerIsRead) {
  const AnswerCase& c = GetParam();
  const std::optional<AnswerText> text = TextInAnswer(kAt, c.answerBytes, kHeader, c.buffer, c.length);
  ASSERT_EQ(text.has_value(), c.read);
  if (text) {
    EXPECT_EQ(text->offset, c.offset);
    EXPECT_EQ(text->bytes, c.length);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, CommandLineAnswerTest,
                         ::testing::Values(AnswerCase{"right_after_the_header", kBytes, kAt + kHeader, 48, true, 16},
                                           AnswerCase{"empty_at_the_end", kBytes, kAt + kBytes, 0, true, 64},
                                           AnswerCase{"null_buffer", kBytes, 0, 0, false, 0},
                                           AnswerCase{"before_the_answer", kBytes, kAt - 2, 2, false, 0},
                                           AnswerCase{"inside_the_header", kBytes, kAt + 8, 8, false, 0},
                                           AnswerCase{"past_the_end", kBytes, kAt + kBytes + 2, 0, false, 0},
                                           AnswerCase{"length_runs_past_by_two", kBytes, kAt + kHeader, 50, false, 0},
                                           AnswerCase{"length_near_the_largest", kBytes, kAt + kHeader, SIZE_MAX - 1,
                                                      false, 0},
                                           AnswerCase{"half_a_character", kBytes, kAt + kHeader, 3, false, 0},
                                           AnswerCase{"answer_shorter_than_its_header", 8, kAt + kHeader, 0, false, 0},
                                           // A 32-bit caller handed a 64-bit layout reads the padding as the address.
                                           AnswerCase{"far_address", kBytes, UINTPTR_MAX - 1, 2, false, 0}),
                         [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

// The answer's counted string as written in one layout (the address at
// addressAt, addressBytes wide), read by a caller of wordBytes.
struct LayoutCase {
  const char* name;
  std::size_t wordBytes, addressAt, addressBytes;
  std::uint64_t address;
  bool read;
  std::size_t offset;
};

class AnswerLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(AnswerLayoutTest, TheTextIsReadInTheLayoutItWasWrittenIn) {
  const LayoutCase& c = GetParam();
  unsigned char answer[kBytes] = {16};  // 16 bytes long
  std::memcpy(answer + c.addressAt, &c.address, c.addressBytes);
  const std::optional<AnswerText> text = TextInEitherLayout(answer, kBytes, kAt, c.wordBytes);
  ASSERT_EQ(text.has_value(), c.read);
  if (text) {
    EXPECT_EQ(text->offset, c.offset);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AnswerLayoutTest,
    ::testing::Values(LayoutCase{"own_32_bit", 4, 4, 4, kAt + 8, true, 8},
                      LayoutCase{"own_64_bit", 8, 8, 8, kAt + 16, true, 16},
                      // A 32-bit caller handed the 64-bit layout: the padding is a null address.
                      LayoutCase{"64_bit_to_a_32_bit_caller", 4, 8, 8, kAt + 16, true, 16},
                      LayoutCase{"64_bit_to_a_32_bit_caller_above_4_gib", 4, 8, 8, (1ull << 32) + kAt + 16, false, 0},
                      LayoutCase{"64_bit_to_a_32_bit_caller_inside_its_header", 4, 8, 8, kAt + 8, false, 0}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pellux::win32
