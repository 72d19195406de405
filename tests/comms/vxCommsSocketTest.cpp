#include "comms/vxCommsSocket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "comms/Ticks.h"

namespace vxk {
namespace {

std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(i % 251);
  return text;
}

// The link on one end of a connected pair; the test plays the device on the other end.
class vxCommsSocket : public ::testing::Test {
 protected:
  void TearDown() override {
    if (peer_ >= 0) close(peer_);
  }
  void AttachUnix() {
    int fds[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds));
    Attach(fds[0], fds[1]);
  }
  void AttachTcp() {
    TcpSocket listener;
    ASSERT_TRUE(listener.Bind("127.0.0.1", "0"));
    ASSERT_TRUE(listener.Listen(1));
    const std::string local = listener.LocalAddress();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::stoi(local.substr(local.find(':') + 1))));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int peer = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(0, connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address));
    Attach(listener.Accept(), peer);
  }
  void Attach(int linkEnd, int peerEnd) {
    linkFd_ = linkEnd;
    peer_ = peerEnd;
    link_.AttachSocket(linkEnd);
    ASSERT_TRUE(link_.Open());
  }
  void ClosePeer() {
    close(peer_);
    peer_ = -1;
  }
  std::string PeerReceives() {
    char buffer[256];
    const ssize_t n = recv(peer_, buffer, sizeof buffer, MSG_DONTWAIT);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }

  TvxCommsSocket link_;
  int linkFd_ = -1;
  int peer_ = -1;
};

TEST_F(vxCommsSocket, NeverTouchesADescriptorThatIsNotAStreamSocket) {
  EXPECT_EQ(8000, link_.RoundTripTime());
  EXPECT_EQ(250, link_.ExtraTime());
  EXPECT_EQ("999999", link_.SerialNumber());
  int pipeFds[2];
  ASSERT_EQ(0, pipe(pipeFds));
  ASSERT_EQ(4, write(pipeFds[1], "data", 4));
  std::FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  const int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const bool stdinOpen = fcntl(0, F_GETFD) != -1;
  {
    TvxCommsSocket link;
    for (const int fd : {0, pipeFds[0], fileno(file), udp}) {
      link.AttachSocket(fd);
      EXPECT_FALSE(link.Open());
      EXPECT_FALSE(link.Poll(20));
      EXPECT_FALSE(link.Write("x", 0, 0, 10));
    }
  }
  EXPECT_EQ(stdinOpen, fcntl(0, F_GETFD) != -1);
  char buffer[8];
  EXPECT_EQ(4, read(pipeFds[0], buffer, sizeof buffer));  // still open and unread
  EXPECT_NE(-1, fcntl(fileno(file), F_GETFD));
  EXPECT_NE(-1, fcntl(udp, F_GETFD));
  for (const int fd : {udp, pipeFds[0], pipeFds[1]}) close(fd);
  std::fclose(file);
}

TEST_F(vxCommsSocket, WritesChannelZeroOnlyAndWaitsForWritability) {
  AttachUnix();
  EXPECT_TRUE(link_.Write("hello", 0, 0, 100));
  EXPECT_FALSE(link_.Write("zz", 31, 0, 100));
  EXPECT_TRUE(link_.Write("", 0, 0, 100));
  EXPECT_EQ("hello", PeerReceives());

  const std::string block(4096, 'x');  // the device stops reading
  while (send(linkFd_, block.data(), block.size(), MSG_DONTWAIT) > 0) {
  }
  link_.SetExtraTime(500);
  int64_t start = TickCount();
  EXPECT_FALSE(link_.Write("x", 0, 0, 200));
  EXPECT_GE(TickCount() - start, 650);
  EXPECT_LT(TickCount() - start, 1500);
  start = TickCount();
  EXPECT_FALSE(link_.Write("x", 0, 0, 0));  // no extra time on a zero time-out
  EXPECT_LT(TickCount() - start, 200);
}

TEST_F(vxCommsSocket, WriteFailsWhenTheTextIsNotSentWhole) {
  AttachUnix();  // a device that never reads
  link_.SetExtraTime(100);
  EXPECT_FALSE(link_.Write(std::string(4 << 20, 'x'), 0, 0, 100));
  EXPECT_FALSE(link_.TimedOut());
}

