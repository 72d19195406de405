#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "comms/HidReader.h"
#include "comms/Packet.h"
#include "comms/RawHid.h"
#include "comms/Ticks.h"
#include "sim/HidRig.h"

using namespace vxk;

namespace {

// The data of a whole packet that starts with i.
std::string NumberedPacket(int i) {
  std::string data = std::to_string(i);
  data.resize(kPacketData, '.');
  return data;
}

class HidLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.backend.CaptureWrites(true);
    ASSERT_TRUE(rig.link.Open());
  }

  // Puts one packet for a channel into the link's input, as the device would send it.
  void Inject(int channel, const std::string& data) {
    rig.backend.InjectReport(MakePacket(channel, 0, data));
  }

  // Reports reach the link through its reader thread: polls until the channel holds at least
  // bytes, for at most five seconds.
  bool PollUntil(int channel, size_t bytes) {
    const int64_t end = TickCount() + 5000;
    while (rig.link.BufferedBytes(channel) < bytes && TickCount() < end) rig.link.Poll(20);
    return rig.link.BufferedBytes(channel) >= bytes;
  }

  HidRig rig;
};

TEST_F(HidLinkTest, WriteCutsTextInto61BytePackets) {
  EXPECT_TRUE(rig.link.Write("", 0, 0, 200));
  EXPECT_TRUE(rig.backend.WrittenPackets().empty());

  EXPECT_TRUE(rig.link.Write(std::string(61, 'a'), 0, 7, 200));
  auto packets = rig.backend.WrittenPackets();
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].size(), 64u);
  EXPECT_EQ(packets[0][0], 0);
  EXPECT_EQ(packets[0][1], 7);
  EXPECT_EQ(packets[0][2], 61);

  std::string text(61, 'b');
  text += 'c';
  EXPECT_TRUE(rig.link.Write(text, 5, 0, 200));
  packets = rig.backend.WrittenPackets();
  ASSERT_EQ(packets.size(), 3u);
  EXPECT_EQ(packets[1][0], 5);
  EXPECT_EQ(packets[1][2], 61);
  EXPECT_EQ(packets[2][2], 1);
  EXPECT_EQ(packets[2][3], 'c');
  // Filler after the data is zero.
  EXPECT_EQ(packets[2].substr(4), std::string(60, '\0'));
}

TEST_F(HidLinkTest, WriteRefusesInvalidChannels) {
  EXPECT_FALSE(rig.link.Write("x", 32, 0, 200));
  EXPECT_FALSE(rig.link.Write("x", -1, 0, 200));
  EXPECT_TRUE(rig.backend.WrittenPackets().empty());
  EXPECT_TRUE(rig.link.IsOpen());
}

TEST_F(HidLinkTest, WriteThatTimesOutClosesTheLink) {
  rig.backend.SetWritesTimeOut(true);
  EXPECT_FALSE(rig.link.Write("hello", 0, 0, 200));
  EXPECT_TRUE(rig.link.TimedOut());
  EXPECT_FALSE(rig.link.IsOpen());
}

TEST_F(HidLinkTest, ReadSplitsAPacketAndKeepsTheRestAtTheHead) {
  Inject(0, "abcde");
  EXPECT_EQ(rig.link.Read(0, 100, 1), "a");
  EXPECT_EQ(rig.link.BufferedBytes(0), 64u);
  EXPECT_EQ(rig.link.Read(0, 100, 2), "bc");
  EXPECT_EQ(rig.link.Read(0, 100, -1), "de");
  EXPECT_EQ(rig.link.BufferedBytes(0), 0u);
}

TEST_F(HidLinkTest, ReadDeliversOnePacketPerCall) {
  Inject(0, "first");
  Inject(0, "second");
  EXPECT_EQ(rig.link.Read(0, 100), "first");
  EXPECT_EQ(rig.link.Read(0, 100), "second");
  EXPECT_EQ(rig.link.Read(0, 0), "");
  EXPECT_TRUE(rig.link.TimedOut());
}

