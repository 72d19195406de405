#include "comms/uKeepAlive.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vxk {
namespace {

TEST(KeepAlive, SetsWholeSecondsReadBackAndSwitchesOff) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  const auto option = [fd](int level, int name) {
    int value = -1;
    socklen_t length = sizeof value;
    getsockopt(fd, level, name, &value, &length);
    return value;
  };
  ASSERT_TRUE(SetKeepAlive(fd, 60000, 10000));
  EXPECT_EQ(1, option(SOL_SOCKET, SO_KEEPALIVE));
  EXPECT_EQ(60, option(IPPROTO_TCP, TCP_KEEPIDLE));
  EXPECT_EQ(10, option(IPPROTO_TCP, TCP_KEEPINTVL));
  ASSERT_TRUE(SetKeepAlive(fd, 1500, 0));  // rounded up, never below one second
  EXPECT_EQ(2, option(IPPROTO_TCP, TCP_KEEPIDLE));
  EXPECT_EQ(1, option(IPPROTO_TCP, TCP_KEEPINTVL));
  ASSERT_TRUE(SetKeepAlive(fd, 0, 10000));
  EXPECT_EQ(0, option(SOL_SOCKET, SO_KEEPALIVE));
  close(fd);

  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  EXPECT_FALSE(SetKeepAlive(fds[0], 60000, 10000));
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
}  // namespace vxk
