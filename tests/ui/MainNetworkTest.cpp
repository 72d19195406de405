#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

#include "UiTestSupport.h"
#include "comms/TcpSocket.h"
#include "sim/ChildProcess.h"
#include "sim/HeaderText.h"
#include "sim/StreamServer.h"
#include "sim/TcpRig.h"
#include "ui/LinkStatus.h"

using namespace vxk;

namespace {

std::string FreePort() {
  TcpSocket probe;
  probe.Bind("127.0.0.1", "0");
  const std::string address = probe.LocalAddress();
  return address.substr(address.rfind(':') + 1);
}

bool ListShows(Tool& tool, int ms = 8000) {
  return WaitUntil([&] { return tool.window->Browser().lvFiles->topLevelItemCount() > 0; }, ms);
}

TEST(TcpListen, DeviceConnectsAuthenticatesAndLeaves) {
  const std::string port = FreePort();
  Tool tool({"-tcp=" + port, "-key=k3y"});
  EXPECT_TRUE(tool.PaneShows(QString::fromStdString("Listening on " + port), 3000));
  EXPECT_EQ(tool.Caption(), QString::fromStdString("vx.keeper Tool TCP:" + port));
  EXPECT_TRUE(WaitUntil(
      [&] {
        return tool.window->Link().statusLink->text() ==
               QString::fromStdString("TCP " + port + ": listening");
      },
      3000));
  const auto times = [](Session& s) {
    return std::make_pair(s.Link().RoundTripTime(), s.Link().ExtraTime());
  };
  EXPECT_EQ(tool.Worker(times).first, 20);

  ChildProcess sim;
  ASSERT_TRUE(sim.Start({BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + port, "--key", "k3y",
                         "--product", "vx.keeper.Field", "--site", "Weir 7"}));
  ASSERT_TRUE(ListShows(tool)) << tool.PaneText().toStdString() << sim.Output();
  EXPECT_EQ(tool.Caption(), QString::fromStdString("vx.keeper Tool TCP:" + port + " connected"));
  const QString text = tool.PaneText();
  const int listening = text.indexOf(QStringLiteral("Listening on"));
  const int connected = text.indexOf(QStringLiteral("Socket Connected"));
  const int site = text.indexOf(QStringLiteral("Site: Weir 7"));
  const int sha = text.indexOf(QStringLiteral("SHA: correct for secret key."));
  EXPECT_TRUE(listening >= 0 && listening < connected && connected < site && site < sha)
      << text.toStdString();
  EXPECT_EQ(ColourOf(tool.window->Pane().reTerm(), QStringLiteral("Socket Connected")),
            QColor(128, 0, 128));
  EXPECT_TRUE(
      tool.window->Browser().memInfo->toPlainText().contains(QStringLiteral("vx.keeper.Field")));
  // From the accepted device on, the TCP time-outs apply.
  EXPECT_EQ(tool.Worker(times), std::make_pair(8000, 500));
  EXPECT_TRUE(sim.WaitForOutput("proof is correct", 3000));
  Pump(600);
  // The LF after the header's closing CR reaches the pane as a line break of its own.
  EXPECT_TRUE(tool.PaneText().endsWith(QStringLiteral("SHA: correct for secret key.\n\n\nvxk>")))
      << tool.PaneText().toStdString();
  // Nothing listens any more: a second device cannot connect.
  ChildProcess late;
  ASSERT_TRUE(
      late.Start({BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + port, "--retry-ms", "200"}));
  EXPECT_EQ(late.Wait(5000), 1);

  EXPECT_EQ(tool.window->Link().statusLink->text(),
            QString::fromStdString("TCP " + port + ": connected"));
  EXPECT_TRUE(tool.window->Link().statusDevice->text().endsWith(QStringLiteral("vx.keeper.Field")));

  // The device leaves: the port listens again and a device that calls again is served.
  sim.Signal(SIGTERM);
  const QString listensAgain = QString::fromStdString("Listening on " + port);
  ASSERT_TRUE(WaitUntil([&] { return tool.PaneText().count(listensAgain) == 2; }, 5000))
      << tool.PaneText().toStdString();
  EXPECT_LT(tool.PaneText().indexOf(QStringLiteral("Closed (app finished)")),
            tool.PaneText().lastIndexOf(listensAgain));
  EXPECT_EQ(tool.Caption(), QString::fromStdString("vx.keeper Tool TCP:" + port));
  EXPECT_FALSE(tool.window->Browser().lvFiles->isEnabled());
  EXPECT_TRUE(tool.window->Browser().memInfo->toPlainText().isEmpty());
  EXPECT_EQ(tool.window->Link().statusLink->text(),
            QString::fromStdString("TCP " + port + ": listening"));
  EXPECT_TRUE(tool.window->Link().statusDevice->text().isEmpty());
  EXPECT_FALSE(tool.LinkOpen());
  // What the first device told of itself is gone on the worker too.
  EXPECT_EQ(tool.Worker([](Session& s) { return s.Link().RoundTripTime(); }), 20);

  tool.window->Browser().lvFiles->clear();
  ChildProcess again;
  ASSERT_TRUE(again.Start({BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + port, "--key", "k3y",
                           "--product", "vx.keeper.Again"}));
  ASSERT_TRUE(ListShows(tool)) << tool.PaneText().toStdString() << again.Output();
  EXPECT_EQ(tool.Caption(), QString::fromStdString("vx.keeper Tool TCP:" + port + " connected"));
  EXPECT_TRUE(
      tool.window->Browser().memInfo->toPlainText().contains(QStringLiteral("vx.keeper.Again")));
  EXPECT_EQ(tool.window->Link().statusLink->text(),
            QString::fromStdString("TCP " + port + ": connected"));
  EXPECT_EQ(tool.PaneText().count(QStringLiteral("Closed (app finished)")), 1);
}

// A device's end of a connection to a tool listening on port.
int DeviceConnects(const std::string& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Whatever the device taken did wrong, it is cut off and the port listens again; nothing of
// it reaches the next device, which is served.
TEST(TcpListen, RefusedDeviceIsCutOffAndThePortListensAgain) {
  enum class Does { WrongKey, ClosesAtOnce, StaysSilent, SendsGarbage };
  struct Case {
    const char* name;
    Does does;
  };
  const Case cases[] = {{"wrong key", Does::WrongKey},
                        {"closes at once", Does::ClosesAtOnce},
                        {"stays silent", Does::StaysSilent},
                        {"sends garbage", Does::SendsGarbage}};
  struct Run {
    std::string port = FreePort();
    Tool tool{{"-tcp=" + port, "-key=right", "-rtt=1000"}};
    ChildProcess wrongKey;
    TcpSocket device;
  };
  std::vector<std::unique_ptr<Run>> runs;
  for (const Case& c : cases) {
    auto run = std::make_unique<Run>();
    // The port is set up on the worker as the window starts.
    ASSERT_TRUE(run->tool.PaneShows(QString::fromStdString("Listening on " + run->port), 3000));
    if (c.does == Does::WrongKey) {
      ASSERT_TRUE(run->wrongKey.Start(
          {BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + run->port, "--key", "wrong"}));
    } else {
      ASSERT_TRUE(run->device.Adopt(DeviceConnects(run->port)));
      if (c.does == Does::ClosesAtOnce) run->device.Close();
      if (c.does == Does::SendsGarbage) run->device.SendAll("GET / HTTP/1.0\r\n\r\n", 18);
    }
    runs.push_back(std::move(run));
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    Run& r = *runs[i];
    const QString listening = QString::fromStdString("Listening on " + r.port);
    ASSERT_TRUE(WaitUntil([&] { return r.tool.PaneText().count(listening) == 2; }, 8000))
        << r.tool.PaneText().toStdString();
    EXPECT_TRUE(r.tool.PaneText().contains(QStringLiteral("!Invalid TOA header!")));
    EXPECT_FALSE(r.tool.PaneText().contains(QStringLiteral("Closed (app finished)")));
    EXPECT_EQ(r.tool.Caption(), QString::fromStdString("vx.keeper Tool TCP:" + r.port));
    EXPECT_EQ(r.tool.Worker([](Session& s) { return s.Link().SerialNumber(); }), "999999");
    EXPECT_EQ(r.tool.Worker([](Session& s) { return s.Link().RoundTripTime(); }), 1000);
  }
  EXPECT_EQ(runs[0]->wrongKey.Wait(5000), 1);
  EXPECT_NE(runs[0]->wrongKey.Output().find("BYE!"), std::string::npos);

  std::vector<std::unique_ptr<ChildProcess>> devices;
  for (auto& r : runs) {
    devices.push_back(std::make_unique<ChildProcess>());
    ASSERT_TRUE(devices.back()->Start(
        {BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + r->port, "--key", "right"}));
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_TRUE(ListShows(runs[i]->tool)) << runs[i]->tool.PaneText().toStdString();
    EXPECT_TRUE(devices[i]->WaitForOutput("the tool's proof is correct", 5000));
    EXPECT_TRUE(runs[i]->tool.Caption().endsWith(QStringLiteral(" connected")));
  }
}

// A device that sends nothing is cut off when its first byte is a round-trip time late; one
// that sends its header a byte every 3 s, at the header's deadline (10 s plus the round-trip
// time). The window thread is never held meanwhile.
TEST(TcpListen, SilentAndDribblingDevicesAreCutOffWhileTheWindowRuns) {
  const std::string silentPort = FreePort();
  const std::string slowPort = FreePort();
  Tool silent({"-tcp=" + silentPort, "-rtt=4000"});
  Tool slow({"-tcp=" + slowPort, "-rtt=4000"});
  int64_t last = -1;
  int64_t longest = 0;
  QTimer probe;
  probe.setInterval(20);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const int64_t now = TickCount();
    if (last >= 0) longest = std::max(longest, now - last);
    last = now;
  });
  probe.start();

