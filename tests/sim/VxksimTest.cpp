#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "comms/TcpSocket.h"
#include "comms/Ticks.h"
#include "comms/vxCommsComPort.h"
#include "comms/vxCommsSocket.h"
#include "comms/vxTerminal.h"
#include "security/ConnectHeader.h"
#include "sim/ChildProcess.h"
#include "sim/ScratchLock.h"
#include "sim/SimOptions.h"

using namespace vxk;

namespace {

std::string Vxksim() {
  return BinDir() + "/vxksim";
}

// A tool-side listener on a free loopback port.
struct Listener {
  Listener() {
    socket.Bind("127.0.0.1", "0");
    socket.Listen(1);
    port = socket.LocalAddress().substr(socket.LocalAddress().rfind(':') + 1);
  }
  int AcceptWithin(int ms) { return socket.WaitReadable(ms) ? socket.Accept() : -1; }

  TcpSocket socket;
  std::string port;
};

class VxksimTcp : public ::testing::Test {
 protected:
  void Connect(const std::vector<std::string>& extra) {
    std::vector<std::string> argv{Vxksim(), "--tcp", "127.0.0.1:" + listener.port};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ASSERT_TRUE(sim.Start(argv));
    const int fd = listener.AcceptWithin(5000);
    ASSERT_GE(fd, 0) << sim.Output();
    link.AttachSocket(fd);
    link.SetRoundTripTime(2000);
    link.SetExtraTime(100);
    ASSERT_TRUE(link.Open());
  }
  bool Header(const std::string& secret) {
    return ProcessConnectHeader(link, secret, [&](const std::string& s) { status.push_back(s); });
  }

  Listener listener;
  ChildProcess sim;
  ScratchLock lock;
  TvxCommsSocket link{lock.Lock()};
  std::vector<std::string> status;
};

TEST_F(VxksimTcp, HmacHeaderIsAcceptedAndTheToolsProofChecked) {
  Connect({"--key", "s3cret", "--serial", "777", "--product", "vx.keeper.Test", "--caps", ".nfi."});
  ASSERT_TRUE(Header("s3cret"));
  EXPECT_EQ(status, (std::vector<std::string>{"Site: Simulated site", "User: vxksim",
                                              "SHA: correct for secret key."}));
  EXPECT_EQ(link.SerialNumber(), "777");
  EXPECT_EQ(link.ProductName(), "vx.keeper.Test");
  EXPECT_EQ(link.Capabilities(), ".nfi.");
  EXPECT_TRUE(sim.WaitForOutput("the tool's proof is correct", 5000)) << sim.Output();

  TvxTerminal term(link);
  term.SendLine(
      "\x1B"
      "echo over tcp");
  term.ReadToPromptEnd(1000);
  EXPECT_EQ(term.ReadReply(2000), "over tcp\r\n");

  link.Close();
  EXPECT_EQ(sim.Wait(5000), 0) << sim.Output();
}

TEST_F(VxksimTcp, WrongSecretIsRefusedWithBye) {
  Connect({"--key", "device-secret"});
  EXPECT_FALSE(Header("tool-secret"));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(sim.Wait(5000), 1);
  EXPECT_NE(sim.Output().find("refused the header (BYE!)"), std::string::npos) << sim.Output();
}

TEST_F(VxksimTcp, PlainHeaderWithoutKey) {
  Connect({});
  ASSERT_TRUE(Header(""));
  EXPECT_EQ(status.back(), "SHA: correct.");
}

TEST(Vxksim, ServesAPseudoTerminalUntilTerminated) {
  const std::string path = "/tmp/vxksim-test-" + std::to_string(getpid());
  ChildProcess sim;
  ASSERT_TRUE(sim.Start({Vxksim(), "--pty", path}));
  ASSERT_TRUE(sim.WaitForOutput("serving", 5000)) << sim.Output();
  ScratchLock lock;
  TvxCommsComPort port(lock.Lock());
  port.SetPortPath(path);
  port.SetRoundTripTime(50);
  port.SetExtraTime(200);
  ASSERT_TRUE(port.Open());
  TvxTerminal term(port);
  term.SendLine(
      "\x1B"
      "echo over serial");
  term.ReadToPromptEnd(1000);
  EXPECT_EQ(term.ReadReply(2000), "over serial\r\n");
  term.ReadToPromptEnd(200);
  // The tool may close the port and open it again.
  port.Close();
  ASSERT_TRUE(port.Open());
  term.SendLine(
      "\x1B"
      "echo again");
  term.ReadToPromptEnd(1000);
  EXPECT_EQ(term.ReadReply(2000), "again\r\n");
  port.Close();

  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(5000), 0) << sim.Output();
  struct stat st {};
  EXPECT_NE(lstat(path.c_str(), &st), 0);  // the link is gone
}

