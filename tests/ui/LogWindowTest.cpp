#include <gtest/gtest.h>

#include <QtTest/qtestspontaneevent.h>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QHideEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "comms/Packet.h"
#include "ops/LogRecord.h"
#include "ui/RichEditUtils.h"
#include "ui/SuspendWatcher.h"
#include "ui/ufmLog.h"

using namespace vxk;

namespace {

struct FilterPacket {
  int flags;
  std::string payload;
};

class LogWindow : public ::testing::Test {
 protected:
  LogWindow() : backend(&sim.Device()) {
    backend.CaptureWrites(true);
    tool = std::make_unique<Tool>(std::vector<std::string>{}, &backend);
    tool->window->show();
  }
  void SetUp() override {
    ASSERT_TRUE(
        WaitUntil([&] { return tool->window->Browser().lvFiles->topLevelItemCount() > 0; }, 5000));
  }

  TfmLog& log() { return *tool->window->fmLog; }
  std::vector<FilterPacket> FilterPackets() {
    std::vector<FilterPacket> out;
    for (const std::string& p : backend.WrittenPackets()) {
      if (p[0] == kLogChannel) out.push_back({static_cast<uint8_t>(p[1]), p.substr(3, p[2])});
    }
    return out;
  }
  template <class Fn>
  auto OnDevice(Fn fn) {
    decltype(fn()) result{};
    backend.WithDevice([&](VirtualDevice&) { result = fn(); });
    return result;
  }
  size_t SendSamples() {
    return OnDevice([&] { return sim.Log().SendSamples(); });
  }
  QString LogText() { return log().reLog->toPlainText(); }
  QString ModemText() { return log().reModem->toPlainText(); }
  void OpenLog() {
    tool->window->actShowLog->trigger();
    ASSERT_TRUE(log().isVisible());
    Settle();
  }
  // Until the filter packets posted so far have gone to the device.
  void Settle() {
    tool->Worker([](Session&) { return true; });
  }

  SimDevice sim;
  FakeHidBackend backend;
  std::unique_ptr<Tool> tool;
};

const std::string kDefaultMask = SetFilterPayload(kDefaultLogFilter);

TEST_F(LogWindow, TextsShortcutsAndMenus) {
  TfmLog& w = log();
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Log"));
  EXPECT_EQ(w.minimumSize(), QSize(600, 350));
  const struct {
    QAction* action;
    const char* caption;
    QKeySequence shortcut;
  } actions[] = {
      {w.actCopy, "Copy All", QKeySequence(Qt::CTRL | Qt::Key_V)},
      {w.actClear, "Clear All", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L)},
      {w.actCopyModem, "Copy Modem", QKeySequence()},
      {w.actCopyLog, "Copy Log", QKeySequence()},
      {w.actClearModem, "Clear Modem", QKeySequence()},
      {w.actClearLog, "Clear Log", QKeySequence()},
  };
  for (const auto& a : actions) {
    EXPECT_EQ(a.action->text(), QString::fromLatin1(a.caption));
    EXPECT_EQ(a.action->shortcut(), a.shortcut) << a.caption;
  }
  EXPECT_EQ(w.Button1->text(), QStringLiteral("Copy All"));
  EXPECT_EQ(w.Button2->text(), QStringLiteral("Clear All"));
  const struct {
    QCheckBox* box;
    const char* text;
    bool checked, enabled;
  } boxes[] = {{w.cbTimestamp, "&Timestamp Log", true, true},
               {w.cbModemRxTx, "&Modem RX/TX", false, true},
               {w.cbTSModem, "Timestamp Mo&dem", true, false}};
  for (const auto& b : boxes) {
    EXPECT_EQ(b.box->text(), QString::fromLatin1(b.text));
    EXPECT_EQ(b.box->isChecked(), b.checked) << b.text;
    EXPECT_EQ(b.box->isEnabled(), b.enabled) << b.text;
  }
  auto captions = [](QWidget* menu) {
    QStringList list;
    for (QAction* a : menu->actions()) list << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return list;
  };
  EXPECT_EQ(captions(w.pumLog), QStringList({"Copy Log", "Copy All", "-", "Clear Log"}));
  EXPECT_EQ(captions(w.pumModem), QStringList({"Copy Modem", "Copy All", "-", "Clear Modem"}));
  const QStringList bar = captions(tool->window->menuBar());
  EXPECT_EQ(bar.indexOf(QStringLiteral("Logs")), bar.indexOf(QStringLiteral("&Terminal")) + 1);
  EXPECT_TRUE(tool->window->actShowLog->isEnabled());
  EXPECT_EQ(w.reLog->palette().color(QPalette::Base), QColor(240, 244, 249));
  EXPECT_EQ(w.reModem->palette().color(QPalette::Base), QColor(254, 247, 235));
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(FilterPackets().empty());  // nothing is sent before the window is shown
}

