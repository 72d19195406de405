#include "ops/LcdSnapshot.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "comms/Ticks.h"
#include "sim/BasicCommands.h"
#include "sim/HidRig.h"

using namespace vxk;

namespace {

using Pixels = std::set<std::pair<int, int>>;

class LcdFetch : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.link.SetRoundTripTime(20);
    rig.link.SetExtraTime(20);
    ASSERT_TRUE(rig.link.Open());
  }
  void WithPanel(const std::function<void(LcdClock&)>& fn) {
    rig.backend.WithDevice([&](VirtualDevice&) { fn(rig.sim.Panel()); });
  }
  // The screen as the virtual device draws it, rows below its height included (none lit).
  Pixels Screen() {
    Pixels lit;
    WithPanel([&](LcdClock& p) {
      for (int y = 0; y < p.ScreenHeight(); ++y)
        for (int x = 0; x < p.ScreenWidth(); ++x)
          if (p.Pixel(x, y)) lit.insert({x, y});
    });
    return lit;
  }
  static Pixels Decoded(const LcdSnapshot& s) {
    const auto v = DecodeLcdPixels(s.pixels, s.width, s.height);
    return Pixels(v.begin(), v.end());
  }

  HidRig rig;
  TvxTerminal term{rig.link};
};

TEST_F(LcdFetch, PictureMatchesTheDeviceScreenAndFollowsItsKeys) {
  LcdFetchResult r = FetchLcdSnapshot(term);
  ASSERT_TRUE(r.ok()) << DescribeResult(r.result);
  EXPECT_EQ(r.snapshot.width, 128);
  EXPECT_EQ(r.snapshot.height, 64);
  const Pixels first = Decoded(r.snapshot);
  EXPECT_EQ(first, Screen());

  ASSERT_TRUE(PressLcdKey(term, 3));
  EXPECT_EQ(rig.device.LastCommand(), "/key.inj(3)");
  ASSERT_TRUE(PressLcdKey(term, 2));
  r = FetchLcdSnapshot(term);
  ASSERT_TRUE(r.ok());
  EXPECT_NE(Decoded(r.snapshot), first);
  EXPECT_EQ(Decoded(r.snapshot), Screen());
  // The prompt after the picture was read: the next command's reply is clean.
  term.SendLine("echo hi");
  EXPECT_EQ(term.ReadReply(500), "hi\r\n");

  const int commands = rig.device.CommandCount();
  EXPECT_FALSE(PressLcdKey(term, 5));
  EXPECT_FALSE(PressLcdKey(term, 0));
  EXPECT_EQ(rig.device.CommandCount(), commands);
}

TEST_F(LcdFetch, DeviceFaultsEndAsReasonsOrPartialPictures) {
  struct Case {
    const char* name;
    std::function<void(LcdFaults&)> fault;
    Reason reason;
  };
  const Case cases[] = {
      {"marker", [](LcdFaults& f) { f.marker = "u8g2"; }, Reason::Unsupported},
      {"blanks", [](LcdFaults& f) { f.noTab = true; }, Reason::BadReply},
      {"huge", [](LcdFaults& f) { f.width = 100000; }, Reason::BadReply},
      {"negative", [](LcdFaults& f) { f.height = -1; }, Reason::BadReply},
      {"odd", [](LcdFaults& f) { f.width = 37, f.height = 61; }, Reason::None},
      {"empty", [](LcdFaults& f) { f.width = 0, f.height = 0; }, Reason::None},
  };
  for (const Case& c : cases) {
    WithPanel([&](LcdClock& p) {
      p.Lcd() = LcdFaults();
      c.fault(p.Lcd());
    });
    const int64_t start = TickCount();
    const LcdFetchResult r = FetchLcdSnapshot(term);
    // An empty screen has no pixel text to wait for.
    EXPECT_LT(TickCount() - start, 3000) << c.name;
    EXPECT_EQ(r.result.reason, c.reason) << c.name;
    if (r.ok()) {
      EXPECT_EQ(Decoded(r.snapshot), Screen()) << c.name;
    }
    // Whatever the fault, the terminal is usable afterwards.
    FlushInput(term);
    term.SendLine("echo next");
    EXPECT_EQ(term.ReadReply(500), "next\r\n") << c.name;
  }

  WithPanel([](LcdClock& p) { p.Lcd() = LcdFaults(), p.Lcd().shortText = true; });
  LcdFetchResult r = FetchLcdSnapshot(term);
  ASSERT_TRUE(r.ok());
  const Pixels shortPicture = Decoded(r.snapshot);
  const Pixels screen = Screen();
  EXPECT_LT(shortPicture.size(), screen.size());
  for (const auto& p : shortPicture) EXPECT_TRUE(screen.count(p));

  // Upper-case letters are not digits: the bytes after them shift.
  WithPanel([](LcdClock& p) { p.Lcd() = LcdFaults(), p.Lcd().upperHex = true; });
  r = FetchLcdSnapshot(term);
  ASSERT_TRUE(r.ok());
  EXPECT_NE(Decoded(r.snapshot), Screen());
}