  TcpSocket silentDevice;
  TcpSocket slowDevice;
  ASSERT_TRUE(silent.PaneShows(QStringLiteral("Listening on"), 3000));
  ASSERT_TRUE(slow.PaneShows(QStringLiteral("Listening on"), 3000));
  ASSERT_TRUE(silentDevice.Adopt(DeviceConnects(silentPort)));
  ASSERT_TRUE(slowDevice.Adopt(DeviceConnects(slowPort)));
  const int64_t start = TickCount();
  std::atomic<bool> stop{false};
  std::thread dribble([&] {
    const std::string header = BuildConnectHeader(DeviceIdentity(), HeaderOptions());
    for (char c : header) {
      if (!slowDevice.SendAll(&c, 1)) return;
      for (int i = 0; i < 60 && !stop; ++i) SleepMs(50);
      if (stop) return;
    }
  });
  int64_t silentCut = -1;
  int64_t slowCut = -1;
  const QString refused = QStringLiteral("!Invalid TOA header!");
  const bool bothCut = WaitUntil(
      [&] {
        if (silentCut < 0 && silent.PaneText().contains(refused)) silentCut = TickCount() - start;
        if (slowCut < 0 && slow.PaneText().contains(refused)) slowCut = TickCount() - start;
        return silentCut >= 0 && slowCut >= 0;
      },
      25000);
  probe.stop();
  longest = std::max(longest, TickCount() - last);  // a stall at the very end counts too
  stop = true;
  dribble.join();
  ASSERT_TRUE(bothCut) << silentCut << " " << slowCut;
  // The cut comes after the accept (within a 500 ms tick) and the next 250 ms tick.
  EXPECT_GE(silentCut, 3900);
  EXPECT_LT(silentCut, 4000 + 750 + 1500);
  EXPECT_GE(slowCut, 13900);
  EXPECT_LT(slowCut, 14000 + 750 + 1500);
  EXPECT_LT(longest, 1000);
  for (TcpSocket* device : {&silentDevice, &slowDevice}) {
    std::string said;
    char buffer[64];
    ssize_t n;
    while ((n = device->Receive(buffer, sizeof buffer, 2000)) > 0) said.append(buffer, n);
    EXPECT_EQ(said, "BYE!\r\n");
  }
  // Both listen again.
  EXPECT_EQ(silent.Caption(), QString::fromStdString("vx.keeper Tool TCP:" + silentPort));
  EXPECT_TRUE(WaitUntil(
      [&] { return slow.Caption() == QString::fromStdString("vx.keeper Tool TCP:" + slowPort); },
      2000));
}