TEST_F(LogWindow, ShowingSubscribesAndOnlyARequestedHideUnsubscribes) {
  OpenLog();
  std::vector<FilterPacket> sent = FilterPackets();
  ASSERT_FALSE(sent.empty());
  for (const FilterPacket& p : sent) {
    EXPECT_EQ(p.flags, 0x80);
    EXPECT_EQ(p.payload, kDefaultMask);
  }
  EXPECT_TRUE(OnDevice([&] { return sim.Log().Subscribed(); }));
  EXPECT_FALSE(log().pnlModem->isVisible());

  log().cbModemRxTx->click();
  Settle();
  EXPECT_TRUE(log().pnlModem->isVisible());
  EXPECT_TRUE(log().cbTSModem->isEnabled());
  EXPECT_EQ(FilterPackets().back().payload, std::string("FILTER ") + std::string(8, '\xFF'));
  log().cbModemRxTx->click();
  Settle();
  EXPECT_FALSE(log().pnlModem->isVisible());
  EXPECT_EQ(FilterPackets().back().payload, kDefaultMask);

  // Minimised: the system's hide leaves the subscription alone.
  const size_t before = FilterPackets().size();
  QHideEvent minimised;
  QSpontaneKeyEvent::setSpontaneous(&minimised);
  qApp->notify(&log(), &minimised);  // sendEvent would clear the flag
  Settle();
  EXPECT_EQ(FilterPackets().size(), before);

  log().close();
  Settle();
  sent = FilterPackets();
  ASSERT_EQ(sent.size(), before + 1);
  EXPECT_EQ(sent.back().flags, 0x40);
  EXPECT_EQ(sent.back().payload, std::string("FILTER-") + std::string(8, '\xFF'));
  EXPECT_FALSE(OnDevice([&] { return sim.Log().Subscribed(); }));
}