TEST_F(HidLinkTest, PollDropsBadPacketsAndKeepsChannelsApart) {
  Inject(31, "log");
  rig.backend.InjectReport(MakePacket(40, 0, "nowhere"));
  std::string tooLong = MakePacket(0, 0, "x");
  tooLong[2] = 62;  // claims more data than a packet holds
  rig.backend.InjectReport(tooLong);
  Inject(31, "end");
  ASSERT_TRUE(PollUntil(31, 2 * kPacketSize));
  // Everything before "end" has been polled: the report of channel 40 and the bad one are gone.
  EXPECT_EQ(rig.link.BufferedBytes(0), 0u);
  EXPECT_EQ(rig.link.Read(31, 0), "log");
  EXPECT_EQ(rig.link.Read(31, 0), "end");
  EXPECT_EQ(rig.link.Read(0, 0), "");
}

TEST_F(HidLinkTest, TrafficOnAnotherChannelEndsAtTheDeadlineWithoutTimeOut) {
  // The device keeps sending log packets while channel 0 stays silent.
  std::thread logger([&] {
    for (int i = 0; i < 20; ++i) {
      Inject(31, "log");
      SleepMs(10);
    }
  });
  const int64_t start = TickCount();
  EXPECT_EQ(rig.link.Read(0, 60), "");
  const int64_t waited = TickCount() - start;
  logger.join();
  EXPECT_FALSE(rig.link.TimedOut());
  EXPECT_GE(waited, 60);
  EXPECT_LT(waited, 190);
  EXPECT_EQ(rig.link.Read(31, 0), "log");
}

TEST_F(HidLinkTest, ReadWaitsForItsTimeOutWhenNothingComes) {
  const int64_t start = TickCount();
  EXPECT_EQ(rig.link.Read(0, 120), "");
  const int64_t waited = TickCount() - start;
  EXPECT_TRUE(rig.link.TimedOut());
  EXPECT_GE(waited, 110);
  EXPECT_LT(waited, 1000);
}

TEST_F(HidLinkTest, NegativeTimeOutPollsOnceWithoutWaiting) {
  const int64_t start = TickCount();
  EXPECT_EQ(rig.link.Read(0, -1), "");
  EXPECT_LT(TickCount() - start, 50);
  Inject(0, "x");
  // Without waiting, the report is delivered once the reader thread has queued it.
  std::string got;
  for (const int64_t end = TickCount() + 5000; got.empty() && TickCount() < end; SleepMs(1)) {
    got = rig.link.Read(0, -1);
  }
  EXPECT_EQ(got, "x");
}

// Device output of count whole packets, each starting with its number.
void EmitNumberedPackets(FakeHidBackend& backend, int count) {
  backend.WithDevice([&](VirtualDevice& d) {
    for (int i = 0; i < count; ++i) d.Print(NumberedPacket(i));
  });
}

// The terminal buffer holds 2048 packets; what comes beyond waits for room, none is lost.
TEST_F(HidLinkTest, FullTerminalBufferHoldsTheRestBackInOrder) {
  EmitNumberedPackets(rig.backend, 2100);
  ASSERT_TRUE(PollUntil(0, kChannelCap));
  EXPECT_EQ(rig.link.BufferedBytes(0), kChannelCap);
  for (int i = 0; i < 5; ++i) rig.link.Poll(20);
  EXPECT_EQ(rig.link.BufferedBytes(0), kChannelCap);
  for (int i = 0; i < 2100; ++i) ASSERT_EQ(rig.link.Read(0, 1000), NumberedPacket(i)) << i;
}

TEST_F(HidLinkTest, BurstBetweenPollsArrivesWholeAndInOrder) {
  // Unsolicited log output, one report per millisecond as a full-speed interrupt endpoint
  // delivers it, while nobody polls the link: far more than hidapi's 30 reports.
  constexpr int kBurst = 1024;
  std::thread device([&] {
    for (int i = 0; i < kBurst; ++i) {
      Inject(31, std::to_string(i));
      SleepMs(1);
    }
  });
  device.join();
  ASSERT_TRUE(PollUntil(31, kBurst * kPacketSize));
  for (int i = 0; i < kBurst; ++i) ASSERT_EQ(rig.link.Read(31, 0), std::to_string(i));
}