TEST(TcpListen, PortInUseGivesBindError) {
  TcpSocket holder;
  ASSERT_TRUE(holder.Bind("0.0.0.0", "0"));
  ASSERT_TRUE(holder.Listen(1));
  const std::string port = holder.LocalAddress().substr(holder.LocalAddress().rfind(':') + 1);
  Tool tool({"-tcp=" + port});
  EXPECT_TRUE(tool.PaneShows(QStringLiteral("BIND ERROR!"), 3000));
  EXPECT_TRUE(tool.PaneShows(QStringLiteral("LISTEN ERROR!"), 3000));
  Pump(600);  // the window stays up with nothing to accept
  EXPECT_FALSE(tool.LinkOpen());
}

TEST(InheritedSocket, HeaderIsReadInTheFirstTick) {
  int toolSide = -1;
  int deviceSide = -1;
  ASSERT_TRUE(LoopbackPair(toolSide, deviceSide));
  SimDevice sim;
  HeaderOptions header;
  header.key = "inherited";
  const std::string text = BuildConnectHeader(sim.Device().Identity(), header);
  ASSERT_EQ(write(deviceSide, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  Tool tool({"-sock=" + std::to_string(toolSide), "-key=inherited", "-rtt=2000", "-time=100"});
  EXPECT_EQ(tool.Caption(), QStringLiteral("vx.keeper Tool (socket)"));
  // The proof comes back before anything else; the device then serves its interpreter.
  std::string proof;
  std::atomic<StreamServer*> running{nullptr};
  std::thread serving([&] {
    char c;
    while (proof.size() < 66 && read(deviceSide, &c, 1) == 1) proof += c;
    StreamServer server(sim.Device(), deviceSide);
    running = &server;
    server.Run();
    running = nullptr;
  });
  const bool listed = ListShows(tool);
  const QString pane = tool.PaneText();
  tool.window.reset();  // closes the tool's end, which ends the service
  serving.join();
  EXPECT_EQ(proof, ExpectedProof(sim.Device().Identity(), header) + "\r\n");
  EXPECT_TRUE(listed) << pane.toStdString();
  EXPECT_TRUE(pane.contains(QStringLiteral("SHA: correct for secret key.")));
}

// A tool process on an inherited connection whose device never proves itself ends, with its
// window; one whose device did stays.
TEST(InheritedSocket, ProcessEndsWhenItsDeviceIsRefused) {
  struct Case {
    const char* name;
    std::string sends;
    bool closes;  // the device closes its end at once
    bool stays;
  };
  HeaderOptions right;
  right.key = "right";
  HeaderOptions wrong;
  wrong.key = "wrong";
  const Case cases[] = {
      {"garbage", "HELLO\r\n", false, false},
      {"silent", "", false, false},
      {"closes at once", "", true, false},
      {"wrong key", BuildConnectHeader(DeviceIdentity(), wrong), false, false},
      {"valid header", BuildConnectHeader(DeviceIdentity(), right), false, true},
  };
  struct Run {
    ChildProcess tool;
    int device = -1;
    ~Run() {
      if (device >= 0) close(device);
    }
  };
  std::vector<std::unique_ptr<Run>> runs;
  for (const Case& c : cases) {
    auto run = std::make_unique<Run>();
    int toolSide = -1;
    ASSERT_TRUE(LoopbackPair(toolSide, run->device));
    // Inheritable for this one start only, so that no other tool holds a copy.
    const int inherited = dup(toolSide);
    close(toolSide);
    ASSERT_TRUE(run->tool.Start({BinDir() + "/vxktool", "-sock=" + std::to_string(inherited),
                                 "-rtt=1000", "-time=100", "-key=right"}));
    close(inherited);
    const ssize_t sent = write(run->device, c.sends.data(), c.sends.size());
    ASSERT_EQ(sent, static_cast<ssize_t>(c.sends.size()));
    if (c.closes) {
      close(run->device);
      run->device = -1;
    }
    runs.push_back(std::move(run));
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    if (!cases[i].stays) {
      EXPECT_EQ(runs[i]->tool.Wait(10000), 2) << runs[i]->tool.Output();
    }
  }
  Run& served = *runs.back();
  EXPECT_TRUE(served.tool.Running());
  TcpSocket device;
  ASSERT_TRUE(device.Adopt(std::exchange(served.device, -1)));
  const std::string proof = ExpectedProof(DeviceIdentity(), right) + "\r\n";
  std::string got;
  char buffer[128];
  const int64_t deadline = TickCount() + 5000;
  while (got.size() < proof.size() && TickCount() < deadline) {
    const ssize_t n =
        device.Receive(buffer, std::min(sizeof buffer, proof.size() - got.size()), 50);
    if (n < 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(got, proof);
}

TEST(InheritedSocket, StandardInputIsNeverTaken) {
  Tool tool({"-sock=x"});
  Pump(600);
  EXPECT_FALSE(tool.LinkOpen());
  EXPECT_NE(fcntl(0, F_GETFD), -1);  // still open
}

TEST(SerialPort, PseudoTerminalDevice) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  SimDevice sim;
  sim.Device().Identity().capabilities = ".nothing.";  // the serial link does not ask
  StreamServer server(sim.Device(), master);
  std::thread serving([&] { server.Run(true); });
  bool listed = false;
  QString caption;
  QString info;
  {
    Tool tool({"-com=" + slave, "-time=500"});
    caption = tool.Caption();
    listed = ListShows(tool);
    info = tool.window->Browser().memInfo->toPlainText();
    EXPECT_EQ(tool.Worker([](Session& s) { return s.Link().Capabilities(); }), ".nfi.uft.lcd.");
  }
  server.Stop();
  serving.join();
  EXPECT_EQ(caption, QString::fromStdString("vx.keeper Tool (COM" + slave + ")"));
  EXPECT_TRUE(listed);
  EXPECT_EQ(info,
            QStringLiteral("Corvane\n#999999\nvx.keeper.Unknown v0.00 (build 0000 @ 2018-01-01)"));
}

TEST(SerialPort, NumberedPortThatDoesNotExist) {
  Tool tool({"-com=3"});
  EXPECT_EQ(tool.Caption(), QStringLiteral("vx.keeper Tool (COM3)"));
  Tool none({"-com=x"});
  EXPECT_EQ(none.Caption(), QStringLiteral("vx.keeper Tool (COM0)"));
  Pump(300);
  EXPECT_FALSE(none.LinkOpen());
}

}  // namespace