TEST(Vxksim, HelpAndBadOptions) {
  ChildProcess help;
  ASSERT_TRUE(help.Start({Vxksim(), "--help"}));
  EXPECT_EQ(help.Wait(5000), 0);
  for (const char* option :
       {"--tcp", "--pty", "--key", "--root", "--password", "--drop-after", "--latency-in",
        "--latency-out", "--chunk-gap", "--line-rate", "--refuse-after", "--split-refusal",
        "--receive-timeout", "--flood-on"}) {
    EXPECT_NE(help.Output().find(option), std::string::npos) << option;
  }
  ChildProcess bad;
  ASSERT_TRUE(bad.Start({Vxksim(), "--frobnicate"}));
  EXPECT_EQ(bad.Wait(5000), 2);
  EXPECT_NE(bad.Output().find("unknown option --frobnicate"), std::string::npos);
  ChildProcess nothing;
  ASSERT_TRUE(nothing.Start({Vxksim(), "--tcp", "127.0.0.1:1", "--pty", "/tmp/x"}));
  EXPECT_EQ(nothing.Wait(5000), 2);
}

TEST(Vxksim, TimingAndFaultOptions) {
  const char* argv[] = {"--pty",
                        "/tmp/x",
                        "--latency-in",
                        "10",
                        "--latency-out",
                        "20",
                        "--chunk",
                        "64",
                        "--chunk-gap",
                        "5",
                        "--line-rate",
                        "9600",
                        "--refuse-after",
                        "100",
                        "--split-refusal",
                        "--flood-ab-on",
                        "TIME"};
  const SimOptions o = ParseSimOptions(sizeof argv / sizeof *argv, argv);
  EXPECT_EQ(o.timing.toDeviceLatencyMs, 10);
  EXPECT_EQ(o.timing.toHostLatencyMs, 20);
  EXPECT_EQ(o.timing.chunkBytes, 64u);
  EXPECT_EQ(o.timing.chunkGapMs, 5);
  EXPECT_EQ(o.timing.bytesPerSecond, 9600);
  EXPECT_EQ(o.faults.refuseAfter, 100);
  EXPECT_TRUE(o.faults.splitRefusal);
  ASSERT_EQ(o.floods.size(), 1u);
  EXPECT_EQ(o.floods[0], std::make_pair(std::string("TIME"), true));
  const char* negative[] = {"--pty", "/tmp/x", "--latency", "-5"};
  EXPECT_THROW(ParseSimOptions(4, negative), std::invalid_argument);
}

// A flood on one of the tool's commands, through the program: the reply never ends.
TEST_F(VxksimTcp, FloodOnACommandNeverReachesThePrompt) {
  Connect({"--flood-on", "ver"});
  ASSERT_TRUE(Header(""));
  ASSERT_TRUE(link.Write("ver\r", 0, 0, 1000));
  std::string seen;
  const int64_t deadline = TickCount() + 30000;
  while (seen.size() < 256 * 1024 && TickCount() < deadline) seen += link.Read(0, 100, -1);
  EXPECT_GE(seen.size(), 256u * 1024u);
  EXPECT_EQ(seen.find('\xBB'), std::string::npos);
  EXPECT_NE(seen.find("flood 1 "), std::string::npos);
}

TEST(Vxksim, GivesUpWhenNobodyListens) {
  Listener closed;
  const std::string port = closed.port;
  closed.socket.Close();
  ChildProcess sim;
  ASSERT_TRUE(sim.Start({Vxksim(), "--tcp", "127.0.0.1:" + port, "--retry-ms", "300"}));
  EXPECT_EQ(sim.Wait(5000), 1);
  EXPECT_NE(sim.Output().find("cannot connect"), std::string::npos);
}

}  // namespace
