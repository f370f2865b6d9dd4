#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "ui/port_field.h"

namespace pellux {
namespace {

using fakes::FakeDialogs;
using fakes::FakeNumberLocale;
using fakes::FakeWindowControls;
using fakes::Journal;

constexpr char kReject[] = "<rejected>";
constexpr char kEmpty[] = "<empty>";

std::string Outcome(const PortValidation& v) {
  switch (v.verdict) {
    case PortVerdict::Empty:
      return kEmpty;
    case PortVerdict::Rejected:
      return kReject;
    case PortVerdict::Rewritten:
      return v.text;
  }
  return "?";
}

struct PortCase {
  std::string text;
  std::string withPoint;  // the outcome where the locale's separator is "."
  std::string withComma;  // the outcome where it is ","
};

const std::string kTenThousandNines(10000, '9');
const std::string kTinyTenThousand = "0." + std::string(9997, '0') + "7";
const std::string kOneAnd300Zeros = "1" + std::string(300, '0');

const std::vector<PortCase> kPortCases = {
    {"", kEmpty, kEmpty},
    {"   ", kReject, kReject},
    {" 3", kReject, kReject},
    {"3 ", "3", "3"},
    {"3   ", "3", "3"},
    {"+7", "7", "7"},
    {"-5", "-5", "-5"},
    {"0", "0", "0"},
    {"007", "7", "7"},
    {"2.4", "2", kReject},
    {"2.5", "3", kReject},
    {"2.6", "3", kReject},
    {"3.5", "4", kReject},
    {"-2.5", "-3", kReject},
    {"-0.4", "0", kReject},
    {"-0", "0", "0"},
    {".5", "1", kReject},
    {"5.", "5", kReject},
    {".", kReject, kReject},
    {"2,5", kReject, kReject},
    {"1,000", kReject, kReject},
    {"7,", kReject, kReject},
    {"1e3", "1000", "1000"},
    {"1E3", "1000", "1000"},
    {"2.5e1", "25", kReject},
    {"1e-2", "0", "0"},
    {"1e+2", "100", "100"},
    {"1e", kReject, kReject},
    {"e3", kReject, kReject},
    {"1e3.5", kReject, kReject},
    {"abc", kReject, kReject},
    {"12a", kReject, kReject},
    {"COM3", kReject, kReject},
    {"0x10", kReject, kReject},
    {"inf", kReject, kReject},
    {"nan", kReject, kReject},
    {"+", kReject, kReject},
    {"-", kReject, kReject},
    {"--1", kReject, kReject},
    {"+-1", kReject, kReject},
    {"1 2", kReject, kReject},
    {"\t3", kReject, kReject},
    {"3\t", kReject, kReject},
    {std::string("3\0", 2), kReject, kReject},
    {"99999999999", "99999999999", "99999999999"},
    {"-99999999999", "-99999999999", "-99999999999"},
    {"1e300", kOneAnd300Zeros, kOneAnd300Zeros},
    {"1e309", kReject, kReject},
    {"-1e309", kReject, kReject},
    {"1e-400", "0", "0"},
    {"1e99999999999999999999", kReject, kReject},
    {"1e-99999999999999999999", "0", "0"},
    {kTenThousandNines, kReject, kReject},
    {kTinyTenThousand, "0", kReject},
    {"\xE9", kReject, kReject},
    {"3\xB2", kReject, kReject},
    {"\xEF\xBC\x93", kReject, kReject},  // a full-width 3
};

TEST(PortTextTest, EachTextIsRewrittenOrRejectedAsTheLocaleReadsIt) {
  for (const PortCase& c : kPortCases) {
    SCOPED_TRACE("text \"" + c.text.substr(0, 40) + "\" (" + std::to_string(c.text.size()) + " chars)");
    EXPECT_EQ(Outcome(ValidatePortText(c.text, ".")), c.withPoint);
    EXPECT_EQ(Outcome(ValidatePortText(c.text, ",")), c.withComma);
  }
}

TEST(PortTextTest, RewrittenTextValidatesToItself) {
  for (const PortCase& c : kPortCases) {
    const PortValidation first = ValidatePortText(c.text, ".");
    if (first.verdict != PortVerdict::Rewritten) continue;
    SCOPED_TRACE(first.text.substr(0, 40));
    const PortValidation again = ValidatePortText(first.text, ".");
    EXPECT_EQ(again.verdict, PortVerdict::Rewritten);
    EXPECT_EQ(again.text, first.text);
  }
}

TEST(PortTextTest, LargestDoubleIsWrittenOutInDigits) {
  const PortValidation v = ValidatePortText("1.7976931348623157e308", ".");
  ASSERT_EQ(v.verdict, PortVerdict::Rewritten);
  EXPECT_EQ(v.text, "17976931348623157" + std::string(292, '0'));
}

TEST(PortTextTest, OtherSeparatorsAreReadAsTheLocaleNamesThem) {
  EXPECT_EQ(Outcome(ValidatePortText("2.6", "")), "3");  // no separator named: the point
  EXPECT_EQ(Outcome(ValidatePortText("2\xB7"
                                     "6",
                                     "\xB7")),
            "3");
  EXPECT_EQ(Outcome(ValidatePortText("2.6", "\xB7")), kReject);
}

class PortFieldTest : public testing::Test {
 protected:
  bool LoseFocus(const std::string& typed) {
    controls.portText = typed;
    return TBPort_LostFocus(controls, dialogs, locale);
  }

  Journal journal;
  FakeWindowControls controls{journal};
  FakeDialogs dialogs{journal};
  FakeNumberLocale locale;
};

TEST_F(PortFieldTest, EmptyFieldIsLeftAlone) {
  EXPECT_TRUE(LoseFocus(""));
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(controls.portWrites, 0);
  EXPECT_EQ(controls.portFocus, 0);
}

TEST_F(PortFieldTest, NumberIsRewrittenWithoutABox) {
  EXPECT_TRUE(LoseFocus("2.6"));
  EXPECT_EQ(controls.portText, "3");
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(controls.portFocus, 0);
}

TEST_F(PortFieldTest, RejectionShowsTheAttentionBoxThenFocusesTheUnchangedField) {
  EXPECT_FALSE(LoseFocus(" 3"));
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "El Valor Colocado NO es Valido.\rVerificar que sea un NUMERO");
  EXPECT_EQ(dialogs.boxes[0].caption, "ATENCION!!!");
  EXPECT_EQ(dialogs.boxes[0].style, 65552u);
  EXPECT_EQ(controls.portText, " 3");
  EXPECT_EQ(controls.portWrites, 0);
  EXPECT_EQ(journal, (Journal{"box " + std::string(kPortInvalidText), "focus port"}));
}

TEST_F(PortFieldTest, HiddenFieldIsNotFocusedAfterRejection) {
  controls.portVisible = false;
  EXPECT_FALSE(LoseFocus("abc"));
  EXPECT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(controls.portFocus, 0);
}

TEST_F(PortFieldTest, DecimalSeparatorComesFromTheUserLocale) {
  locale.separator = ",";
  EXPECT_FALSE(LoseFocus("2.6"));
  EXPECT_EQ(controls.portText, "2.6");
  EXPECT_FALSE(LoseFocus("2,6"));
  EXPECT_EQ(controls.portText, "2,6");
  EXPECT_TRUE(LoseFocus("26"));
  EXPECT_EQ(controls.portText, "26");
  EXPECT_EQ(dialogs.boxes.size(), 2u);
}

}  // namespace
}  // namespace pellux
