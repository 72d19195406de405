#include "sim/LinkTiming.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "comms/Ticks.h"
#include "sim/TcpRig.h"

using namespace vxk;

namespace {

const std::string kPrompt = "\xABvxk>\xBB";

struct Arrival {
  std::string text;
  int64_t first = -1;  // tick count of the first byte
  int64_t end = -1;    // tick count when the marker had come, -1 if it never did
};

// Reads channel 0 until marker has come or ms have passed.
Arrival ReadUntil(TvxComms& link, const std::string& marker, int ms) {
  Arrival a;
  const int64_t deadline = TickCount() + ms;
  while (TickCount() < deadline) {
    const std::string piece = link.Read(0, 20, -1);
    if (piece.empty()) continue;
    if (a.first < 0) a.first = TickCount();
    a.text += piece;
    if (a.text.find(marker) != std::string::npos) {
      a.end = TickCount();
      break;
    }
  }
  return a;
}

bool Send(TcpRig& rig, const std::string& text) {
  return rig.link.Write(text, 0, 0, 1000);
}

TEST(LinkTiming, LatencyDelaysBothDirections) {
  TcpRig rig(LinkTiming{150, 150});
  ASSERT_TRUE(rig.link.Open());
  const int64_t sent = TickCount();
  ASSERT_TRUE(Send(rig, "echo hi\r"));
  const Arrival a = ReadUntil(rig.link, "\xBB", 5000);
  EXPECT_EQ(a.text, "hi\r\n" + kPrompt);
  EXPECT_GE(a.first - sent, 295);
}

TEST(LinkTiming, ChunksAndLineRatePaceTheOutput) {
  LinkTiming chunks;
  chunks.chunkBytes = 100;
  chunks.chunkGapMs = 40;
  TcpRig rig(chunks);
  ASSERT_TRUE(rig.link.Open());
  int64_t sent = TickCount();
  ASSERT_TRUE(Send(rig, "dump 1000\r"));
  Arrival a = ReadUntil(rig.link, "\xBB", 10000);
  ASSERT_GE(a.end, 0);
  EXPECT_EQ(a.text.size(), 1006u);
  EXPECT_GE(a.end - sent, 380);  // 11 pieces, 10 gaps

  LinkTiming rate;
  rate.bytesPerSecond = 20000;
  rig.SetTiming(rate);
  sent = TickCount();
  ASSERT_TRUE(Send(rig, "dump 10000\r"));
  a = ReadUntil(rig.link, "\xBB", 15000);
  ASSERT_GE(a.end, 0);
  EXPECT_EQ(a.text.size(), 10006u);
  EXPECT_GE(a.end - sent, 400);  // half a second of line time
}

TEST(LinkTiming, LineRatePacesTheHostsBytesToo) {
  LinkTiming rate;
  rate.bytesPerSecond = 20000;
  TcpRig rig(rate);
  ASSERT_TRUE(rig.link.Open());
  ASSERT_TRUE(Send(rig, "NFWRITE /Logs/paced.bin\t4000\tw\r"));
  ASSERT_GE(ReadUntil(rig.link, "Send file\r\n", 5000).end, 0);
  std::string data(4000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 256);
  const int64_t sent = TickCount();
  ASSERT_TRUE(Send(rig, data));
  const Arrival a = ReadUntil(rig.link, "\xBB", 10000);
  EXPECT_EQ(a.text, "0:No error\r\n" + kPrompt);
  EXPECT_GE(a.end - sent, 180);  // 200 ms of line time
  rig.WithDevice([&](VirtualDevice&) {
    const SimFileSystem::Node* node = rig.sim.Files().Files().Find("/Logs/paced.bin");
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(node->data == data);
  });
}

TEST(LinkTiming, StalledUploadIsAbandonedWithoutFurtherBytes) {
  TcpRig rig;
  rig.WithDevice([](VirtualDevice& d) { d.SetReceiveTimeout(300); });
  ASSERT_TRUE(rig.link.Open());
  ASSERT_TRUE(Send(rig, "NFWRITE /Logs/part.txt\t100\tw\r"));
  ASSERT_GE(ReadUntil(rig.link, "Send file\r\n", 5000).end, 0);
  ASSERT_TRUE(Send(rig, std::string(40, 'p')));
  // The server must notice the pause by itself: nothing more is sent.
  EXPECT_EQ(ReadUntil(rig.link, "\xBB", 5000).text, "62:Timer expired\r\n" + kPrompt);
  ASSERT_TRUE(Send(rig, "echo next\r"));
  EXPECT_EQ(ReadUntil(rig.link, "\xBB", 5000).text, "next\r\n" + kPrompt);
  rig.WithDevice(
      [&](VirtualDevice&) { EXPECT_EQ(rig.sim.Files().Files().Find("/Logs/part.txt"), nullptr); });
}

TEST(LinkTiming, EndlessListingGoesOnWithBoundedMemory) {
  TcpRig rig;
  rig.WithDevice([&](VirtualDevice&) { rig.sim.Files().Faults().endlessListing = true; });
  ASSERT_TRUE(rig.link.Open());
  ASSERT_TRUE(Send(rig, "NFDIR @/Logs\r"));
  const size_t want = size_t(2) << 20;
  size_t total = 0;
  bool pastAnyLimit = false;
  bool promptEnd = false;
  std::string tail;
  const int64_t deadline = TickCount() + 60000;
  while (total < want && TickCount() < deadline) {
    const std::string piece = rig.link.Read(0, 100, -1);
    total += piece.size();
    promptEnd = promptEnd || piece.find('\xBB') != std::string::npos;
    tail += piece;
    pastAnyLimit = pastAnyLimit || tail.find("\nfile70000\t") != std::string::npos;
    if (tail.size() > 64) tail.erase(0, tail.size() - 64);
  }
  EXPECT_GE(total, want);
  EXPECT_TRUE(pastAnyLimit) << tail;
  EXPECT_FALSE(promptEnd);
  rig.WithDevice(
      [](VirtualDevice& d) { EXPECT_LE(d.PendingOutput(0), VirtualDevice::kGenerateAhead); });
}

}  // namespace
