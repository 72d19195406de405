#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "UiTestSupport.h"
#include "comms/TcpSocket.h"
#include "sim/ChildProcess.h"
#include "ui/Accessibility.h"
#include "ui/ToolSettings.h"
#include "ui/ufmServer.h"

using namespace vxk;

namespace {

std::string FreePort() {
  TcpSocket probe;
  probe.Bind("127.0.0.1", "0");
  const std::string address = probe.LocalAddress();
  return address.substr(address.rfind(':') + 1);
}

std::string Tool() {
  return BinDir() + "/vxktool";
}

// The argument vector a process shows to others on the machine.
std::vector<std::string> CmdLine(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
  std::vector<std::string> args;
  std::string arg;
  while (std::getline(in, arg, '\0')) args.push_back(arg);
  return args;
}

bool Exists(pid_t pid) {
  return access(("/proc/" + std::to_string(pid)).c_str(), F_OK) == 0;
}

// Processes whose parent is pid (zombies included).
std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::vector<pid_t> found;
  DIR* dir = opendir("/proc");
  if (!dir) return found;
  while (dirent* e = readdir(dir)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
    if (pid <= 0) continue;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("PPid:", 0) == 0 && std::atoi(line.c_str() + 5) == parent)
        found.push_back(pid);
  }
  closedir(dir);
  return found;
}

// Kills the tool processes a test started, whatever the test's outcome.
struct Reaper {
  std::vector<pid_t> pids;
  ~Reaper() {
    for (pid_t pid : pids) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);  // only reaps those that are ours
    }
  }
};

struct LogLine {
  int socket;
  pid_t pid;
};

std::vector<LogLine> LoggedChildren(TfmServer& server) {
  std::vector<LogLine> lines;
  static const QRegularExpression form(QStringLiteral("^Socket (\\d+), Proc (\\d+)$"));
  for (const QString& line : server.memLog->toPlainText().split('\n')) {
    const auto m = form.match(line);
    if (m.hasMatch()) lines.push_back({m.captured(1).toInt(), m.captured(2).toInt()});
  }
  return lines;
}

// A server window that ticks only when the test says so, running the built tool.
struct Server {
  explicit Server(const SessionSettings& settings = {}, const std::string& program = Tool())
      : window(settings) {
    window.Timer1->stop();
    window.Daemon().SetProgram(program, program);
  }
  TfmServer window;
};

TEST(Server, WindowTexts) {
  Server s;
  TfmServer& w = s.window;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("vx.keeper TCP Server"));
  EXPECT_EQ(w.Label1->text(), QStringLiteral("&Port"));
  EXPECT_EQ(w.Label1->buddy(), w.edPort);
  EXPECT_EQ(w.Label2->text(), QStringLiteral("&Key"));
  EXPECT_EQ(w.Label2->buddy(), w.edKey);
  EXPECT_EQ(w.edPort->text(), QStringLiteral("port"));
  EXPECT_EQ(w.edKey->echoMode(), QLineEdit::Password);
  EXPECT_EQ(w.Timer1->interval(), 500);
  EXPECT_EQ(w.findChild<QPlainTextEdit*>(QStringLiteral("memLog")), w.memLog);
  EXPECT_EQ(w.Daemon().RoundTripTime(), 8000);
  EXPECT_EQ(w.Daemon().ExtraTime(), 500);
}

