#include "comms/vxCommsComPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "comms/Ticks.h"

namespace vxk {
namespace {

// A pseudo-terminal: the link opens the slave path, the test plays the device on the master.
// The test keeps its own slave descriptor to look at the line settings.
class SerialLink : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(0, grantpt(master_));
    ASSERT_EQ(0, unlockpt(master_));
    path_ = ptsname(master_);
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave_, 0);
  }
  void OpenLink() {
    link_.SetPortPath(path_);
    ASSERT_TRUE(link_.Open());
  }
  void TearDown() override {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }

  // Waits until the link's side of the line holds size bytes, so that one read takes them.
  void WaitForInput(int size) {
    int waiting = 0;
    for (int i = 0; i < 100 && waiting < size; ++i) {
      ioctl(slave_, FIONREAD, &waiting);
      if (waiting < size) SleepMs(10);
    }
    ASSERT_EQ(size, waiting);
  }

  std::string MasterReads(int timeoutMs) {
    pollfd entry{master_, POLLIN, 0};
    if (poll(&entry, 1, timeoutMs) <= 0) return std::string();
    char buffer[512];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  TvxCommsComPort link_;
};

TEST_F(SerialLink, OpensTheLineRawAt115200WithFlowControl) {
  OpenLink();
  EXPECT_TRUE(link_.IsOpen());
  EXPECT_TRUE(link_.IsAlive());
  EXPECT_TRUE(link_.HasPortHandle());
  termios settings{};
  ASSERT_EQ(0, tcgetattr(slave_, &settings));
  EXPECT_EQ(B115200, cfgetispeed(&settings));
  EXPECT_EQ(B115200, cfgetospeed(&settings));
  EXPECT_EQ(CS8, settings.c_cflag & CSIZE);
  EXPECT_TRUE(settings.c_cflag & CRTSCTS);
  EXPECT_FALSE(settings.c_cflag & (PARENB | CSTOPB));

  TvxCommsComPort second;  // the port is held exclusively
  second.SetPortPath(path_);
  EXPECT_FALSE(second.Open());
  EXPECT_FALSE(second.HasPortHandle());
  link_.Close();
  EXPECT_FALSE(link_.IsAlive());
  EXPECT_TRUE(second.Open());
}

TEST_F(SerialLink, PortNumbersAndPathsThatCannotOpen) {
  link_.SetPortNumber(3);
  EXPECT_EQ("/dev/ttyS2", link_.PortName());
  link_.SetPortNumber(0);
  EXPECT_EQ("", link_.PortName());
  EXPECT_FALSE(link_.Open());
  for (const char* path : {"/dev/null", "/no/such/port"}) {  // not a terminal; missing
    link_.SetPortPath(path);
    EXPECT_FALSE(link_.Open());
    EXPECT_FALSE(link_.HasPortHandle());
    EXPECT_FALSE(link_.IsAlive());
  }
}

