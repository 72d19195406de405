#include "ops/TimeSync.h"

#include <gtest/gtest.h>

#include <climits>

#include "FileAccess/TzTestSupport.h"
#include "comms/Ticks.h"
#include "sim/HidRig.h"

using namespace vxk;
using vxk::test::ScopedTz;

namespace {

constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kUsEast = "EST5EDT,M3.2.0,M11.1.0";

int64_t UtcMs(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  return DateTimeToUnix(EncodeDateTime(y, mo, d, h, mi, s, 0)) * 1000 + ms;
}

TEST(PcTimes, OffsetAndLocalTimeComeFromOneInstant) {
  struct Case {
    const char* zone;
    int64_t utcMs;
    const char* utc;
    const char* local;
    int offset;
  };
  const Case cases[] = {
      {kCentralEurope, UtcMs(2024, 5, 1, 10, 0, 0), "2024-05-01 10:00:00", "2024-05-01 12:00:00",
       120},
      {kUsEast, UtcMs(2024, 1, 15, 17, 30, 5), "2024-01-15 17:30:05", "2024-01-15 12:30:05", -300},
      {"IST-5:30", UtcMs(2024, 1, 1, 0, 0, 0), "2024-01-01 00:00:00", "2024-01-01 05:30:00", 330},
      // The hour repeated when daylight time ends: the same local text, told apart by the
      // instant it was read at.
      {kCentralEurope, UtcMs(2024, 10, 27, 0, 30, 0), "2024-10-27 00:30:00", "2024-10-27 02:30:00",
       120},
      {kCentralEurope, UtcMs(2024, 10, 27, 1, 30, 0), "2024-10-27 01:30:00", "2024-10-27 02:30:00",
       60},
  };
  for (const Case& c : cases) {
    ScopedTz tz(c.zone);
    const PcTimes t = PcTimesAt(c.utcMs);
    EXPECT_EQ(FormatDateTime(t.utc), c.utc) << c.zone;
    EXPECT_EQ(FormatDateTime(t.local), c.local) << c.zone;
    EXPECT_EQ(t.offsetMinutes, c.offset) << c.zone << " " << c.utc;
  }
  ScopedTz tz(kUsEast);
  EXPECT_EQ(PcTimeText(PcTimesAt(UtcMs(2024, 1, 15, 17, 30, 5))),
            "   UTC: 2024-01-15 17:30:05\r\n Local: 2024-01-15 12:30:05\r\n    TZ: -300 min");
}

// The device counts whole seconds: a PC a fraction into the same second is not "behind".
TEST(ClockDifference, DeviceMinusPcInWholeSeconds) {
  ScopedTz tz(kUsEast);
  struct Case {
    const char* reply;
    int64_t pcMs;
    std::optional<int64_t> seconds;
  };
  const Case cases[] = {
      {"UTC 2024-01-15 17:30:05 TZ -300", UtcMs(2024, 1, 15, 17, 30, 5, 999), 0},
      {"UTC 2024-01-15 17:30:47 TZ -300", UtcMs(2024, 1, 15, 17, 30, 5, 10), 42},
      {"UTC 2024-01-15 17:29:05 TZ -300", UtcMs(2024, 1, 15, 17, 30, 5), -60},
      // Without "UTC" the device tells its local time, compared with the PC's.
      {"Time: 2024-01-15T12:30:08", UtcMs(2024, 1, 15, 17, 30, 5, 500), 3},
      {"ERROR", UtcMs(2024, 1, 15, 17, 30, 5), std::nullopt},
      {"", UtcMs(2024, 1, 15, 17, 30, 5), std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DeviceMinusPcSeconds(c.reply, PcTimesAt(c.pcMs)), c.seconds) << c.reply;
}

TEST(TimeCommandText, OneSecondAheadWithTheOffsetGiven) {
  EXPECT_EQ(TimeCommand(UtcMs(2024, 5, 1, 10, 59, 59, 999), 60), "TIME 2024-05-01 11:00:00 60");
  EXPECT_EQ(TimeCommand(UtcMs(2024, 12, 31, 23, 59, 59), -300), "TIME 2025-01-01 00:00:00 -300");
  EXPECT_EQ(TimeCommand(UtcMs(2024, 10, 27, 1, 30, 0), 90), "TIME 2024-10-27 01:30:01 90");

  struct Case {
    const char* text;
    int value;
  };
  const Case typed[] = {{"90", 90},
                        {"-300", -300},
                        {"+15", 15},
                        {"0", 0},
                        {" 90", 0},
                        {"90 ", 0},
                        {"9O", 0},
                        {"", 0},
                        {"-", 0},
                        {"1e3", 0},
                        {"90\rTIME", 0},
                        {"2147483647", INT_MAX},
                        {"2147483648", 0},
                        {"-2147483648", INT_MIN},
                        {"99999999999999999999", 0}};
  for (const Case& c : typed) EXPECT_EQ(ParseOffsetMinutes(c.text), c.value) << c.text;
}

class DeviceClock : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.link.SetRoundTripTime(20);
    rig.link.SetExtraTime(20);
    ASSERT_TRUE(rig.link.Open());
  }
  HidRig rig;
  TvxTerminal term{rig.link};
};

TEST_F(DeviceClock, ReadsAndSetsTheDeviceClock) {
  const int64_t pc = SystemUtcMs();
  ASSERT_TRUE(SetDeviceTime(term, TimeCommand(pc - 3600000, 90)).ok());
  EXPECT_EQ(rig.sim.Panel().SetCount(), 1);
  EXPECT_EQ(rig.sim.Panel().ZoneMinutes(), 90);
  const int64_t skew = rig.sim.Panel().DeviceUtcMs() - (SystemUtcMs() - 3600000);
  EXPECT_TRUE(skew > -1000 && skew < 3000) << skew;

  const DeviceTimeResult r = ReadDeviceTime(term);
  EXPECT_TRUE(r.result.ok());
  EXPECT_EQ(r.reply.rfind("UTC ", 0), 0u) << r.reply;
  EXPECT_NE(r.reply.find(" TZ 90\r\n"), std::string::npos) << r.reply;

  // A malformed setting is refused and changes nothing.
  SetDeviceTime(term, "TIME 2024-13-01 00:00:00 0");
  SetDeviceTime(term, "TIME 2024-05-01 00:00:00 ninety");
  EXPECT_EQ(rig.sim.Panel().SetCount(), 1);
}

TEST_F(DeviceClock, SilentDeviceGivesAnEmptyAnswerInBoundedTime) {
  rig.backend.WithDevice([&](VirtualDevice&) { rig.sim.Panel().Clock().silent = true; });
  const int64_t start = TickCount();
  const DeviceTimeResult r = ReadDeviceTime(term);
  EXPECT_EQ(r.result.reason, Reason::TimedOut);
  EXPECT_TRUE(r.reply.empty());
  EXPECT_LT(TickCount() - start, 2000);
  rig.link.Close();
  EXPECT_EQ(ReadDeviceTime(term).result.reason, Reason::NotOpen);
}

}  // namespace
