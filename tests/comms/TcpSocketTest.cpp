#include "comms/TcpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace vxk {
namespace {

std::string LocalText(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return std::string(inet_ntoa(address.sin_addr)) + ":" + std::to_string(ntohs(address.sin_port));
}

TEST(TcpSocket, ListensAcceptsAndReportsAddresses) {
  TcpSocket listener;
  ASSERT_TRUE(listener.Bind("127.0.0.1", "0"));
  ASSERT_TRUE(listener.Listen(4));
  const std::string local = listener.LocalAddress();
  ASSERT_EQ(0u, local.rfind("127.0.0.1:", 0));
  const std::string port = local.substr(10);

  TcpSocket second;  // the port is taken
  EXPECT_FALSE(second.Bind("127.0.0.1", port));
  EXPECT_EQ(EADDRINUSE, second.LastError());
  EXPECT_FALSE(second.HasHandle());
  EXPECT_FALSE(second.Bind("no.such.address", "5000"));
  EXPECT_FALSE(second.Listen(1));
  EXPECT_EQ(EBADF, second.LastError());

  EXPECT_FALSE(listener.WaitReadable(0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(0, connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address));
  ASSERT_TRUE(listener.WaitReadable(2000));
  const int accepted = listener.Accept();
  ASSERT_GE(accepted, 0);
  EXPECT_TRUE(fcntl(accepted, F_GETFD) & FD_CLOEXEC);

  TcpSocket socket;
  ASSERT_TRUE(socket.Adopt(accepted));
  EXPECT_EQ(local, socket.LocalAddress());
  EXPECT_EQ(LocalText(client), socket.RemoteAddress());
  socket.Close();
  EXPECT_EQ(-1, fcntl(accepted, F_GETFD));  // the adopted descriptor is owned and closed
  close(client);
}

TEST(TcpSocket, LingerIsRoundedUpToWholeSeconds) {
  int fds[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
  TcpSocket socket;
  ASSERT_TRUE(socket.Adopt(fds[0]));
  const auto read = [&] {
    linger value{};
    socklen_t length = sizeof value;
    getsockopt(fds[0], SOL_SOCKET, SO_LINGER, &value, &length);
    return std::make_pair(value.l_onoff != 0, value.l_linger);
  };
  ASSERT_TRUE(socket.SetLinger(true, 1001));
  EXPECT_EQ(std::make_pair(true, 2), read());
  ASSERT_TRUE(socket.SetLinger(true, 20));
  EXPECT_EQ(std::make_pair(true, 1), read());
  ASSERT_TRUE(socket.SetLinger(false, 8000));
  EXPECT_FALSE(read().first);
  close(fds[1]);
}

}  // namespace
}  // namespace vxk
