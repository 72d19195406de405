#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "ui/LinkStatus.h"

using namespace vxk;

namespace {

class UsbMain : public ::testing::Test {
 protected:
  UsbMain() : backend(&sim.Device()) { backend.CaptureWrites(true); }
  bool Opened(Tool& tool, int ms = 5000) {
    return WaitUntil([&] { return tool.window->Browser().lvFiles->topLevelItemCount() > 0; }, ms);
  }
  int EscapesSent() {
    int n = 0;
    for (const std::string& p : backend.WrittenPackets()) {
      if (p[0] == 0 && p[2] >= 1 && p[3] == '\x1B') ++n;
    }
    return n;
  }

  SimDevice sim;
  FakeHidBackend backend;
};

TEST_F(UsbMain, OpenSequenceShowsDeviceAndTopFolder) {
  Tool tool({}, &backend);
  tool.window->show();
  EXPECT_EQ(tool.Caption(), QStringLiteral("vx.keeper Tool"));
  ASSERT_TRUE(Opened(tool));
  FileBrowser& browser = tool.window->Browser();
  EXPECT_EQ(browser.memInfo->toPlainText(),
            QStringLiteral("Corvane\n#100042\nvx.keeper.Sim v2.14 (build 3107 @ 2026-11-20)"));
  EXPECT_EQ(browser.edDir->text(), QStringLiteral("/"));
  EXPECT_TRUE(browser.lvFiles->isEnabled());
  EXPECT_TRUE(tool.Worker([](Session& s) { return s.Files().QuoteNames; }));
  // The prompt the ESC of the open sequence brought up is in the pane, in red; the exchanges
  // of the listing leave nothing behind.
  EXPECT_TRUE(tool.PaneShows(QStringLiteral("vxk>"), 2000));
  Pump(600);
  EXPECT_EQ(tool.PaneText(), QStringLiteral("(Terminal)\nvxk>"));
  EXPECT_EQ(ColourOf(tool.window->Pane().reTerm(), QStringLiteral("vxk>")), QColor(255, 0, 0));
  // A vx.keeper's pane is light yellow-green.
  EXPECT_EQ(tool.window->Pane().reTerm()->palette().color(QPalette::Base), QColor(243, 252, 216));
}

TEST_F(UsbMain, WithoutDeviceThePaneStaysIdleGrey) {
  backend.Unplug();
  Tool tool({}, &backend);
  Pump(600);
  EXPECT_FALSE(tool.LinkOpen());
  EXPECT_EQ(tool.window->Pane().reTerm()->palette().color(QPalette::Base), QColor(224, 224, 224));
  EXPECT_FALSE(tool.window->Browser().lvFiles->isEnabled());
  EXPECT_EQ(tool.PaneText(), QStringLiteral("(Terminal)"));
}

// A terminal lock that cannot be had safely is reported in the pane, and the device is left
// alone: two programs must never talk to it at once.
TEST_F(UsbMain, UnusableTerminalLockIsShownAndNoDeviceIsOpened) {
  char pattern[] = "/tmp/vxk-openlock-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  ::chmod(dir.c_str(), 0777);
  TerminalLock unsafe(dir + "/lock");
  TCommandLine options;
  options.Parse(TCommandLine::kAllowed, {});
  TfmMain window(SessionSettingsFrom(options), backend, unsafe);
  window.show();
  Pump(800);
  const QString pane = window.Pane().reTerm()->toPlainText();
  EXPECT_TRUE(
      pane.contains(QStringLiteral("cannot use the terminal lock: ") + QString::fromStdString(dir)))
      << pane.toStdString();
  EXPECT_FALSE(OnWorker(window.Runner(), [](Session& s) { return s.Link().IsOpen(); }));
  EXPECT_TRUE(backend.WrittenPackets().empty());
  ::rmdir(dir.c_str());
}

TEST_F(UsbMain, UnplugClearsAndReplugRunsTheOpenSequenceAgain) {
  Tool tool({}, &backend);
  ASSERT_TRUE(Opened(tool));
  const int escapes = EscapesSent();
  backend.Unplug();
  FileBrowser& browser = tool.window->Browser();
  ASSERT_TRUE(WaitUntil([&] { return browser.memInfo->toPlainText().isEmpty(); }, 3000));
  EXPECT_FALSE(browser.lvFiles->isEnabled());
  EXPECT_FALSE(browser.edDir->isVisible());
  browser.lvFiles->clear();
  backend.Plug();
  ASSERT_TRUE(Opened(tool));
  EXPECT_TRUE(browser.memInfo->toPlainText().startsWith(QStringLiteral("Corvane")));
  EXPECT_GT(EscapesSent(), escapes);
}

// The status bar names the link, how it stands and the device; the device box shows its
// lines whole however narrow it is.
TEST_F(UsbMain, StatusBarAndDeviceBoxFollowTheDevice) {
  sim.Device().Identity().product = "vx.keeper.Sim with a product name far longer than the box";
  Tool tool({}, &backend);
  tool.window->show();
  ASSERT_TRUE(Opened(tool));
  LinkStatus& link = tool.window->Link();
  EXPECT_EQ(link.statusLink->text(), QStringLiteral("USB: connected"));
  EXPECT_EQ(link.statusDevice->text(),
            QStringLiteral("#100042 vx.keeper.Sim with a product name far longer than the box"));
  for (QLabel* part : {link.statusLink, link.statusDevice}) {
    EXPECT_FALSE(part->accessibleName().isEmpty());
    EXPECT_EQ(part->accessibleDescription(), part->text());
  }
  QPlainTextEdit* info = tool.window->Browser().memInfo;
  EXPECT_EQ(info->horizontalScrollBar()->maximum(), 0);
  const QTextDocument* doc = info->document();
  EXPECT_GT(doc->documentLayout()->documentSize().height(), doc->blockCount())
      << "the long line is not wrapped";

  backend.Unplug();
  ASSERT_TRUE(WaitUntil(
      [&] { return link.statusLink->text() == QStringLiteral("USB: waiting for the device"); },
      3000));
  EXPECT_TRUE(link.statusDevice->text().isEmpty());
  EXPECT_FALSE(link.statusDevice->isVisibleTo(tool.window.get()));
}

TEST(LinkStatusText, EveryLinkAndState) {
  using Kind = SessionSettings::LinkKind;
  using State = LinkStatus::State;
  struct Row {
    Kind kind;
    const char* port;
    State state;
    const char* text;
  };
  const Row rows[] = {
      {Kind::Usb, "", State::Waiting, "USB: waiting for the device"},
      {Kind::Serial, "3", State::Connected, "Serial COM3: connected"},
      {Kind::Serial, "/dev/ttyUSB0", State::Connected, "Serial /dev/ttyUSB0: connected"},
      {Kind::Listen, "5000", State::Listening, "TCP 5000: listening"},
      {Kind::Listen, "80", State::NotListening, "TCP 80: not listening"},
      {Kind::Socket, "", State::Closed, "TCP socket: closed"},
  };
  for (const Row& r : rows) {
    SessionSettings settings;
    settings.kind = r.kind;
    settings.port = r.port;
    EXPECT_EQ(LinkStatus::LinkText(settings, r.state), QString::fromLatin1(r.text));
  }
  DeviceInfo device;
  EXPECT_TRUE(LinkStatus::DeviceText(device).isEmpty());  // nothing was read
  device.alive = true;
  device.serial = "77\r\n";
  device.product = "vx\x1b[2Jkeeper";
  EXPECT_EQ(LinkStatus::DeviceText(device), QStringLiteral("#77 vx [2Jkeeper"));
}

TEST_F(UsbMain, DeviceWithoutFileCommandsGetsNoBrowser) {
  sim.Device().Identity().capabilities = ".uft.";
  Tool tool({}, &backend);
  ASSERT_TRUE(WaitUntil(
      [&] { return !tool.window->Browser().memInfo->toPlainText().startsWith('('); }, 5000));
  Pump(300);
  FileBrowser& browser = tool.window->Browser();
  EXPECT_FALSE(browser.lvFiles->isEnabled());
  EXPECT_FALSE(browser.edDir->isVisibleTo(tool.window.get()));
  EXPECT_FALSE(browser.actRefresh->isEnabled());
  EXPECT_FALSE(tool.Worker([](Session& s) { return s.Files().QuoteNames; }));
  EXPECT_EQ(browser.lvFiles->topLevelItemCount(), 0);
}

TEST_F(UsbMain, TimeOutOptionsReachTheLink) {
  const auto times = [](Session& s) {
    return std::make_pair(s.Link().RoundTripTime(), s.Link().ExtraTime());
  };
  Tool defaults({}, &backend);
  EXPECT_EQ(defaults.Worker(times), std::make_pair(20, 20));
  Tool given({"-rtt=300", "-time=40"}, &backend);
  EXPECT_EQ(given.Worker(times), std::make_pair(300, 40));
}

TEST_F(UsbMain, MenusHoldOnlyWhatWorks) {
  Tool tool({}, &backend);
  QStringList menus;
  QList<QStringList> items;
  for (QAction* top : tool.window->menuBar()->actions()) {
    menus << top->text();
    QStringList names;  // none for an entry that is an action itself (Logs, Display)
    if (top->menu()) {
      for (QAction* a : top->menu()->actions())
        names << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    items << names;
  }
  EXPECT_EQ(menus, (QStringList{"&File", "&Terminal", "Logs", "&Display", "T&ools", "About"}));
  ASSERT_EQ(items.size(), 6);
  EXPECT_EQ(items[0],
            (QStringList{QStringLiteral("Connect\u2026"), "-", "Save to PC",
                         QStringLiteral("Upload\u2026"), "Load Firmware", "-", "New File", "-",
                         "Edit", "Rename", "Delete", "-", "Refresh Directory", "-", "Exit"}));
  EXPECT_EQ(items[1],
            (QStringList{"Select All", "Copy", "Paste", "Clear", "-", "Refresh Directory"}));
  EXPECT_TRUE(items[2].isEmpty());
  EXPECT_TRUE(items[3].isEmpty());
  EXPECT_EQ(items[4], (QStringList{"Sync Time", "Get Diagnostics"}));
  EXPECT_TRUE(items[5].isEmpty());
  QStringList popup;
  for (QAction* a : tool.window->Browser().puFiles->actions())
    popup << (a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(popup, (QStringList{"Edit", "Save to PC", QStringLiteral("Upload\u2026"), "Rename",
                                "Delete", "-", "New File", "Make Dir", "-", "Refresh Directory"}));
  EXPECT_EQ(tool.window->Browser().actRefresh->shortcut(), QKeySequence(Qt::Key_F5));
  EXPECT_EQ(tool.window->Pane().actTermClear->shortcut(),
            QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L));
  EXPECT_EQ(tool.window->size(), QSize(819, 602));
}

TEST_F(UsbMain, TlsOptionSaysTheLinkIsNotEncrypted) {
  Tool tool({"-tls"}, &backend);
  EXPECT_TRUE(tool.PaneShows(
      QStringLiteral("TLS is not supported: the connection is not encrypted"), 3000));
  Tool plain({}, &backend);
  Pump(300);
  EXPECT_FALSE(plain.PaneText().contains(QStringLiteral("TLS")));
}

}  // namespace
