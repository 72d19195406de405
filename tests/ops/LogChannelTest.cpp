#include "ops/LogChannel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileAccess/vxkFiles.h"
#include "comms/Packet.h"
#include "comms/Ticks.h"
#include "comms/vxTerminal.h"
#include "ops/LogRecord.h"
#include "sim/HidRig.h"

using namespace vxk;

namespace {

class LogChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.link.SetRoundTripTime(20);
    rig.link.SetExtraTime(20);
    ASSERT_TRUE(rig.link.Open());
  }

  template <class Fn>
  auto OnDevice(Fn fn) {
    decltype(fn()) result{};
    rig.backend.WithDevice([&](VirtualDevice&) { result = fn(); });
    return result;
  }

  // Drains until count records have come or ms have passed.
  std::vector<std::string> Collect(size_t count, int ms = 3000) {
    std::vector<std::string> records;
    const int64_t deadline = TickCount() + ms;
    while (records.size() < count && TickCount() < deadline) {
      log.DrainRecords([&](std::string_view r) { records.emplace_back(r); });
    }
    return records;
  }

  HidRig rig;
  LogService& device = rig.sim.Log();
  LogChannel log{rig.link};
};

TEST_F(LogChannelTest, TheDeviceSeesFilterBytesAndFlags) {
  rig.backend.CaptureWrites(true);
  ASSERT_TRUE(log.SendFilter(kDefaultLogFilter));
  EXPECT_EQ(OnDevice([&] { return device.Mask(); }), kDefaultLogFilter);
  EXPECT_TRUE(OnDevice([&] { return device.Subscribed(); }));
  ASSERT_TRUE(log.ClearFilter());
  EXPECT_FALSE(OnDevice([&] { return device.Subscribed(); }));
  EXPECT_EQ(OnDevice([&] { return device.BadPackets(); }), 0);

  const std::vector<std::string> sent = rig.backend.WrittenPackets();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].substr(0, 3), std::string("\x1F\x80\x0F", 3));
  EXPECT_EQ(sent[0].substr(3, 15), SetFilterPayload(kDefaultLogFilter));
  EXPECT_EQ(sent[1].substr(0, 3), std::string("\x1F\x40\x0F", 3));
  EXPECT_EQ(sent[1].substr(3, 15), ClearFilterPayload());
}

TEST_F(LogChannelTest, RecordsArriveOnePerPacketAsTheFilterAllows) {
  const std::vector<std::string> samples = LogService::Samples();
  EXPECT_EQ(OnDevice([&] { return device.SendSamples(); }), 0u);  // not subscribed yet

  ASSERT_TRUE(log.SendFilter(~uint64_t(0)));
  ASSERT_EQ(OnDevice([&] { return device.SendSamples(); }), samples.size());
  EXPECT_EQ(Collect(samples.size()), samples);

  // Without the modem bits the receive and transmit types stay on the device.
  ASSERT_TRUE(log.SendFilter(kDefaultLogFilter));
  std::vector<std::string> passing;
  for (const std::string& r : samples) {
    const int type = static_cast<uint8_t>(r[0]);
    if (type != 5 && type != 6 && type != 9 && type != 10 && type != 13 && type != 14)
      passing.push_back(r);
  }
  ASSERT_EQ(OnDevice([&] { return device.SendSamples(); }), passing.size());
  EXPECT_EQ(Collect(passing.size()), passing);
}

TEST_F(LogChannelTest, AnEmptyPacketDoesNotEndTheDrain) {
  rig.backend.InjectReport(MakePacket(kLogChannel, 0, ""));
  rig.backend.InjectReport(MakePacket(kLogChannel, 0, "\x11next"));
  const int64_t deadline = TickCount() + 2000;
  while (rig.backend.QueuedReports() > 0 && TickCount() < deadline) SleepMs(1);
  std::vector<std::string> records;
  log.DrainRecords([&](std::string_view r) { records.emplace_back(r); });
  EXPECT_EQ(records, std::vector<std::string>{"\x11next"});
}

TEST_F(LogChannelTest, ADrainIsBoundedWhileTheDeviceFloods) {
  ASSERT_TRUE(log.SendFilter(~uint64_t(0)));
  OnDevice([&] {
    device.StartFlood(1000000);
    return 0;
  });
  // Let more than one drain's worth arrive.
  const int64_t filled = TickCount() + 3000;
  while (rig.link.BufferedBytes(kLogChannel) < 600 * kPacketSize && TickCount() < filled)
    rig.link.Poll(10);
  size_t got = 0;
  const int64_t start = TickCount();
  const size_t n = log.DrainRecords([&](std::string_view) { ++got; }, 500);
  EXPECT_EQ(n, 500u);
  EXPECT_EQ(got, 500u);
  EXPECT_LT(TickCount() - start, 2000);
  // Clearing the filter ends the flood on the device.
  ASSERT_TRUE(log.ClearFilter());
  const int64_t deadline = TickCount() + 3000;
  while (OnDevice([&] { return device.Flooding(); }) && TickCount() < deadline) {
    log.DrainRecords([](std::string_view) {});
  }
  EXPECT_FALSE(OnDevice([&] { return device.Flooding(); }));
}

TEST_F(LogChannelTest, AListingCompletesWhileRecordsStream) {
  TvxTerminal term(rig.link);
  TvxkFiles files(term);
  files.QuoteNames = true;
  std::vector<std::string> quiet;
  ASSERT_TRUE(files.ListDirectory("/", quiet));
  ASSERT_FALSE(quiet.empty());

  ASSERT_TRUE(log.SendFilter(~uint64_t(0)));
  OnDevice([&] {
    device.StartFlood(1000000);
    return 0;
  });
  std::vector<std::string> busy;
  const int64_t start = TickCount();
  EXPECT_TRUE(files.ListDirectory("/", busy));
  EXPECT_LT(TickCount() - start, 5000);
  EXPECT_EQ(busy, quiet);
  EXPECT_TRUE(OnDevice([&] { return device.Flooding(); }));  // records did stream meanwhile
  EXPECT_GT(rig.link.BufferedBytes(kLogChannel), 0u);
}

}  // namespace
