#include "ops/LogRecord.h"

#include <gtest/gtest.h>

using namespace vxk;

namespace {

TEST(LogRecord, TagsAndPanes) {
  const struct {
    int type;
    const char* tag;
    RecordPane pane;
  } cases[] = {
      {0, "[#000]", RecordPane::Log},     {4, "[m.ev]", RecordPane::Log},
      {5, "[m.rx]", RecordPane::ModemRx}, {6, "[m.tx]", RecordPane::ModemTx},
      {7, "[#007]", RecordPane::Log},     {8, "[d.ev]", RecordPane::Log},
      {9, "[d.rx]", RecordPane::Log},     {10, "[d.tx]", RecordPane::Log},
      {11, "[#011]", RecordPane::Log},    {12, "[e.ev]", RecordPane::Log},
      {13, "[e.rx]", RecordPane::Log},    {14, "[e.tx]", RecordPane::Log},
      {15, "[#015]", RecordPane::Log},    {16, "[Lua!]", RecordPane::Log},
      {17, "[Lua.]", RecordPane::Log},    {255, "[#255]", RecordPane::Log},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RecordTag(static_cast<uint8_t>(c.type)), c.tag) << c.type;
    EXPECT_EQ(PaneOfRecord(static_cast<uint8_t>(c.type)), c.pane) << c.type;
  }
}

TEST(LogRecord, EscapeTextShowsEveryByte) {
  EXPECT_EQ(EscapeText(std::string("AT\r\n\tok", 7)), "AT\r\n\tok");
  EXPECT_EQ(EscapeText(std::string("\x00", 1)), "\\x00");
  EXPECT_EQ(EscapeText("a\\b"), "a\\\\b");
  EXPECT_EQ(EscapeText("\x1B[0m"), "\\x1B[0m");
  EXPECT_EQ(EscapeText("\x7F\x80\xFF ~"), "\\x7F\\x80\\xFF ~");
}

TEST(LogRecord, FilterPackets) {
  EXPECT_EQ(SetFilterPayload(kDefaultLogFilter),
            std::string("FILTER \x9F\x99\xFF\xFF\xFF\xFF\xFF\xFF", 15));
  EXPECT_EQ(SetFilterPayload(kDefaultLogFilter | kModemFilterBits),
            std::string("FILTER ") + std::string(8, '\xFF'));
  EXPECT_EQ(SetFilterPayload(kDefaultLogFilter & ~kModemFilterBits),
            SetFilterPayload(kDefaultLogFilter));
  EXPECT_EQ(ClearFilterPayload(), std::string("FILTER-") + std::string(8, '\xFF'));
}

TEST(LogRecord, Stamps) {
  EXPECT_EQ(LogStamp(ClockTime{7, 5, 3, 9}), "07:05:03.009 ");
  EXPECT_EQ(LogStamp(ClockTime{23, 59, 59, 999}), "23:59:59.999 ");
  EXPECT_EQ(ModemStamp(ClockTime{23, 4, 59, 60}), "[04:59.060]");
}

}  // namespace