TEST_F(SerialLink, ExchangesTextInPacketsAndGivesUpOnAStuckLine) {
  OpenLink();
  EXPECT_TRUE(link_.Write("VER\r", 0, 0, 0));
  EXPECT_EQ("VER\r", MasterReads(1000));
  EXPECT_FALSE(link_.Write("FILTER ", 31, 0, 0));
  EXPECT_TRUE(link_.Write("", 0, 0, 0));
  EXPECT_EQ("", MasterReads(50));

  std::string reply(200, '\0');
  for (size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<char>(i);
  ASSERT_EQ(200, write(master_, reply.data(), reply.size()));
  WaitForInput(200);
  ASSERT_TRUE(link_.Poll(1000));
  EXPECT_EQ(4 * kPacketSize, link_.BufferedBytes(0));
  EXPECT_EQ(reply.substr(0, 61), link_.Read(0, 0));
  EXPECT_EQ(reply.substr(61, 61), link_.Read(0, 0));
  EXPECT_EQ(reply.substr(122, 61), link_.Read(0, 0));
  EXPECT_EQ(reply.substr(183), link_.Read(0, 0));

  // Nobody reads the line any more: once the driver is full, a block waits ExtraTime plus
  // twice its line time at 115200 baud (4096 bytes: 356 ms), then gives up.
  link_.SetExtraTime(200);
  int64_t waited = 0;
  bool failed = false;
  for (int i = 0; i < 200 && !failed; ++i) {
    const int64_t start = TickCount();
    failed = !link_.Write(std::string(4096, 'x'), 0, 0, 0);
    waited = TickCount() - start;
  }
  EXPECT_TRUE(failed);
  EXPECT_GE(waited, 200 + 2 * 356 - 20);
  EXPECT_LT(waited, 2500);
}

// The device takes the bytes at once, but the line needs 356 ms a block: the writes keep
// within about one block of it.
TEST_F(SerialLink, WritesKeepWithinAUartBufferOfTheLine) {
  OpenLink();
  link_.SetExtraTime(20);
  size_t received = 0;
  std::thread device([&] {
    for (std::string piece = MasterReads(1000); !piece.empty(); piece = MasterReads(1000))
      received += piece.size();
  });
  const int64_t start = TickCount();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(link_.Write(std::string(4096, 'w'), 0, 0, 0));
  EXPECT_GE(TickCount() - start, 2 * 356 - 20);
  device.join();
  EXPECT_EQ(received, 3 * 4096u);
}

// A write that runs late is reported, but the text is not cut: once the line moves again,
// every byte handed over reaches the device, in order.
TEST_F(SerialLink, LateWriteIsReportedButNotCutShort) {
  OpenLink();
  link_.SetExtraTime(50);
  std::string sent;
  bool failed = false;
  for (int i = 0; i < 200 && !failed; ++i) {
    const std::string block(4096, static_cast<char>('a' + i % 26));
    failed = !link_.Write(block, 0, 0, 0);
    sent += block;
  }
  ASSERT_TRUE(failed);
  std::string received;
  const int64_t deadline = TickCount() + 10000;
  while (received.size() < sent.size() && TickCount() < deadline) {
    link_.Poll(0);  // lets the rest of the late text go
    received += MasterReads(50);
  }
  EXPECT_EQ(sent.size(), received.size());
  EXPECT_TRUE(received == sent) << "text cut or reordered";
}

TEST_F(SerialLink, FullBufferLeavesTheRestOnTheLine) {
  OpenLink();
  std::string sent(300000, '\0');
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i % 253);
  fcntl(master_, F_SETFL, O_NONBLOCK);  // the device gives up after its deadline
  std::thread device([&] {
    size_t done = 0;
    const int64_t deadline = TickCount() + 20000;
    while (done < sent.size() && TickCount() < deadline) {
      pollfd entry{master_, POLLOUT, 0};
      if (poll(&entry, 1, 100) <= 0) continue;
      const ssize_t n =
          write(master_, sent.data() + done, std::min<size_t>(4096, sent.size() - done));
      if (n > 0) done += static_cast<size_t>(n);
    }
  });
  for (int i = 0; i < 100 && link_.BufferedBytes(0) < kChannelCap; ++i) link_.Poll(100);
  link_.Poll(200);
  EXPECT_GE(link_.BufferedBytes(0), kChannelCap);
  EXPECT_LT(link_.BufferedBytes(0), kChannelCap + kPacketSize);
  std::string received;
  while (received.size() < sent.size()) {
    const std::string piece = link_.Read(0, 2000);
    if (link_.TimedOut()) break;
    received += piece;
  }
  device.join();
  EXPECT_EQ(sent.size(), received.size());
  EXPECT_TRUE(received == sent) << "data lost or reordered";
}

TEST_F(SerialLink, HangUpIsASilentLineNotABusyLoop) {
  OpenLink();
  close(master_);
  master_ = -1;
  const int64_t start = TickCount();
  EXPECT_FALSE(link_.Poll(600));
  EXPECT_GE(TickCount() - start, 550);
  EXPECT_TRUE(link_.IsAlive());
}

}  // namespace
}  // namespace vxk
