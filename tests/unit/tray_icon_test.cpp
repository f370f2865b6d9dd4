#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "tray/tray_icon.h"

namespace pellux {
namespace {

std::string Field(const char (&f)[kTipChars]) { return std::string(f, kTipChars); }

TEST(FillTipTest, LeftAlignedBlankFilledCutAt64) {
  char field[kTipChars];
  FillTip(field, std::string("PelluxMONITOR - v1.0.0.0") + '\0');
  EXPECT_EQ(Field(field), std::string("PelluxMONITOR - v1.0.0.0") + '\0' + std::string(39, ' '));

  FillTip(field, std::string(70, 'x'));
  EXPECT_EQ(Field(field), std::string(64, 'x'));

  FillTip(field, "");
  EXPECT_EQ(Field(field), std::string(64, ' '));
}

TEST(VersionTipTest, EndsWithOneNul) {
  EXPECT_EQ(VersionTip("1.0.0.0"), std::string("PelluxMONITOR - v1.0.0.0") + '\0');
  EXPECT_EQ(kHoldingTip, std::string("PelluxMONITOR - Holding") + '\0');
}

class TrayIconTest : public ::testing::Test {
 protected:
  fakes::Journal journal;
  fakes::FakeTrayService service{journal};
  TrayIcon tray{service};
};

TEST_F(TrayIconTest, AddFillsEveryField) {
  tray.Add(0x7700, VersionTip("1.0.0.0"));
  ASSERT_EQ(service.calls.size(), 1u);
  const auto& c = service.calls[0];
  EXPECT_EQ(c.command, TrayCommand::Add);
  EXPECT_EQ(c.data.cbSize, 88u);
  EXPECT_EQ(c.data.hWnd, 0x7700u);
  EXPECT_EQ(c.data.uID, 1u);
  EXPECT_EQ(c.data.uFlags, 7u);
  EXPECT_EQ(c.data.uCallbackMessage, 513u);
  EXPECT_EQ(c.data.hIcon, service.Picture(0));
  EXPECT_EQ(service.Tip(0).substr(0, 25), std::string("PelluxMONITOR - v1.0.0.0") + '\0');
  EXPECT_TRUE(tray.Added());
}

TEST_F(TrayIconTest, RecordSizeIsWhatThePlatformSays) {
  service.recordSize = 104;  // the first form in a 64-bit program
  tray.Add(1, "t");
  tray.Remove();
  EXPECT_EQ(service.calls[0].data.cbSize, 104u);
  EXPECT_EQ(service.calls[1].data.cbSize, 104u);
}

TEST_F(TrayIconTest, ChangeSetsPictureAndTipAndKeepsTheRest) {
  tray.Add(0x7700, VersionTip("1.0.0.0"));
  tray.CHANGE_TRAY_ICON(4, kHoldingTip);
  ASSERT_EQ(service.calls.size(), 2u);
  const auto& c = service.calls[1];
  EXPECT_EQ(c.command, TrayCommand::Modify);
  EXPECT_EQ(c.data.hIcon, service.Picture(4));
  EXPECT_EQ(service.Tip(1), kHoldingTip + std::string(64 - kHoldingTip.size(), ' '));
  EXPECT_EQ(c.data.hWnd, 0x7700u);
  EXPECT_EQ(c.data.uID, 1u);
  EXPECT_EQ(c.data.uFlags, 7u);
  EXPECT_EQ(c.data.uCallbackMessage, 513u);

  tray.CHANGE_TRAY_ICON(0, VersionTip("1.0.0.0"));
  EXPECT_EQ(service.calls[2].data.hIcon, service.Picture(0));
}

TEST_F(TrayIconTest, FailedModifyAddsTheIconAgain) {
  tray.Add(0x7700, VersionTip("1.0.0.0"));
  service.modifySucceeds = false;
  tray.CHANGE_TRAY_ICON(4, kHoldingTip);
  ASSERT_EQ(service.calls.size(), 3u);
  EXPECT_EQ(service.calls[2].command, TrayCommand::Add);
  EXPECT_EQ(service.calls[2].data.hIcon, service.Picture(4));
  EXPECT_EQ(service.Tip(2).substr(0, kHoldingTip.size()), kHoldingTip);
}

TEST_F(TrayIconTest, SuccessfulModifyAfterAFailedAddMarksTheIconPresent) {
  service.addSucceeds = false;  // timed out on a busy shell, yet the icon came
  tray.Add(0x7700, VersionTip("1.0.0.0"));
  ASSERT_FALSE(tray.Added());
  tray.CHANGE_TRAY_ICON(0, VersionTip("1.0.0.0"));
  EXPECT_TRUE(tray.Added()) << "so that the end removes it";
  EXPECT_EQ(service.calls.back().command, TrayCommand::Modify);
}

TEST_F(TrayIconTest, RemoveDeletesAndClearsTheWindow) {
  tray.Add(0x7700, "t");
  tray.Remove();
  ASSERT_EQ(service.calls.size(), 2u);
  EXPECT_EQ(service.calls[1].command, TrayCommand::Delete);
  EXPECT_EQ(service.calls[1].data.hWnd, 0x7700u);
  EXPECT_EQ(service.calls[1].data.uID, 1u);
  EXPECT_EQ(tray.Data().hWnd, 0u);
  EXPECT_FALSE(tray.Added());
}

TEST_F(TrayIconTest, TaskbarCreatedAddsTheKeptRecordAgain) {
  tray.Add(0x7700, "t");
  tray.CHANGE_TRAY_ICON(4, kHoldingTip);
  tray.OnTaskbarCreated();
  ASSERT_EQ(service.calls.size(), 3u);
  EXPECT_EQ(service.calls[2].command, TrayCommand::Add);
  EXPECT_EQ(service.calls[2].data.hIcon, service.Picture(4));
}

TEST_F(TrayIconTest, RefusedReAddStillLeavesTheIconToRemove) {
  tray.Add(0x7700, "t");
  service.addSucceeds = false;  // the icon is still there: a duplicate
  tray.OnTaskbarCreated();
  EXPECT_TRUE(tray.Added());
}

TEST_F(TrayIconTest, TaskbarCreatedAfterRemoveAddsNothing) {
  tray.OnTaskbarCreated();
  tray.Add(0x7700, "t");
  tray.Remove();
  tray.OnTaskbarCreated();
  EXPECT_EQ(service.calls.size(), 2u);
}

}  // namespace
}  // namespace pellux
