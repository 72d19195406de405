#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>

#include "UiTestSupport.h"
#include "comms/TcpSocket.h"
#include "sim/ChildProcess.h"
#include "ui/ConnectAction.h"
#include "ui/ConnectTarget.h"
#include "ui/ToolSettings.h"
#include "ui/ufmConnect.h"

using namespace vxk;

namespace {

using Link = ConnectTarget::Link;

TEST(ConnectTarget, ArgumentsAsTheCommandLineTakesThem) {
  struct Case {
    ConnectTarget target;
    int keyFd;
    std::vector<std::string> args;
  } cases[] = {
      {{Link::Usb, "", 0}, -1, {}},
      {{Link::Serial, "/dev/ttyUSB0", 0}, -1, {"-com=/dev/ttyUSB0"}},
      {{Link::Listen, "5000", 0}, 7, {"-tcp=5000", "-keyfd=7"}},
      {{Link::Listen, "5000", 8000}, 7, {"-tcp=5000", "-rtt=8000", "-keyfd=7"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ToolArguments(c.target, c.keyFd), c.args);
  EXPECT_EQ(TargetText({Link::Listen, "5000", 8000}), "TCP listen 5000, round trip 8000 ms");
}

TEST(ConnectTarget, OnlyPortsThatCanBeStartedPass) {
  const std::pair<ConnectTarget, bool> cases[] = {
      {{Link::Usb, "", 0}, true},          {{Link::Serial, "/dev/ttyS0", 0}, true},
      {{Link::Serial, "3", 0}, true},      {{Link::Serial, "", 0}, false},
      {{Link::Serial, "ttyS0", 0}, false}, {{Link::Serial, "/dev/tty\nS0", 0}, false},
      {{Link::Listen, "65535", 0}, true},  {{Link::Listen, "0", 0}, false},
      {{Link::Listen, "65536", 0}, false}, {{Link::Listen, "50 00", 0}, false},
      {{Link::Listen, "5000", -1}, false},
  };
  for (const auto& [target, ok] : cases)
    EXPECT_EQ(TargetProblem(target).empty(), ok) << TargetText(target);
}

TEST(ConnectTarget, RecentConnectionsKeepEightNewestFirst) {
  QFile::remove(ToolSettings::FilePath());
  std::vector<ConnectTarget> recent;
  for (int i = 0; i < 10; ++i)
    recent = Remember(recent, {Link::Listen, std::to_string(5000 + i), 0});
  // Used again, with another round trip: to the front, once, as now.
  recent = Remember(recent, {Link::Listen, "5004", 9000});
  ASSERT_EQ(recent.size(), kRecentConnections);
  EXPECT_EQ(recent[0], (ConnectTarget{Link::Listen, "5004", 9000}));
  EXPECT_EQ(recent[1].port, "5009");
  EXPECT_EQ(std::count_if(recent.begin(), recent.end(),
                          [](const ConnectTarget& t) { return t.port == "5004"; }),
            1);
  EXPECT_EQ(recent.back().port, "5002");
  // Through the settings file, with an entry no tool could start left out.
  ToolSettings::SaveRecentConnections(recent);
  {
    QSettings store(ToolSettings::FilePath(), QSettings::IniFormat);
    store.setValue("RecentConnections/3/Port", "not a port");
  }
  auto loaded = ToolSettings::RecentConnections();
  recent.erase(recent.begin() + 2);
  EXPECT_EQ(loaded, recent);
}

TEST(ConnectTarget, SerialPortsPresentInOrderAndWhyOneCannotBeOpened) {
  QTemporaryDir dev;
  for (const char* name : {"ttyS10", "ttyS2", "ttyUSB1", "ttyACM0", "ttyUSBx", "tty", "console"})
    QFile(dev.filePath(name)).open(QIODevice::WriteOnly);
  const std::string d = dev.path().toStdString();
  EXPECT_EQ(SerialPorts(d), (std::vector<std::string>{d + "/ttyUSB1", d + "/ttyACM0", d + "/ttyS2",
                                                      d + "/ttyS10"}));
  EXPECT_EQ(SerialAccessProblem(d + "/ttyS2"), "");
  EXPECT_EQ(SerialAccessProblem(d + "/ttyUSB9"), d + "/ttyUSB9 does not exist.");
  EXPECT_EQ(SerialAccessText("/dev/ttyS0", EACCES, "dialout"),
            "You may not open /dev/ttyS0. Join the group dialout (sudo adduser $USER dialout), "
            "then log out and in again.");
  if (geteuid() != 0) {  // root may open anything
    chmod((d + "/ttyS2").c_str(), 0);
    EXPECT_NE(SerialAccessProblem(d + "/ttyS2").find("Join the group"), std::string::npos);
  }
}

// Keys in memory, answering later as a keyring does; running false plays a desktop without one.
class MemoryStore : public SecretStore {
 public:
  void Read(const QString& entry, QObject* context, ReadDone done) override {
    QTimer::singleShot(5, context, [this, entry, done] {
      if (!running) return done(Result::NoKeyring, QString());
      const auto found = keys.find(entry);
      done(found == keys.end() ? Result::NotFound : Result::Ok,
           found == keys.end() ? QString() : found->second);
    });
  }
  void Write(const QString& entry, const QString& key, QObject* context, WriteDone done) override {
    if (running) keys[entry] = key;
    QTimer::singleShot(5, context,
                       [this, done] { done(running ? Result::Ok : Result::NoKeyring); });
  }
  std::map<QString, QString> keys;
  bool running = true;
};

// Runs script once the dialog is up, modal.
void WhenShown(QDialog& dialog, std::function<void()> script) {
  auto* timer = new QTimer(&dialog);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, &dialog, script] {
    if (QApplication::activeModalWidget() != &dialog) return;
    timer->stop();
    timer->deleteLater();
    script();
  });
  timer->start();
}

std::string FreePort() {
  TcpSocket probe;
  probe.Bind("127.0.0.1", "0");
  const std::string address = probe.LocalAddress();
  return address.substr(address.rfind(':') + 1);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The Connect dialog from the main window's File menu, with the desktop's own keyring.
TEST(ConnectWindow, CtrlKListsTheDevicesAndSaysWhenNoKeyringRuns) {
  // No session bus to reach: no keyring, as on a build machine.
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vxk-test-bus");
  QFile::remove(ToolSettings::FilePath());
  SimDevice sim;
  FakeHidBackend backend(&sim.Device());
  Tool tool({}, &backend);
  tool.window->show();
  QMenu* file = tool.window->menuBar()->findChild<QMenu*>("mnuFile");
  ASSERT_NE(file, nullptr);
  QAction* connect = file->actions().value(0);
  ASSERT_NE(connect, nullptr);
  EXPECT_EQ(connect->objectName(), "actConnect");
  EXPECT_EQ(connect->text(), QStringLiteral("Connect\u2026"));
  EXPECT_EQ(connect->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_K));
  EXPECT_TRUE(file->actions().value(1)->isSeparator());
  auto* action = tool.window->findChild<ConnectAction*>();
  ASSERT_NE(action, nullptr);
  TfmConnect& dialog = *action->fmConnect();
  dialog.ListSerialPorts = [] { return std::vector<std::string>{"/dev/ttyVXK-missing"}; };

  bool ran = false;
  WhenShown(dialog, [&] {
    ran = true;
    EXPECT_EQ(dialog.windowTitle(), "Connect");
    EXPECT_TRUE(dialog.rbUsb->isChecked());  // nothing recent: USB, as the desktop entry
    ASSERT_EQ(dialog.lvUsb->count(), 1);
    EXPECT_EQ(dialog.lvUsb->item(0)->text(), "#100042  vx.keeper.Sim");
    EXPECT_FALSE(dialog.cbRecent->isEnabled());
    dialog.rbSerial->click();
    EXPECT_EQ(dialog.cbPort->currentText(), "/dev/ttyVXK-missing");
    EXPECT_EQ(dialog.lblSerial->text(), "/dev/ttyVXK-missing does not exist.");
    dialog.rbTcp->click();
    EXPECT_TRUE(dialog.edKey->isEnabled());
    EXPECT_FALSE(dialog.cbPort->isEnabled());
    EXPECT_TRUE(WaitUntil(
        [&] { return dialog.lblKeyring->text().startsWith("No desktop keyring"); }, 10000))
        << dialog.lblKeyring->text().toStdString();
    EXPECT_EQ(dialog.edKey->echoMode(), QLineEdit::Password);
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  tool.window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(tool.window.get()));
  QTest::keyClick(tool.window.get(), Qt::Key_K, Qt::ControlModifier);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(action->Started().empty());
  EXPECT_TRUE(ToolSettings::RecentConnections().empty());
}

class ConnectFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile::remove(ToolSettings::FilePath());  // no connections from an earlier test
    auto owned = std::make_unique<MemoryStore>();
    store = owned.get();
    action = new ConnectAction(hid, &window, std::move(owned));
    action->program = BinDir() + "/vxktool";
  }
  void TearDown() override {
    for (pid_t pid : action->Started()) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  FakeHidBackend hid;
  QWidget window;
  MemoryStore* store = nullptr;
  ConnectAction* action = nullptr;
};

TEST_F(ConnectFlow, TcpKeyFromTheKeyringReachesTheNewToolOnAPipeOnly) {
  const std::string port = FreePort();
  const QString key = QStringLiteral("s3cret-Key");
  store->keys["tcp:" + QString::fromStdString(port)] = key;
  ToolSettings::SaveRecentConnections({{Link::Usb, "", 0}, {Link::Listen, port, 0}});
  TfmConnect& dialog = *action->fmConnect();
  WhenShown(dialog, [&] {
    EXPECT_EQ(dialog.cbRecent->count(), 2);
    EXPECT_TRUE(dialog.rbUsb->isChecked());
    dialog.cbRecent->setCurrentIndex(1);
    emit dialog.cbRecent->activated(1);
    EXPECT_TRUE(dialog.rbTcp->isChecked());
    EXPECT_EQ(dialog.edPort->value(), std::stoi(port));
    EXPECT_TRUE(WaitUntil([&] { return dialog.edKey->text() == key; }, 2000));
    EXPECT_EQ(dialog.lblKeyring->text(), "The key comes from the desktop keyring.");
    dialog.edRtt->setValue(3000);
    dialog.btnConnect->click();
  });
  action->actConnectExecute();
  ASSERT_EQ(action->Started().size(), 1u);
  const pid_t pid = action->Started()[0];

  // The key is nowhere on the new process's command line...
  std::string cmdline = ReadAll("/proc/" + std::to_string(pid) + "/cmdline");
  std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
  EXPECT_NE(cmdline.find("-tcp=" + port + " -rtt=3000 -keyfd="), std::string::npos) << cmdline;
  EXPECT_EQ(cmdline.find("s3cret"), std::string::npos) << cmdline;
  // ...yet it has it: a device with that key and the tool prove themselves to each other.
  ChildProcess device;
  ASSERT_TRUE(device.Start(
      {BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + port, "--key", key.toStdString()}));
  EXPECT_TRUE(device.WaitForOutput("the tool's proof is correct", 20000)) << device.Output();

  // Remembered first, with its round trip; the key in the keyring and not in the file.
  const auto recent = ToolSettings::RecentConnections();
  ASSERT_EQ(recent.size(), 2u);
  EXPECT_EQ(recent[0], (ConnectTarget{Link::Listen, port, 3000}));
  EXPECT_EQ(ReadAll(ToolSettings::FilePath().toStdString()).find("s3cret"), std::string::npos);
  EXPECT_TRUE(WaitUntil([&] { return store->keys.size() == 1; }, 1000));
}

TEST_F(ConnectFlow, TypedKeyWithoutAKeyringIsUsedButNotKept) {
  store->running = false;
  const std::string port = FreePort();
  TfmConnect& dialog = *action->fmConnect();
  WhenShown(dialog, [&] {
    dialog.rbTcp->click();
    dialog.edPort->setValue(std::stoi(port));
    EXPECT_TRUE(WaitUntil([&] { return dialog.lblKeyring->text().contains("not kept"); }, 2000));
    QTest::keyClicks(dialog.edKey, "typed");
    dialog.btnConnect->click();
  });
  action->actConnectExecute();
  ASSERT_EQ(action->Started().size(), 1u);
  ChildProcess device;
  ASSERT_TRUE(device.Start({BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + port, "--key", "typed"}));
  EXPECT_TRUE(device.WaitForOutput("the tool's proof is correct", 20000)) << device.Output();
  EXPECT_TRUE(store->keys.empty());
  EXPECT_EQ(ReadAll(ToolSettings::FilePath().toStdString()).find("typed"), std::string::npos);
}

TEST_F(ConnectFlow, AProgramThatDoesNotStartIsReportedAndNotRemembered) {
  action->program = "/nonexistent/vxktool";
  WhenShown(*action->fmConnect(), [&] { action->fmConnect()->btnConnect->click(); });
  MessageBoxCatcher box;
  action->actConnectExecute();
  EXPECT_EQ(box.title, "Error");
  EXPECT_TRUE(box.text.startsWith("Could not start /nonexistent/vxktool: "))
      << box.text.toStdString();
  EXPECT_TRUE(action->Started().empty());
  EXPECT_TRUE(ToolSettings::RecentConnections().empty());
}

}  // namespace
