#include "comms/vxTerminal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "comms/Packet.h"
#include "comms/Ticks.h"
#include "sim/BasicCommands.h"
#include "sim/HidRig.h"
#include "sim/TcpRig.h"

using namespace vxk;

namespace {

class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.link.SetRoundTripTime(20);
    rig.link.SetExtraTime(20);
    ASSERT_TRUE(rig.link.Open());
  }

  // Device output that arrives without a command.
  void DeviceSends(const std::string& bytes) {
    rig.backend.WithDevice([&](VirtualDevice& d) { d.Print(bytes); });
  }

  HidRig rig;
  TvxTerminal term{rig.link};
};

TEST_F(TerminalTest, ReadCharsKeepsAnIncompleteBlockForTheNextRead) {
  DeviceSends(std::string(100, 'x'));
  const int64_t start = TickCount();
  EXPECT_EQ(term.ReadChars(4096, 100), "");
  EXPECT_TRUE(term.TimedOut());
  EXPECT_GE(TickCount() - start, 90);
  EXPECT_EQ(term.ReadChars(100, 100), std::string(100, 'x'));
  EXPECT_FALSE(term.TimedOut());
}

TEST_F(TerminalTest, ReadCharsAssemblesAcrossPackets) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>('a' + i % 26);
  DeviceSends(text);
  EXPECT_EQ(term.ReadChars(150, 100), text.substr(0, 150));
  EXPECT_EQ(term.ReadChars(150, 100), text.substr(150));
}

TEST_F(TerminalTest, ReadUntilCutsAtTheLastCutMarker) {
  DeviceSends("one\r\ntwo\r\n");
  EXPECT_EQ(term.ReadUntil("\r\n", "\r\n", 100), "one");
  EXPECT_EQ(term.ReadUntil("\r\n", "\r\n", 100), "two");
  DeviceSends("\r\n");
  EXPECT_EQ(term.ReadUntil("\r\n", "\r\n", 100), "");
  EXPECT_FALSE(term.TimedOut());
  // Cut at the last cut marker, not the first.
  DeviceSends("a-b-c!");
  EXPECT_EQ(term.ReadUntil("!", "-", 100), "a-b");
  // No cut marker in the text: it stays whole, end marker included.
  DeviceSends("xyz!");
  EXPECT_EQ(term.ReadUntil("!", "#", 100), "xyz!");
}

TEST_F(TerminalTest, ReadUntilWithEmptyEndCollectsUntilQuiet) {
  DeviceSends("all of it");
  rig.link.SetExtraTime(30);
  const int64_t start = TickCount();
  EXPECT_EQ(term.ReadUntil("", "", 50), "all of it");
  EXPECT_TRUE(term.TimedOut());
  // The per-byte wait is the time-out plus the link's extra time.
  EXPECT_GE(TickCount() - start, 75);
}

TEST_F(TerminalTest, ReadUntilReturnsPartialTextUncutOnTimeOut) {
  DeviceSends("partial-line");
  EXPECT_EQ(term.ReadUntil("\r\n", "-", 30), "partial-line");
  EXPECT_TRUE(term.TimedOut());
}

TEST_F(TerminalTest, ReadUntilOnClosedLinkFailsAtOnce) {
  rig.link.Close();
  const int64_t start = TickCount();
  EXPECT_EQ(term.ReadUntil("\r\n", "\r\n", 1000), "");
  EXPECT_TRUE(term.TimedOut());
  EXPECT_LT(TickCount() - start, 50);
}

TEST_F(TerminalTest, CommandExchangeThroughTheVirtualDevice) {
  term.SendLine("echo hello");
  EXPECT_EQ(term.ReadReply(200), "hello\r\n");
  EXPECT_EQ(term.ReadToPromptEnd(100), "vxk>");
  EXPECT_EQ(rig.device.LastCommand(), "echo hello");
}

TEST_F(TerminalTest, ReadReplySkipsEmptyReplies) {
  term.SendLine("empty");
  term.SendLine("echo after");
  // The first prompt comes with nothing before it; the reply of the second command counts.
  EXPECT_EQ(term.ReadReply(200),
            "vxk>\xBB"
            "after\r\n");
}

TEST_F(TerminalTest, ReadToPromptEndWaitsItsTimeOutPlusExtraTime) {
  rig.link.SetExtraTime(40);
  const int64_t start = TickCount();
  EXPECT_EQ(term.ReadToPromptEnd(100), "");
  EXPECT_TRUE(term.TimedOut());
  EXPECT_GE(TickCount() - start, 135);
}

TEST_F(TerminalTest, PromptContainsSeesThePasswordPrompt) {
  rig.device.SetPassword("secret");
  EXPECT_TRUE(term.PromptContains("PASSWORD"));
  EXPECT_FALSE(term.IsReadyForCommands());
  term.SendLine("secret");
  EXPECT_FALSE(term.PromptContains("PASSWORD"));
  EXPECT_TRUE(term.IsReadyForCommands());
  EXPECT_EQ(rig.link.LockCount(), 0);
}