TEST_F(LogWindow, RecordsReachTheirPanesTaggedColouredAndEscaped) {
  OpenLog();
  log().Clock = [] { return ClockTime{13, 7, 9, 42}; };
  const size_t sent = SendSamples();
  ASSERT_GT(sent, 0u);
  ASSERT_TRUE(WaitUntil([&] { return LogText().contains(QStringLiteral("[Lua.] n")); }, 3000));
  const QString text = LogText();
  EXPECT_TRUE(text.contains(QStringLiteral("13:07:09.042 [#000] type 0\n")));
  EXPECT_TRUE(text.contains(QStringLiteral("13:07:09.042 [#255] type 255\n")));
  EXPECT_TRUE(text.contains(QStringLiteral("13:07:09.042 [#007] \n")));  // the type byte alone
  EXPECT_TRUE(text.contains(QStringLiteral("[d.ev] ") + QString(60, 'L') + '\n'));
  // Log text is not escaped: the backslash stays single, ESC and 0xFF stay bytes.
  EXPECT_TRUE(text.contains(QString::fromUtf8("[Lua.] nl e\x1B b\\ f\xC3\xBF\n")));
  EXPECT_FALSE(text.contains(QStringLiteral("[d.rx]")));  // not in the mask
  EXPECT_TRUE(ModemText().isEmpty());
  bool bold = false;
  EXPECT_EQ(ColourOf(log().reLog, QStringLiteral("[#255]"), &bold), QColor(255, 0, 0));
  EXPECT_TRUE(bold);
  EXPECT_EQ(ColourOf(log().reLog, QStringLiteral("type 255"), &bold), QColor(0, 0, 0));
  EXPECT_FALSE(bold);
  EXPECT_EQ(ColourOf(log().reLog, QStringLiteral("13:07:09.042"), &bold), QColor(96, 192, 192));

  log().cbModemRxTx->click();
  Settle();
  SendSamples();
  ASSERT_TRUE(WaitUntil([&] { return ModemText().contains(QStringLiteral("f\\xFF")); }, 3000));
  EXPECT_TRUE(LogText().contains(QStringLiteral("[d.rx] type 9")));
  EXPECT_TRUE(LogText().contains(QStringLiteral("[e.tx] type 14")));
  // One stamp for records within the same millisecond; receive lines get a line end of
  // their own, transmit data none.
  EXPECT_EQ(ModemText(), QStringLiteral("[07:09.042]type 5\ntype 6AT\n\nATZ\n"
                                        "n\\x00l e\\x1B b\\\\ f\\xFF\n"));
  EXPECT_EQ(ColourOf(log().reModem, QStringLiteral("type 5")), QColor(0, 0, 255));
  EXPECT_EQ(ColourOf(log().reModem, QStringLiteral("type 6")), QColor(255, 0, 0));
}

TEST_F(LogWindow, StampsFollowTheirOptionsAndChanges) {
  tool->window->Timer1->stop();
  TfmLog& w = log();
  int ms = 1;
  w.Clock = [&] { return ClockTime{1, 2, 3, ms}; };
  w.cbTSModem->setEnabled(true);
  w.AddRecord("\x05one");
  w.AddRecord("\x05two");
  ms = 2;
  w.AddRecord("\x06three");
  w.cbTSModem->click();  // off
  ms = 3;
  w.AddRecord(
      "\x05"
      "four");
  w.cbTimestamp->click();  // off
  w.AddRecord("\x04plain");
  w.FinishBatch();
  EXPECT_EQ(ModemText(), QStringLiteral("[02:03.001]one\ntwo\n[02:03.002]threefour\n"));
  EXPECT_EQ(LogText(), QStringLiteral("[m.ev] plain\n"));
}

TEST_F(LogWindow, APollTrimsTheLogPaneAtALineBreak) {
  tool->window->Timer1->stop();
  TfmLog& w = log();
  w.cbTimestamp->click();  // lines of exactly 100 characters with their break
  const std::string body(92, 'x');
  int lines = 0;
  while (TextLength(w.reLog) <= TfmLog::kLogLimit + 250) {
    w.AddRecord("\x07" + std::to_string(lines % 10) + body.substr(1));
    ++lines;
  }
  const int before = TextLength(w.reLog);
  w.FinishBatch();
  const int after = TextLength(w.reLog);
  EXPECT_LE(after, TfmLog::kLogLimit);
  EXPECT_GT(after, TfmLog::kLogLimit - 100);
  EXPECT_EQ((before - after) % 100, 0);  // whole lines went
  EXPECT_TRUE(LogText().startsWith(QStringLiteral("[#007] ")));
}

