#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "sim/BasicCommands.h"
#include "sim/SimDevice.h"

using namespace vxk;

namespace {

const std::string kPrompt = "\xABvxk>\xBB";

// The whole device on a clock the test moves by hand.
class DeviceFaults : public ::testing::Test {
 protected:
  DeviceFaults() {
    Device().SetClock([this] { return now; });
  }
  VirtualDevice& Device() { return sim.Device(); }
  std::string Output() { return Device().TakeOutput(0, SIZE_MAX); }
  const SimFileSystem::Node* Node(const std::string& path) {
    return sim.Files().Files().Find(path);
  }

  int64_t now = 1000;
  SimDevice sim;
};

TEST_F(DeviceFaults, PausedUploadIsAbandonedAndTypingResumes) {
  Device().Receive(0, "NFWRITE /Logs/part.txt\t10\tw\r");
  EXPECT_EQ(Output(), "Send file\r\n");
  EXPECT_EQ(Device().NextDeadline(), now + VirtualDevice::kReceiveTimeoutMs);
  Device().Receive(0, "abc");
  now += 1999;
  Device().Receive(0, "de");  // every arrival starts the wait anew
  now += 1999;
  Device().Tick(now);
  EXPECT_EQ(Output(), "");
  now += 1;
  Device().Tick(now);
  EXPECT_EQ(Output(), "62:Timer expired\r\n" + kPrompt);
  EXPECT_EQ(Node("/Logs/part.txt"), nullptr);
  EXPECT_EQ(Device().NextDeadline(), -1);
  Device().Receive(0, "echo after\r");
  EXPECT_EQ(Output(), "after\r\n" + kPrompt);

  // Without a tick, the next arrival notices the pause before it is read as anything.
  Device().Receive(0, "NFWRITE /Logs/part.txt\t3\tw\r");
  EXPECT_EQ(Output(), "Send file\r\n");
  now += 5000;
  Device().Receive(0, "echo late\r");
  EXPECT_EQ(Output(), "62:Timer expired\r\n" + kPrompt + "late\r\n" + kPrompt);
  EXPECT_EQ(Node("/Logs/part.txt"), nullptr);
}

TEST_F(DeviceFaults, RefusalAtAnOffsetAndWithItsPromptLater) {
  sim.Files().Faults().refuseAfter = 1000;
  Device().Receive(0, "NFWRITE /Logs/big.txt\t5000\tw\r");
  EXPECT_EQ(Output(), "Send file\r\n");
  Device().Receive(0, std::string(999, 'x'));
  EXPECT_EQ(Output(), "");
  Device().Receive(0, "x");
  EXPECT_EQ(Output(), "28:No space left on device\r\n" + kPrompt);
  EXPECT_EQ(Node("/Logs/big.txt"), nullptr);

  sim.Files().Faults().splitRefusal = true;
  sim.Files().Faults().refusalGapMs = 300;
  Device().Receive(0, "NFWRITE /Logs/big.txt\t5000\tw\r");
  EXPECT_EQ(Output(), "Send file\r\n");
  // The rest of the data and a command in the gap are lost, not run.
  Device().Receive(0, std::string(1500, 'x') + "\recho lost\r");
  EXPECT_EQ(Output(), "28:No space left on device\r\n");
  now += 299;
  Device().Receive(0, "echo lost\r");
  EXPECT_EQ(Output(), "");
  now += 1;
  Device().Tick(now);
  EXPECT_EQ(Output(), kPrompt);
  Device().Receive(0, "echo back\r");
  EXPECT_EQ(Output(), "back\r\n" + kPrompt);
  EXPECT_EQ(Node("/Logs/big.txt"), nullptr);
}

TEST_F(DeviceFaults, FloodTalksWithoutEndUntilStopped) {
  Device().Receive(0, "FLOOD\r");
  std::string seen;
  for (int i = 0; i < 32; ++i) seen += Device().TakeOutput(0, 65536);
  EXPECT_EQ(seen.size(), 32u * 65536u);
  EXPECT_EQ(seen.find_first_of("\xAB\xBB"), std::string::npos);
  EXPECT_NE(seen.find("\nflood 50000 "), std::string::npos);  // it goes on, not round
  // Made as it is taken: the device holds little of it.
  EXPECT_LE(Device().PendingOutput(0), VirtualDevice::kGenerateAhead);
  // A busy device ignores ESC and commands.
  Device().Receive(0,
                   "\x1B"
                   "echo x\r");
  EXPECT_EQ(Device().TakeOutput(0, 65536).find_first_of("\xAB\xBB"), std::string::npos);

  StopFlood(Device());
  Output();
  Device().Receive(0, "echo x\r");
  EXPECT_EQ(Output(), "x\r\n" + kPrompt);

  Device().Receive(0, "flood ab\r");
  const std::string ab = Device().TakeOutput(0, 200000);
  EXPECT_GE(ab.size(), 4096u);
  EXPECT_EQ(ab, std::string(ab.size(), '\xAB'));
  EXPECT_GT(Device().PendingOutput(0), 0u);
}

}  // namespace