TEST_F(HidLinkTest, OutputBeforeADisconnectArrivesThenTheLinkCloses) {
  rig.backend.WithDevice([](VirtualDevice& d) {
    d.Print("bye");
    d.RequestDisconnect();
  });
  EXPECT_EQ(rig.link.Read(0, 1000), "bye");
  EXPECT_EQ(rig.link.Read(0, 1000), "");
  EXPECT_FALSE(rig.link.IsOpen());
}

TEST_F(HidLinkTest, ClearChannelEmptiesOnlyThatChannel) {
  Inject(0, "a");
  Inject(31, "b");
  ASSERT_TRUE(PollUntil(31, 64));
  EXPECT_EQ(rig.link.BufferedBytes(0), 64u);
  rig.link.ClearChannel(0);
  rig.link.ClearChannel(99);  // ignored
  EXPECT_EQ(rig.link.BufferedBytes(0), 0u);
  EXPECT_EQ(rig.link.BufferedBytes(31), 64u);
}

TEST_F(HidLinkTest, IdentityTextsComeFromTheDeviceStrings) {
  const DeviceIdentity& id = rig.device.Identity();
  EXPECT_EQ(rig.link.Manufacturer(), id.manufacturer);
  EXPECT_EQ(rig.link.ProductName(), id.product);
  EXPECT_EQ(rig.link.SerialNumber(), id.serial);
  EXPECT_EQ(rig.link.Capabilities(), id.capabilities);
  EXPECT_EQ(rig.link.FirmwareVersion(), id.firmwareVersion);
  EXPECT_EQ(rig.link.FirmwareBuild(), id.firmwareBuild);
  EXPECT_EQ(rig.link.FirmwareDate(), id.firmwareDate);
  EXPECT_EQ(rig.link.Info210(), id.info210);
}

TEST_F(HidLinkTest, NonAsciiStringsArriveAsWindows1252Bytes) {
  rig.device.Identity().product = "vx.keeper \xB5";  // micro sign, one byte
  EXPECT_EQ(rig.link.ProductName(), "vx.keeper \xB5");
}

TEST_F(HidLinkTest, UnplugClosesAndReplugReopens) {
  EXPECT_TRUE(rig.link.IsAlive());
  rig.backend.Unplug();
  EXPECT_FALSE(rig.link.IsAlive());
  EXPECT_TRUE(rig.link.SerialNumber().empty());
  rig.link.Close();
  EXPECT_FALSE(rig.link.Open());
  rig.backend.Plug();
  EXPECT_TRUE(rig.link.Open());
  EXPECT_TRUE(rig.link.IsAlive());
}

TEST_F(HidLinkTest, FailingReadClosesTheDevice) {
  rig.backend.Unplug();
  EXPECT_EQ(rig.link.Read(0, 1000), "");
  EXPECT_TRUE(rig.link.TimedOut());
  EXPECT_FALSE(rig.link.IsOpen());
}

TEST_F(HidLinkTest, DataAvailableWaitsOneRoundTrip) {
  rig.link.SetRoundTripTime(80);
  int64_t start = TickCount();
  EXPECT_FALSE(rig.link.DataAvailable(0));
  EXPECT_GE(TickCount() - start, 70);
  EXPECT_FALSE(rig.link.DataAvailable(40));
  Inject(0, "x");
  start = TickCount();
  EXPECT_TRUE(rig.link.DataAvailable(0));
  EXPECT_LT(TickCount() - start, 70);
}

TEST_F(HidLinkTest, LockCountsSuccessesAndFailures) {
  EXPECT_TRUE(rig.link.Lock(100));
  EXPECT_TRUE(rig.link.Lock(100));
  EXPECT_EQ(rig.link.LockCount(), 2);
  rig.link.Unlock();
  rig.link.Unlock();
  EXPECT_EQ(rig.link.LockCount(), 0);
  EXPECT_EQ(rig.link.LockFailures(), 0);
}