TEST_F(LogWindow, CopyAllIsCtrlVAndCopiesTerminalLogAndModemInOrder) {
  OpenLog();
  log().cbModemRxTx->click();
  Settle();
  OnDevice([&] {
    sim.Log().Record(17, "log line");
    sim.Log().Record(5, "modem line");
    return 0;
  });
  ASSERT_TRUE(WaitUntil([&] { return ModemText().contains(QStringLiteral("modem line")); }, 3000));
  tool->window->Pane().ShowIncoming("terminal line\r\n");

  log().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&log()));
  log().reLog->setFocus();
  QApplication::clipboard()->setText(QStringLiteral("PASTED"));
  QTest::keyClick(log().reLog, Qt::Key_V, Qt::ControlModifier);
  EXPECT_FALSE(LogText().contains(QStringLiteral("PASTED")));

  const QMimeData* mime = QApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  const QString plain = mime->text();
  const qsizetype term = plain.indexOf(QStringLiteral("terminal line"));
  const qsizetype line = plain.indexOf(QStringLiteral("log line"));
  const qsizetype modem = plain.indexOf(QStringLiteral("modem line"));
  EXPECT_GE(term, 0) << plain.toStdString();
  EXPECT_GT(line, term);
  EXPECT_GT(modem, line);
  EXPECT_TRUE(mime->html().contains(QStringLiteral("log line")));
  const QByteArray rtf = mime->data(QStringLiteral("text/rtf"));
  EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
  EXPECT_LT(rtf.indexOf("terminal line"), rtf.indexOf("log line"));
  EXPECT_LT(rtf.indexOf("log line"), rtf.indexOf("modem line"));
  EXPECT_TRUE(rtf.contains("\\red255\\green0\\blue0"));

  // Without the modem option the modem pane stays out.
  log().cbModemRxTx->click();
  log().actCopy->trigger();
  EXPECT_FALSE(QApplication::clipboard()->text().contains(QStringLiteral("modem line")));
  EXPECT_TRUE(QApplication::clipboard()->text().contains(QStringLiteral("log line")));
}

TEST_F(LogWindow, ReopeningAndResumingSubscribeAgainWhileShown) {
  OpenLog();
  size_t before = FilterPackets().size();
  SuspendWatcher* watcher = tool->window->findChild<SuspendWatcher*>();
  ASSERT_NE(watcher, nullptr);
  emit watcher->Resumed();
  EXPECT_TRUE(WaitUntil([&] { return FilterPackets().size() == before + 1; }, 3000));

  backend.Unplug();
  ASSERT_TRUE(WaitUntil([&] { return !tool->window->Runner().LinkOpen(); }, 3000));
  backend.Plug();
  ASSERT_TRUE(
      WaitUntil([&] { return LogText().contains(QStringLiteral("-.-.-.-.-.-.-.-.-.-")); }, 5000));
  bool bold = true;
  EXPECT_EQ(ColourOf(log().reLog, QStringLiteral("-.-.-"), &bold), QColor(0, 128, 0));
  EXPECT_TRUE(WaitUntil([&] { return OnDevice([&] { return sim.Log().Subscribed(); }); }, 3000));

  // Hidden: neither a reopening nor a resume sends anything.
  log().close();
  Settle();
  before = FilterPackets().size();
  emit watcher->Resumed();
  backend.Unplug();
  ASSERT_TRUE(WaitUntil([&] { return !tool->window->Runner().LinkOpen(); }, 3000));
  backend.Plug();
  ASSERT_TRUE(WaitUntil([&] { return tool->window->Runner().LinkOpen(); }, 3000));
  Pump(500);
  EXPECT_EQ(FilterPackets().size(), before);
}

TEST_F(LogWindow, AFloodIsShownBoundedWhileTheFileListKeepsWorking) {
  OpenLog();
  OnDevice([&] {
    sim.Log().StartFlood(30000);
    return 0;
  });
  QTreeWidget* list = tool->window->Browser().lvFiles;
  list->clear();
  tool->window->Browser().actRefresh->trigger();
  ASSERT_TRUE(tool->Idle());
  EXPECT_GT(list->topLevelItemCount(), 0);
  ASSERT_TRUE(WaitUntil([&] { return !OnDevice([&] { return sim.Log().Flooding(); }); }, 60000));
  Pump(600);
  EXPECT_LE(TextLength(log().reLog), TfmLog::kLogLimit);
  EXPECT_TRUE(LogText().contains(QStringLiteral("[Lua.] nl")));
}

TEST(LogWindowNetwork, SerialLinkHasNoLogWindow) {
  Tool tool({"-com=0"});
  tool.window->show();
  Pump(100);
  EXPECT_FALSE(tool.window->actShowLog->isEnabled());
  EXPECT_FALSE(tool.window->fmLog->isVisible());
}

}  // namespace