// The settings file's ServerChildLimit sets how many devices the daemon serves at once, and the
// window says so; without a usable value the limit is 32.
TEST(Server, ChildLimitComesFromTheSettingsFile) {
  struct Case {
    const char* line;  // of the settings file; null: no file
    int limit;
  };
  // Each file differs in size from the one before: a settings file rewritten within the same
  // second is read again only when its size changed.
  const Case cases[] = {{nullptr, 32},
                        {"ServerChildLimit=5", 5},
                        {"ServerChildLimit=-3", 32},
                        {"ServerChildLimit=many", 32}};
  const QString path = ToolSettings::FilePath();
  QFile saved(path);
  const bool existed = saved.open(QIODevice::ReadOnly);
  const QByteArray before = existed ? saved.readAll() : QByteArray();
  saved.close();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line ? c.line : "no file");
    QFile::remove(path);
    if (c.line) {
      QDir().mkpath(QFileInfo(path).path());
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(QByteArray("[General]\n") + c.line + "\n");
    }
    Server s;
    EXPECT_EQ(s.window.Daemon().ChildLimit(), c.limit);
    auto* label = s.window.findChild<QLabel*>(QStringLiteral("lblLimit"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("At most %1 devices at a time").arg(c.limit));
    EXPECT_EQ(SpokenName(label), QStringLiteral("Device limit"));
  }
  QFile::remove(path);
  if (existed) {
    QFile restore(path);
    ASSERT_TRUE(restore.open(QIODevice::WriteOnly));
    restore.write(before);
  }
}

TEST(Server, PortInUseOrBadIsReportedAndTicksEnd) {
  TcpSocket holder;
  ASSERT_TRUE(holder.Bind("0.0.0.0", "0"));
  ASSERT_TRUE(holder.Listen(1));
  Server bad;
  bad.window.StartListening();  // the initial text "port" is no port
  EXPECT_EQ(bad.window.memLog->toPlainText(), QStringLiteral("BIND ERROR!\nLISTEN ERROR!"));
  Server s;
  s.window.SetPort(
      QString::fromStdString(holder.LocalAddress().substr(holder.LocalAddress().rfind(':') + 1)));
  s.window.StartListening();
  EXPECT_EQ(s.window.memLog->toPlainText(), QStringLiteral("BIND ERROR!\nLISTEN ERROR!"));
  EXPECT_FALSE(s.window.edPort->isEnabled());
  s.window.Timer1Timer();
  EXPECT_EQ(s.window.memLog->toPlainText(), QStringLiteral("BIND ERROR!\nLISTEN ERROR!"));
}

// Both devices wait before the tick; one tick starts both tool processes, each of which
// authenticates its device under a key with a blank and shows the defaults and no key.
TEST(Server, TwoDevicesOneTickEachWithItsOwnProcess) {
  Server s;
  const std::string port = FreePort();
  s.window.SetPort(QString::fromStdString(port));
  s.window.SetKey("k y");
  s.window.StartListening();
  EXPECT_FALSE(s.window.edKey->isHidden());
  ChildProcess dev1, dev2;
  for (ChildProcess* d : {&dev1, &dev2}) {
    ASSERT_TRUE(d->Start({BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + port, "--key", "k y"}));
    ASSERT_TRUE(d->WaitForOutput("connected to", 5000)) << d->Output();
  }
  s.window.Timer1Timer();
  const std::vector<LogLine> lines = LoggedChildren(s.window);
  ASSERT_EQ(lines.size(), 2u) << s.window.memLog->toPlainText().toStdString();
  Reaper reaper{{lines[0].pid, lines[1].pid}};
  EXPECT_NE(lines[0].pid, lines[1].pid);
  for (ChildProcess* d : {&dev1, &dev2})
    EXPECT_TRUE(d->WaitForOutput("the tool's proof is correct", 15000)) << d->Output();
  // The key came on a pipe: no argument, which every user may read, ever held it.
  for (const LogLine& l : lines) {
    EXPECT_GE(l.socket, 3);
    const std::vector<std::string> args = CmdLine(l.pid);
    ASSERT_EQ(args.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(args.begin(), args.begin() + 4),
              (std::vector<std::string>{Tool(), "-sock=" + std::to_string(l.socket), "-rtt=8000",
                                        "-time=500"}));
    EXPECT_TRUE(std::regex_match(args[4], std::regex("-keyfd=[0-9]+"))) << args[4];
  }

  // Only the child holds the connection: once it goes, its device sees the close.
  kill(lines[0].pid, SIGKILL);
  ASSERT_TRUE(WaitUntil([&] { return !dev1.Running() || !dev2.Running(); }, 5000));
  ChildProcess& ended = dev1.Running() ? dev2 : dev1;
  EXPECT_EQ(ended.Wait(1000), 0);
  EXPECT_NE(ended.Output().find("connection closed"), std::string::npos);
  // A tick after it has ended reaps it: no zombie is left behind. (The device may see the
  // close a moment before the process has fully ended, so tick until then.)
  EXPECT_TRUE(WaitUntil(
      [&] {
        s.window.Timer1Timer();
        return !Exists(lines[0].pid);
      },
      5000));
  EXPECT_TRUE(Exists(lines[1].pid));
  EXPECT_EQ(s.window.Daemon().LiveChildren(), 1u);
}