// The fake stands for hidapi's libusb flavour, which the burst test above relies on.
TEST(FakeHidBackend, KeepsOnlyTheNewest30ReportsWhenNobodyReads) {
  VirtualDevice device;
  FakeHidBackend backend(&device);
  auto handle = backend.Open(backend.Enumerate(-1, -1).at(0).path);
  ASSERT_TRUE(handle);
  for (int i = 0; i < 40; ++i) backend.InjectReport(MakePacket(31, 0, std::to_string(i)));
  unsigned char report[kPacketSize];
  for (int i = 10; i < 40; ++i) {
    ASSERT_EQ(handle->Read(report, sizeof report, 0), static_cast<int>(kPacketSize));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(report) + 3, report[2]), std::to_string(i));
  }
  EXPECT_EQ(handle->Read(report, sizeof report, 0), -1);
}

TEST(FakeHidBackend, ReportRateLimitsBothWays) {
  HidRig rig;
  rig.backend.SetReportRate(FakeHidBackend::kFullSpeedReportRate);
  std::string toDevice;
  rig.device.SetChannelHandler(5, [&](VirtualDevice&, std::string_view b) { toDevice += b; });
  ASSERT_TRUE(rig.link.Open());
  std::string text(100 * kPacketData, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7 % 256);
  int64_t start = TickCount();
  ASSERT_TRUE(rig.link.Write(text, 5, 0, 1000));
  EXPECT_GE(TickCount() - start, 95);  // 100 reports
  EXPECT_TRUE(toDevice == text);

  ASSERT_TRUE(rig.link.Write("dump 12200\r", 0, 0, 1000));
  start = TickCount();
  std::string reply;
  const std::string prompt = "\xABvxk>\xBB";
  while (reply.size() < 12200 + prompt.size() && TickCount() - start < 10000)
    reply += rig.link.Read(0, 100, -1);
  EXPECT_GE(TickCount() - start, 190);  // 200 reports of data
  ASSERT_EQ(reply.size(), 12200 + prompt.size());
  for (size_t i = 0; i < 12200; ++i) ASSERT_EQ(reply[i], static_cast<char>('0' + i % 64)) << i;
  EXPECT_EQ(reply.substr(12200), prompt);
}

TEST(RawHidReader, FullQueueWaitsForRoomAndLosesNothing) {
  VirtualDevice device;
  FakeHidBackend backend(&device);
  TRawHid hid(&backend);
  ASSERT_TRUE(hid.OpenFirst(TvxComms::kVendorId, TvxComms::kProductId, TvxComms::kUsagePage, -1));
  const int total = 3000;
  EmitNumberedPackets(backend, total);
  // Nobody reads: the reader fills its queue, then stops taking reports from the device.
  const size_t left = total - HidReader::kQueueReports;
  auto notTaken = [&] {
    size_t n = 0;
    backend.WithDevice([&](VirtualDevice& d) { n = d.PendingOutput(0) / kPacketData; });
    return n + backend.QueuedReports();
  };
  const int64_t end = TickCount() + 5000;
  while (notTaken() > left && TickCount() < end) SleepMs(5);
  EXPECT_EQ(notTaken(), left);
  unsigned char report[kPacketSize];
  for (int i = 0; i < total; ++i) {
    ASSERT_EQ(hid.ReadReport(report, sizeof report, 1000), static_cast<int>(kPacketSize));
    ASSERT_EQ(std::string(reinterpret_cast<char*>(report) + 3, report[2]), NumberedPacket(i));
  }
  EXPECT_EQ(hid.ReadReport(report, sizeof report, 0), -1);
}

TEST(HidLinkWithoutDevice, OpenFailsQuietly) {
  FakeHidBackend backend;
  ScratchLock lock;
  TvxComms link(&backend, lock.Lock());
  EXPECT_FALSE(link.Open());
  EXPECT_FALSE(link.IsOpen());
  EXPECT_FALSE(link.IsAlive());
  EXPECT_FALSE(link.Write("x", 0, 0, 10));
  EXPECT_EQ(link.Read(0, 10), "");
  EXPECT_TRUE(link.TimedOut());
}

}  // namespace
