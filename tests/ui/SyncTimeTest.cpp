#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <stdexcept>

#include "FileAccess/TzTestSupport.h"
#include "UiTestSupport.h"
#include "sim/HidRig.h"
#include "ui/ToolActions.h"
#include "ui/ufmLCD.h"
#include "ui/ufmTime.h"

using namespace vxk;

namespace {

class SyncTime : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(worker.runner.LinkOpen());
    dialog.SetRunner(&worker.runner);
  }
  template <class T>
  T* Find(const char* name) {
    return dialog.findChild<T*>(QLatin1String(name));
  }
  int TimeCommands() {
    return rig.device.LastCommand().rfind("TIME", 0) == 0 ? rig.device.CommandCount() : -1;
  }

  test::ScopedTz tz{"EST5EDT,M3.2.0,M11.1.0"};
  HidRig rig;
  RigRunner worker{rig};
  TfmSyncTime dialog;
};

TEST_F(SyncTime, ShowsBothClocksAndSendsTheTypedOffset) {
  // 2024-01-15 17:30:05.250 UTC, 12:30:05 in New York.
  dialog.SetClock([] { return int64_t(1705339805250); });
  int result = -1;
  QString device, pc, zone;
  bool zoneEnabled = true;
  QTimer::singleShot(0, [&] {
    // The device's answer follows the dialog.
    WaitUntil([&] { return !Find<QPlainTextEdit>("memVxkTime")->toPlainText().isEmpty(); }, 3000);
    device = Find<QPlainTextEdit>("memVxkTime")->toPlainText();
    pc = Find<QPlainTextEdit>("memPcTime")->toPlainText();
    zone = Find<QLineEdit>("edTZ")->text();
    zoneEnabled = Find<QLineEdit>("edTZ")->isEnabled();
    Find<QCheckBox>("cbTimezone")->click();
    Find<QLineEdit>("edTZ")->setText(QStringLiteral("90"));
    Find<QPushButton>("btnSyncTime")->click();
  });
  result = dialog.Execute();
  EXPECT_EQ(result, QDialog::Accepted);
  ASSERT_TRUE(Idle(worker.runner));
  EXPECT_TRUE(device.startsWith(QStringLiteral("UTC "))) << device.toStdString();
  EXPECT_EQ(pc, QStringLiteral("   UTC: 2024-01-15 17:30:05\n Local: 2024-01-15 12:30:05\n"
                               "    TZ: -300 min"));
  EXPECT_EQ(zone, QStringLiteral("-300"));
  EXPECT_FALSE(zoneEnabled);
  EXPECT_EQ(rig.device.LastCommand(), "TIME 2024-01-15 17:30:06 90");
  EXPECT_EQ(rig.sim.Panel().ZoneMinutes(), 90);
  EXPECT_TRUE(Find<QLineEdit>("edTZ")->isEnabled());
}

// The device's lead over the PC in seconds; the greyed offset says why it is grey.
TEST_F(SyncTime, ShowsTheDifferenceAndExplainsTheGreyOffset) {
  const int64_t pc = 1705339805250;
  dialog.SetClock([pc] { return pc; });
  rig.sim.Panel().SetPcClock([pc] { return pc + 42000; });
  auto* difference = Find<QLabel>("lblDifference");
  EXPECT_EQ(difference->text(), QStringLiteral("Device - PC: unknown"));
  dialog.show();
  EXPECT_TRUE(
      WaitUntil([&] { return difference->text() == QStringLiteral("Device - PC: +42 s"); }, 3000))
      << difference->text().toStdString();
  EXPECT_EQ(TfmSyncTime::DifferenceText(-5), QStringLiteral("Device - PC: -5 s"));
  EXPECT_EQ(TfmSyncTime::DifferenceText(0), QStringLiteral("Device - PC: 0 s"));
  // Every line of both memos shows without scrolling.
  for (const char* memo : {"memVxkTime", "memPcTime"})
    EXPECT_EQ(Find<QPlainTextEdit>(memo)->verticalScrollBar()->maximum(), 0) << memo;

  auto* zone = Find<QLineEdit>("edTZ");
  auto* hint = Find<QLabel>("lblZoneHint");
  EXPECT_FALSE(zone->isEnabled());
  EXPECT_TRUE(hint->text().contains(QStringLiteral("Untick Sync Timezone")));
  EXPECT_EQ(zone->toolTip(), hint->text());
  Find<QCheckBox>("cbTimezone")->click();
  EXPECT_TRUE(zone->isEnabled());
  EXPECT_FALSE(hint->text().contains(QStringLiteral("Untick")));
  EXPECT_EQ(zone->toolTip(), hint->text());
  dialog.hide();
}