TEST_F(LcdFetch, FlushLeavesNoShortRemainderBeforeTheHeader) {
  // Five stray bytes: fewer than a read of sixteen would take, so they must go one by one.
  rig.backend.WithDevice([](VirtualDevice& d) { d.Print("12345"); });
  FlushInput(term);
  rig.backend.WithDevice([](VirtualDevice& d) { d.Print("U8G2\t1\t1\r\n"); });
  EXPECT_EQ(term.ReadUntil("\r\n", "\r\n", 500), "U8G2\t1\t1");

  // A device that never stops talking is let go after about a second.
  rig.backend.WithDevice([](VirtualDevice& d) { StartFlood(d, Flood::Text); });
  const int64_t start = TickCount();
  FlushInput(term);
  EXPECT_LT(TickCount() - start, 2000);
  rig.backend.WithDevice([](VirtualDevice& d) { StopFlood(d); });
}

TEST(LcdHeader, FieldsAndBounds) {
  struct Case {
    const char* header;
    Reason reason;
    const char* detail;  // where the reply was wrong
    int width, height;
  };
  const Case cases[] = {
      {"U8G2\t128\t64", Reason::None, "", 128, 64},
      {"U8G2\t128\t64\tSSD1306\tx", Reason::None, "", 128, 64},
      {"U8G2\t0\t0", Reason::None, "", 0, 0},
      {"U8G2\t1024\t1024", Reason::None, "", 1024, 1024},
      {"U8G2 128 64", Reason::BadReply, "LCD header without fields", 0, 0},
      {"u8g2\t128\t64", Reason::Unsupported, "the LCD is not drawn by U8G2", 0, 0},
      {" U8G2\t128\t64", Reason::Unsupported, "the LCD is not drawn by U8G2", 0, 0},
      {"U8G2\t128", Reason::BadReply, "LCD size is no number", 0, 0},
      {"U8G2\t\t64", Reason::BadReply, "LCD size is no number", 0, 0},
      {"U8G2\t12x\t64", Reason::BadReply, "LCD size is no number", 0, 0},
      {"U8G2\t0x80\t64", Reason::BadReply, "LCD size is no number", 0, 0},
      {"U8G2\t1025\t64", Reason::BadReply, "LCD size out of range", 0, 0},
      {"U8G2\t128\t-8", Reason::BadReply, "LCD size out of range", 0, 0},
      {"U8G2\t4294967424\t64", Reason::BadReply, "LCD size out of range", 0, 0},
      {"U8G2\t99999999999999999999999\t64", Reason::BadReply, "LCD size out of range", 0, 0},
  };
  for (const Case& c : cases) {
    int w = 0, h = 0;
    const OpResult parsed = ParseLcdHeader(c.header, w, h);
    EXPECT_EQ(parsed.reason, c.reason) << c.header;
    EXPECT_EQ(parsed.detail, c.detail) << c.header;
    EXPECT_EQ(w, c.width) << c.header;
    EXPECT_EQ(h, c.height) << c.header;
  }
}

TEST(LcdDecode, DigitsPagesAndBits) {
  using V = std::vector<std::pair<int, int>>;
  // Bit 0 is the top row; the second page starts at row 8.
  EXPECT_EQ(DecodeLcdPixels("0180\r\n0201", 2, 16), (V{{0, 0}, {1, 7}, {0, 9}, {1, 8}}));
  // Upper-case letters and blanks are skipped: "A" and " " vanish and "1" pairs with "0".
  EXPECT_EQ(DecodeLcdPixels("A1 0", 1, 8), (V{{0, 4}}));
  // A byte ending on the text's last character is drawn; a lone last digit is not.
  EXPECT_EQ(DecodeLcdPixels("0102", 2, 8), (V{{0, 0}, {1, 1}}));
  EXPECT_EQ(DecodeLcdPixels("010", 2, 8), (V{{0, 0}}));
  // With a height of 3 all eight bits still count: they fall below the picture.
  EXPECT_EQ(DecodeLcdPixels("90", 1, 3), (V{{0, 4}, {0, 7}}));
  EXPECT_TRUE(DecodeLcdPixels("ff", 0, 8).empty());
  EXPECT_TRUE(DecodeLcdPixels("ff", 1, 2000).empty());
}

}  // namespace
