#include "addin/save_reminder.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/clock.h"
#include "platform/ui.h"

namespace qnmuro {
namespace {

using std::chrono::minutes;

TEST(ReminderTextTest, HourBeforeAndTwoDigitStamp) {
  const struct {
    int hour, minute;
    const char16_t* text;
  } cases[] = {
      {14, 5,
       u"您正在编辑的WPS文件从13点5分开始还未存盘，请及时执行保存操作。\r\n\r\n提示时间：14点05分"
       u"。"},
      {0, 30,
       u"您正在编辑的WPS文件从23点30分开始还未存盘，请及时执行保存操作。\r\n\r\n提示时间：00点30分"
       u"。"},
      {9, 0,
       u"您正在编辑的WPS文件从8点0分开始还未存盘，请及时执行保存操作。\r\n\r\n提示时间：09点00分"
       u"。"},
  };
  for (const auto& c : cases) {
    LocalTime t;
    t.hour = c.hour;
    t.minute = c.minute;
    EXPECT_EQ(ReminderText(t), c.text) << c.hour << ":" << c.minute;
  }
}

class SaveReminderTest : public ::testing::Test {
 protected:
  // The reminder form, loaded at 13:05.
  SaveReminderTest()
      : clock_(NewVirtualClock(FromLocalTime({2026, 3, 2, 13, 5, 0}))), form_(clock_.get(), &ui_) {
    form_.Load();
  }

  int Reminders() const {
    int n = 0;
    for (const auto& r : ui_.records()) n += r.kind == UiRecord::Kind::kMessage;
    return n;
  }

  std::unique_ptr<VirtualClock> clock_;
  ScriptedUi ui_;
  Timer form_;
};

TEST_F(SaveReminderTest, RemindsOnTheSixtiethTickWithTheClocksTime) {
  clock_->Advance(minutes(59));
  EXPECT_EQ(form_.iTime, 59);
  EXPECT_EQ(Reminders(), 0);
  clock_->Advance(minutes(1));
  ASSERT_EQ(Reminders(), 1);
  const UiRecord& box = ui_.records().back();
  EXPECT_EQ(box.title, kReminderTitle);
  EXPECT_EQ(box.icon, MsgIcon::kInformation);
  EXPECT_EQ(box.text, ReminderText({2026, 3, 2, 14, 5, 0}));
  clock_->Advance(minutes(60));
  EXPECT_EQ(Reminders(), 2);
}

TEST_F(SaveReminderTest, SaveAtMinute59PostponesTheReminder) {
  clock_->Advance(minutes(59));
  // What a save does: stop, reset, start.
  form_.SetTimerEnabled(false);
  form_.iTime = 0;
  form_.SetTimerEnabled(true);
  clock_->Advance(minutes(59));
  EXPECT_EQ(Reminders(), 0);
  clock_->Advance(minutes(1));
  EXPECT_EQ(Reminders(), 1);
}

TEST_F(SaveReminderTest, KeepsRemindingPast32767Minutes) {
  form_.iTime = 32760;  // 32,760 is a multiple of 60; the next hour ends past 16 bits
  clock_->Advance(minutes(60));
  EXPECT_EQ(form_.iTime, 32820);
  EXPECT_EQ(Reminders(), 1);
}

TEST_F(SaveReminderTest, UnloadStopsTheTimer) {
  EXPECT_TRUE(form_.TimerEnabled());
  form_.Unload();
  EXPECT_FALSE(form_.TimerEnabled());
  clock_->Advance(minutes(120));
  EXPECT_EQ(form_.iTime, 0);
  EXPECT_EQ(Reminders(), 0);
}

}  // namespace
}  // namespace qnmuro