TEST_F(TerminalTest, PromptContainsDrainsOldOutputFirst) {
  DeviceSends("old\xABPASSWORD:\xBB more \xABold\xBB");
  EXPECT_FALSE(term.PromptContains("PASSWORD"));
}

TEST_F(TerminalTest, PromptContainsWithNoDeviceAnswerIsFalse) {
  rig.link.Close();
  EXPECT_FALSE(term.PromptContains("PASSWORD"));
  EXPECT_TRUE(term.IsReadyForCommands());
}

TEST_F(TerminalTest, SendFailsOnClosedLink) {
  rig.link.Close();
  EXPECT_FALSE(term.Send("x"));
}

TEST_F(TerminalTest, ClearInputDropsTheLinkBufferButNotTheEngineBuffer) {
  DeviceSends("abcdef");
  EXPECT_EQ(term.ReadChars(2, 100), "ab");  // "cdef" waits in the engine
  rig.backend.InjectReport(MakePacket(0, 0, "zz"));
  rig.link.Poll(0);
  term.ClearInput();
  EXPECT_EQ(rig.link.BufferedBytes(0), 0u);
  EXPECT_EQ(term.ReadChars(4, 50), "cdef");
}

TEST_F(TerminalTest, ProductTestsAreCaseSensitiveSubstrings) {
  rig.device.Identity().product = "vx.keeper BootLoader";
  EXPECT_TRUE(term.IsBootLoader());
  EXPECT_TRUE(term.IsKeeperDevice());
  EXPECT_FALSE(term.IsAteDevice());
  rig.device.Identity().product = "VX.KEEPER ate";
  EXPECT_FALSE(term.IsKeeperDevice());
  EXPECT_FALSE(term.IsAteDevice());
}

TEST_F(TerminalTest, LockTakenElsewhereMakesReadsFailWithoutTouchingTimedOut) {
  // Another process would hold the lock; a second lock object on the same file stands in.
  TerminalLock other(rig.lock.Path());
  std::thread holder([&] { other.Lock(0); });
  holder.join();
  DeviceSends("x");
  EXPECT_EQ(term.ReadChars(1, 50), "");
  EXPECT_FALSE(term.TimedOut());
  EXPECT_FALSE(term.PromptContains("x"));
  EXPECT_GT(rig.link.LockFailures(), 0);
  EXPECT_EQ(rig.link.LockCount(), 0);
}

// A TCP device that talks without end.
struct FloodingDevice {
  explicit FloodingDevice(Flood kind) {
    rig.link.SetRoundTripTime(20);
    rig.link.SetExtraTime(0);
    rig.link.Open();
    rig.WithDevice([&](VirtualDevice& d) { StartFlood(d, kind); });
  }
  TcpRig rig;
  TvxTerminal term{rig.link};
};

TEST(TerminalBounds, EndlessTalkerEndsEveryReadWithTimedOut) {
  FloodingDevice peer(Flood::Text);
  ASSERT_TRUE(peer.rig.link.IsOpen());
  TvxTerminal& term = peer.term;
  int64_t start = TickCount();
  const std::string reply = term.ReadReply(100);
  EXPECT_TRUE(term.TimedOut());
  EXPECT_LE(reply.size(), TvxTerminal::kMaxReply);
  EXPECT_LT(TickCount() - start, 5000);
  start = TickCount();
  EXPECT_LE(term.ReadToPromptEnd(100).size(), TvxTerminal::kMaxLine);
  EXPECT_TRUE(term.TimedOut());
  EXPECT_LT(TickCount() - start, 5000);
  start = TickCount();
  EXPECT_LE(term.ReadUntil("", "", 100).size(), TvxTerminal::kMaxReply);  // bytes or time
  EXPECT_TRUE(term.TimedOut());
  EXPECT_LT(TickCount() - start, 5000);
  start = TickCount();
  EXPECT_FALSE(term.PromptContains("PASSWORD"));
  EXPECT_LT(TickCount() - start, 10000);
  EXPECT_EQ(peer.rig.link.LockCount(), 0);
}

TEST(TerminalBounds, EndlessEmptyRepliesEndReadReply) {
  FloodingDevice peer(Flood::EmptyReplies);
  const int64_t start = TickCount();
  EXPECT_EQ(peer.term.ReadReply(100), "");
  EXPECT_TRUE(peer.term.TimedOut());
  EXPECT_LT(TickCount() - start, 5000);
}

// Log records on channel 31 must not keep a channel-0 wait from ending at its deadline.
TEST_F(TerminalTest, LogTrafficDoesNotStretchAReplyWait) {
  std::atomic<bool> stop{false};
  std::thread logger([&] {
    while (!stop) {
      rig.backend.InjectReport(MakePacket(31, 0, "log record"));
      SleepMs(30);
    }
  });
  const int64_t start = TickCount();
  EXPECT_EQ(term.ReadReply(300), "");
  const int64_t waited = TickCount() - start;
  stop = true;
  logger.join();
  EXPECT_TRUE(term.TimedOut());
  EXPECT_LT(waited, 1500);
}

}  // namespace