// A socket handed over by another process may be non-blocking; texts still go out whole.
TEST_F(vxCommsSocket, InheritedNonBlockingSocketSendsWholeTexts) {
  int fds[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds));
  Attach(fds[0], fds[1]);
  const std::string big = Pattern(4 << 20);
  std::string got;
  std::thread device([&] {
    char buffer[65536];
    while (got.size() < big.size()) {
      pollfd entry{peer_, POLLIN, 0};
      if (poll(&entry, 1, 5000) <= 0) break;
      const ssize_t n = read(peer_, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
  });
  EXPECT_TRUE(link_.Write(big, 0, 0, 5000));
  device.join();
  EXPECT_TRUE(got == big) << got.size() << " of " << big.size() << " bytes arrived";
}

TEST_F(vxCommsSocket, WriteToAGoneDeviceFailsWithoutSigpipe) {
  AttachTcp();
  ClosePeer();
  // More than the kernel takes at once, so the send loop meets the reset half-way.
  const std::string big(16 << 20, 'y');
  bool failed = false;
  for (int i = 0; i < 5 && !failed; ++i) failed = !link_.Write(big, 0, 0, 1000);
  EXPECT_TRUE(failed);
  EXPECT_FALSE(link_.IsAlive());
}

TEST_F(vxCommsSocket, CutsReceivedBytesIntoPackets) {
  AttachUnix();
  const std::string sent = Pattern(130);
  ASSERT_EQ(130, send(peer_, sent.data(), sent.size(), 0));
  ASSERT_TRUE(link_.Poll(1000));
  EXPECT_EQ(3 * kPacketSize, link_.BufferedBytes(0));
  EXPECT_EQ(sent.substr(0, 10), link_.Read(0, 0, 10));
  EXPECT_EQ(3 * kPacketSize, link_.BufferedBytes(0));  // the rest stays at the head
  EXPECT_EQ(sent.substr(10, 51), link_.Read(0, 0));
  EXPECT_EQ(sent.substr(61, 61), link_.Read(0, 0));
  EXPECT_EQ(sent.substr(122, 8), link_.Read(0, 0));
  EXPECT_EQ(0u, link_.BufferedBytes(0));
}

TEST_F(vxCommsSocket, ReadsHeaderLinesUpToCarriageReturn) {
  AttachUnix();
  const std::string text = "CONNECT abc\r\nsha 12\r\n\r\nx\ny\rabc";
  ASSERT_EQ(static_cast<ssize_t>(text.size()), send(peer_, text.data(), text.size(), 0));
  EXPECT_EQ("CONNECT abc", link_.ReadHeaderLine(500));
  EXPECT_EQ("sha 12", link_.ReadHeaderLine(500));
  EXPECT_EQ("", link_.ReadHeaderLine(500));
  EXPECT_FALSE(link_.TimedOut());
  EXPECT_EQ("xy", link_.ReadHeaderLine(500));
  EXPECT_EQ("", link_.ReadHeaderLine(100));  // no CR comes in time
  EXPECT_TRUE(link_.TimedOut());
}

TEST_F(vxCommsSocket, HeaderLinesAlreadyReceivedSurviveTheDeviceClosing) {
  AttachUnix();
  const std::string text = "CONNECT a\r\nserial: 1\r\n\r\n";
  ASSERT_EQ(static_cast<ssize_t>(text.size()), send(peer_, text.data(), text.size(), 0));
  shutdown(peer_, SHUT_WR);
  EXPECT_EQ("CONNECT a", link_.ReadHeaderLine(500));
  EXPECT_EQ("serial: 1", link_.ReadHeaderLine(500));
  EXPECT_EQ("", link_.ReadHeaderLine(500));
  EXPECT_FALSE(link_.TimedOut());
}

TEST_F(vxCommsSocket, EndlessHeaderLineIsCut) {
  AttachUnix();
  const std::string text(TvxCommsSocket::kMaxHeaderLine + 1000, 'z');
  std::thread sender([&] { send(peer_, text.data(), text.size(), 0); });
  EXPECT_EQ(TvxCommsSocket::kMaxHeaderLine, link_.ReadHeaderLine(500).size());
  sender.join();
}

TEST_F(vxCommsSocket, OrderlyCloseEndsTheLinkForGood) {
  AttachTcp();
  link_.SetSerialNumber("123456");
  EXPECT_TRUE(link_.IsAlive());
  ASSERT_EQ(3, send(peer_, "bye", 3, 0));
  ClosePeer();
  EXPECT_TRUE(link_.IsAlive());  // the last bytes can still be read
  EXPECT_EQ("bye", link_.Read(0, 500));
  EXPECT_FALSE(link_.IsAlive());
  link_.Close();
  EXPECT_FALSE(link_.IsOpen());
  EXPECT_FALSE(link_.Open());
  EXPECT_EQ("123456", link_.SerialNumber());
}

TEST_F(vxCommsSocket, FullBufferHoldsTheDeviceBackInsteadOfDroppingData) {
  AttachTcp();
  const std::string sent = Pattern(1 << 20);
  const timeval limit{10, 0};
  setsockopt(peer_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  std::thread device([&] { send(peer_, sent.data(), sent.size(), MSG_NOSIGNAL); });
  for (int i = 0; i < 50 && link_.BufferedBytes(0) < kChannelCap; ++i) link_.Poll(100);
  link_.Poll(200);  // more is waiting, but must not be taken
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

}  // namespace
}  // namespace vxk
