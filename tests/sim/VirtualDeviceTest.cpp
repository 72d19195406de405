#include "sim/VirtualDevice.h"

#include <gtest/gtest.h>

#include "sim/BasicCommands.h"

using namespace vxk;

namespace {

class DeviceTest : public ::testing::Test {
 protected:
  DeviceTest() { InstallBasicCommands(device); }
  std::string Output() { return device.TakeOutput(0, SIZE_MAX); }

  VirtualDevice device;
};

TEST_F(DeviceTest, EscRedrawsThePromptAndAbandonsTheLine) {
  device.Receive(0, "ech");
  device.Receive(0, "\x1B");
  EXPECT_EQ(Output(), "\r\n\xABvxk>\xBB");
  device.Receive(0, "echo hi\r");
  EXPECT_EQ(Output(), "hi\r\n\xABvxk>\xBB");
  EXPECT_EQ(device.LastCommand(), "echo hi");
}

TEST_F(DeviceTest, BackspaceEditsAndLineFeedIsIgnored) {
  device.Receive(0, "echo abX\b\nc\r");
  EXPECT_EQ(Output(), "abc\r\n\xABvxk>\xBB");
}

TEST_F(DeviceTest, PasswordGuardsTheInterpreter) {
  device.SetPassword("pw");
  device.Receive(0, "\x1B");
  EXPECT_EQ(Output(), "\r\n\xABPASSWORD:\xBB");
  device.Receive(0, "echo x\r");
  EXPECT_EQ(Output(), "Wrong password\r\n\xABPASSWORD:\xBB");
  device.Receive(0, "pw\r");
  EXPECT_EQ(Output(), "Password accepted\r\n\xABvxk>\xBB");
  EXPECT_FALSE(device.Locked());
}

TEST_F(DeviceTest, UnknownAndEmptyCommands) {
  device.Receive(0, "frob 1\r");
  EXPECT_EQ(Output(), "Unknown command: frob 1\r\n\xABvxk>\xBB");
  device.Receive(0, "EMPTY\r");
  EXPECT_EQ(Output(), "\xABvxk>\xBB");
  device.Receive(0, "   \r");
  EXPECT_EQ(Output(), "\xABvxk>\xBB");
}

TEST_F(DeviceTest, DumpProducesExactlyTheCountAsked) {
  device.Receive(0, "dump 1000\r");
  const std::string out = Output();
  ASSERT_EQ(out.size(), 1000u + 6u);
  EXPECT_EQ(out.find('\xAB'), 1000u);
}

TEST_F(DeviceTest, RawDataGoesToTheSinkThenCommandsResume) {
  std::string got;
  device.RegisterCommand("take", [&](VirtualDevice& d, const std::string& args) {
    d.ExpectData(std::stoul(args), [&](VirtualDevice& dd, const std::string& data) {
      got = data;
      dd.EmitPrompt();
    });
  });
  device.Receive(0, "take 5\rab\r");
  device.Receive(0,
                 "\x1B"
                 "cecho x\r");
  EXPECT_EQ(got,
            "ab\r\x1B"
            "c");
  EXPECT_EQ(Output(), "\xABvxk>\xBBx\r\n\xABvxk>\xBB");
}

TEST_F(DeviceTest, LongLinesAreBounded) {
  device.Receive(0, "echo " + std::string(10000, 'a') + "\r");
  EXPECT_LE(Output().size(), VirtualDevice::kMaxLine + 16);
}

TEST_F(DeviceTest, OutputIsTakenInPiecesPerChannel) {
  device.Emit(31, "log");
  device.Print("abcdef");
  EXPECT_EQ(device.TakeOutput(0, 4), "abcd");
  EXPECT_EQ(device.PendingOutput(0), 2u);
  EXPECT_EQ(device.TakeOutput(31, 10), "log");
  EXPECT_EQ(device.TakeOutput(0, 10), "ef");
  EXPECT_FALSE(device.HasOutput());
}

}  // namespace