TEST(Server, OptionsEmptyKeyAndProgramPathWithBlanks) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("vxk server " + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string program = (folder / "vxk tool").string();
  std::filesystem::remove(program);
  std::filesystem::create_symlink(Tool(), program);
  SessionSettings settings;
  settings.roundTripTime = 3000;
  settings.extraTime = 150;
  Server s(settings, program);
  const std::string port = FreePort();
  s.window.SetPort(QString::fromStdString(port));
  s.window.SetKey("");
  s.window.StartListening();
  EXPECT_TRUE(s.window.edKey->isHidden());

  ChildProcess dev;
  ASSERT_TRUE(dev.Start({BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + port}));
  ASSERT_TRUE(dev.WaitForOutput("connected to", 5000)) << dev.Output();
  s.window.Timer1Timer();
  const std::vector<LogLine> lines = LoggedChildren(s.window);
  ASSERT_EQ(lines.size(), 1u);
  Reaper reaper{{lines[0].pid}};
  const std::vector<std::string> expected{program, "-sock=" + std::to_string(lines[0].socket),
                                          "-rtt=3000", "-time=150"};
  const auto shown = [&] {
    std::vector<std::string> args = CmdLine(lines[0].pid);
    if (args.size() == 5 && args[4].rfind("-keyfd=", 0) == 0) args.pop_back();
    return args;
  };
  EXPECT_TRUE(WaitUntil([&] { return shown() == expected; }, 5000))
      << testing::PrintToString(CmdLine(lines[0].pid));
  std::filesystem::remove_all(folder);
}

// The program as a daemon: several devices at once, and the key readable in no process's
// argument vector once the options are parsed.
TEST(Server, DaemonProgramServesSeveralDevices) {
  const std::string port = FreePort();
  ChildProcess daemon;
  ASSERT_TRUE(daemon.Start({Tool(), "-server=" + port, "-key=s3cret"}));
  ChildProcess dev1, dev2, dev3;
  for (ChildProcess* d : {&dev1, &dev2, &dev3})
    ASSERT_TRUE(d->Start({BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + port, "--key", "s3cret",
                          "--retry-ms", "8000"}));
  for (ChildProcess* d : {&dev1, &dev2, &dev3})
    EXPECT_TRUE(d->WaitForOutput("the tool's proof is correct", 20000)) << d->Output();
  EXPECT_EQ(CmdLine(daemon.Pid()),
            (std::vector<std::string>{Tool(), "-server=" + port, "-key=******"}));
  Reaper reaper{ChildrenOf(daemon.Pid())};
  ASSERT_EQ(reaper.pids.size(), 3u);
  for (pid_t child : reaper.pids) {
    const std::vector<std::string> args = CmdLine(child);
    ASSERT_EQ(args.size(), 5u);
    EXPECT_EQ(args[4].rfind("-keyfd=", 0), 0u) << args[4];
    for (const std::string& arg : args) EXPECT_EQ(arg.find("s3cret"), std::string::npos) << arg;
    kill(child, SIGKILL);
  }
  // The daemon reaps them within a tick or two.
  EXPECT_TRUE(WaitUntil([&] { return ChildrenOf(daemon.Pid()).empty(); }, 3000));
  EXPECT_TRUE(daemon.Running());
}

}  // namespace