TEST_F(SyncTime, RefreshesOnlyWhileVisibleAndNeverStacksErrorBoxes) {
  dialog.show();
  const int first = rig.device.CommandCount();
  ASSERT_TRUE(WaitUntil([&] { return rig.device.CommandCount() >= first + 2; }, 3500));
  EXPECT_EQ(rig.device.LastCommand(), "TIME");
  dialog.hide();
  Pump(50);
  const int hidden = rig.device.CommandCount();
  Pump(1300);
  EXPECT_EQ(rig.device.CommandCount(), hidden);

  // A clock that fails: one error box, and no refresh while it is open.
  int reads = 0;
  dialog.SetClock([&]() -> int64_t {
    ++reads;
    throw std::runtime_error("clock unreadable");
  });
  int mostBoxes = 0;
  int readsWhileOpen = -1;
  QString text;
  const int64_t start = TickCount();
  QTimer watcher;
  watcher.setInterval(50);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    int boxes = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box && box->isVisible()) {
        ++boxes;
        text = box->text();
        if (TickCount() - start > 2800) {
          readsWhileOpen = reads;
          box->done(QMessageBox::Ok);
        }
      }
    }
    mostBoxes = std::max(mostBoxes, boxes);
  });
  watcher.start();
  dialog.show();
  ASSERT_TRUE(WaitUntil([&] { return readsWhileOpen >= 0; }, 6000));
  EXPECT_EQ(mostBoxes, 1);
  EXPECT_EQ(readsWhileOpen, 1);
  EXPECT_EQ(text, QStringLiteral("clock unreadable"));
  dialog.hide();
}

TEST(ToolMenus, DisplayFollowsTheDeviceAndTheLink) {
  SimDevice sim;
  FakeHidBackend backend(&sim.Device());
  Tool tool({}, &backend);
  tool.window->show();
  QAction* lcd = tool.window->Tools().actLCD;
  EXPECT_FALSE(lcd->isVisible());
  ASSERT_TRUE(WaitUntil([&] { return lcd->isVisible() && lcd->isEnabled(); }, 5000));
  lcd->trigger();
  TfmLCD* viewer = tool.window->Tools().fmLCD();
  ASSERT_TRUE(tool.Idle());
  ASSERT_TRUE(viewer->isVisible());
  EXPECT_EQ(sim.Device().LastCommand(), "LCD");
  const QRect main = tool.window->frameGeometry();
  EXPECT_EQ(viewer->frameGeometry().top(), main.top() + 16);
  EXPECT_EQ(viewer->frameGeometry().right(), main.right() - 16);

  backend.Unplug();
  ASSERT_TRUE(WaitUntil([&] { return !lcd->isEnabled(); }, 3000));
  EXPECT_TRUE(lcd->isVisible());
  viewer->hide();
}

TEST(ToolMenus, DeviceWithoutLcdKeepsDisplayHidden) {
  DeviceIdentity plain;
  plain.capabilities = ".nfi.uft.";
  SimDevice sim(plain);
  FakeHidBackend backend(&sim.Device());
  Tool tool({}, &backend);
  ASSERT_TRUE(WaitUntil([&] { return tool.Runner().LinkOpen(); }, 5000));
  Pump(300);
  EXPECT_FALSE(tool.window->Tools().actLCD->isVisible());
  EXPECT_FALSE(tool.window->Tools().actLCD->isEnabled());
}

}  // namespace
