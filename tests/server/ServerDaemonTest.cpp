#include "server/ServerDaemon.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "comms/Ticks.h"
#include "server/KeyPipe.h"

using namespace vxk;

namespace {

std::string FreePort() {
  TcpSocket probe;
  probe.Bind("127.0.0.1", "0");
  const std::string address = probe.LocalAddress();
  return address.substr(address.rfind(':') + 1);
}

// A device's end of a connection to the daemon.
int ConnectTo(const std::string& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// True when the peer closed the connection within ms.
bool SeesClose(int fd, int ms) {
  TcpSocket s;
  s.Adopt(fd);
  char c;
  const bool closed = s.WaitReadable(ms) && s.Receive(&c, 1, 0) == 0;
  return closed;
}

struct Log {
  std::vector<std::string> lines;
  ServerDaemon::LogSink Sink() {
    return [this](const std::string& line) { lines.push_back(line); };
  }
};

TEST(ServerDaemon, ChildThatCannotStartDropsTheConnectionUnlogged) {
  ServerDaemon daemon(8000, 500);
  daemon.SetProgram("/nonexistent/vxktool", "vxktool");
  Log log;
  const std::string port = FreePort();
  ASSERT_TRUE(daemon.StartListening(port, log.Sink()));
  const int device = ConnectTo(port);
  ASSERT_GE(device, 0);
  EXPECT_EQ(daemon.AcceptWaiting(100, log.Sink()), 0);
  EXPECT_TRUE(log.lines.empty());
  EXPECT_TRUE(SeesClose(device, 2000));
}

TEST(ServerDaemon, LastingAcceptErrorEndsTheTickAndTheNextTickTakesTheDevice) {
  ServerDaemon daemon(8000, 500);
  daemon.SetProgram("/bin/true", "true");
  Log log;
  const std::string port = FreePort();
  ASSERT_TRUE(daemon.StartListening(port, log.Sink()));
  const int device = ConnectTo(port);
  ASSERT_GE(device, 0);

  // No descriptor left for the accept: EMFILE on every try while the device keeps waiting.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int lowestFree = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(lowestFree, 0);
  close(lowestFree);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  const int64_t start = TickCount();
  const int started = daemon.AcceptWaiting(10, log.Sink());
  const int64_t took = TickCount() - start;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(started, 0);
  EXPECT_LT(took, 1000);

  EXPECT_EQ(daemon.AcceptWaiting(10, log.Sink()), 1);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].rfind("Socket ", 0), 0u) << log.lines[0];
  // The child ends at once; a later tick reaps it, and the device sees the close.
  EXPECT_TRUE(SeesClose(device, 3000));
  const int64_t deadline = TickCount() + 3000;
  while (daemon.LiveChildren() > 0 && TickCount() < deadline) {
    daemon.AcceptWaiting(10, log.Sink());
    SleepMs(20);
  }
  EXPECT_EQ(daemon.LiveChildren(), 0u);
}

// Devices arriving without pause cannot hold a tick: it ends at its budget, and the devices
// still waiting are taken by the next one.
TEST(ServerDaemon, TickEndsAtItsBudgetAndTheNextTakesTheRest) {
  ServerDaemon daemon(8000, 500);
  daemon.SetProgram("/bin/true", "true");
  Log log;
  ASSERT_TRUE(daemon.StartListening("0", log.Sink()));
  std::vector<int> devices;
  for (int i = 0; i < 3; ++i) devices.push_back(ConnectTo(std::to_string(daemon.Port())));
  ASSERT_GE(*std::min_element(devices.begin(), devices.end()), 0);
  EXPECT_EQ(daemon.AcceptWaiting(10, log.Sink(), 0), 1);
  EXPECT_TRUE(daemon.CutShort());
  EXPECT_EQ(daemon.AcceptWaiting(10, log.Sink()), 2);
  EXPECT_FALSE(daemon.CutShort());
  EXPECT_EQ(daemon.Accepted(), 3u);
  for (int fd : devices) EXPECT_TRUE(SeesClose(fd, 3000));
}

TEST(ServerDaemon, ConnectionNeverLandsOnAConsoleDescriptor) {
  ServerDaemon daemon(8000, 500);
  daemon.SetProgram("/bin/true", "true");
  Log log;
  ASSERT_TRUE(daemon.StartListening("0", log.Sink()));
  const int device = ConnectTo(std::to_string(daemon.Port()));
  ASSERT_GE(device, 0);
  // With standard input closed, the accept gets descriptor 0.
  const int savedInput = fcntl(0, F_DUPFD_CLOEXEC, 3);
  close(0);
  const int started = daemon.AcceptWaiting(100, log.Sink());
  dup2(savedInput, 0);
  close(savedInput);
  ASSERT_EQ(started, 1);
  int socket = -1;
  ASSERT_EQ(std::sscanf(log.lines.at(0).c_str(), "Socket %d,", &socket), 1);
  EXPECT_GE(socket, 3);
  EXPECT_TRUE(SeesClose(device, 3000));
}

// A child program that stays until killed: a shell script that ignores its arguments.
struct Sleeper {
  Sleeper() {
    char pattern[] = "/tmp/vxk-daemon-XXXXXX";
    folder = mkdtemp(pattern);
    program = folder + "/child";
    std::ofstream(program) << "#!/bin/sh\nexec sleep 30\n";
    chmod(program.c_str(), 0700);
  }
  ~Sleeper() {
    for (pid_t pid : pids) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    std::filesystem::remove_all(folder);
  }
  std::string folder;
  std::string program;
  std::vector<pid_t> pids;  // killed and reaped at the end
};

std::vector<pid_t> LoggedPids(const Log& log) {
  std::vector<pid_t> pids;
  for (const std::string& line : log.lines) {
    int socket = 0;
    int pid = 0;
    if (std::sscanf(line.c_str(), "Socket %d, Proc %d", &socket, &pid) == 2) pids.push_back(pid);
  }
  return pids;
}

// Beyond the limit a connection is closed at once and logged; a child that has ended frees
// its place for the next device.
TEST(ServerDaemon, ConnectionsBeyondTheLimitAreClosedAtOnceAndLogged) {
  Sleeper child;
  ServerDaemon daemon(8000, 500);
  daemon.SetProgram(child.program, "child");
  daemon.SetChildLimit(2);
  Log log;
  ASSERT_TRUE(daemon.StartListening("0", log.Sink()));
  const std::string port = std::to_string(daemon.Port());
  std::vector<int> devices;
  for (int i = 0; i < 3; ++i) devices.push_back(ConnectTo(port));
  ASSERT_GE(*std::min_element(devices.begin(), devices.end()), 0);
  EXPECT_EQ(daemon.AcceptWaiting(100, log.Sink()), 2);
  child.pids = LoggedPids(log);
  ASSERT_EQ(child.pids.size(), 2u);
  ASSERT_EQ(log.lines.size(), 3u);
  int socket = -1;
  int running = -1;
  int limit = -1;
  ASSERT_EQ(std::sscanf(log.lines[2].c_str(), "Socket %d refused: %d children running (limit %d)",
                        &socket, &running, &limit),
            3)
      << log.lines[2];
  EXPECT_EQ(running, 2);
  EXPECT_EQ(limit, 2);
  EXPECT_EQ(daemon.Refused(), 1u);
  EXPECT_TRUE(SeesClose(devices[2], 1000));
  EXPECT_EQ(daemon.LiveChildren(), 2u);

  kill(child.pids[0], SIGKILL);
  const int64_t deadline = TickCount() + 3000;
  while (daemon.LiveChildren() > 1 && TickCount() < deadline) daemon.AcceptWaiting(10, log.Sink());
  const int later = ConnectTo(port);
  ASSERT_GE(later, 0);
  EXPECT_EQ(daemon.AcceptWaiting(100, log.Sink()), 1);
  EXPECT_EQ(daemon.LiveChildren(), 2u);
  EXPECT_EQ(daemon.Refused(), 1u);
  const std::vector<pid_t> pids = LoggedPids(log);
  child.pids.insert(child.pids.end(), pids.begin() + 2, pids.end());
  for (int fd : {devices[0], devices[1], later}) close(fd);
}

// A key on a descriptor: the exact bytes up to the end; a pipe that never ends gives no key,
// nor does the console or a socket, which stay open.
TEST(KeyPipe, ReadsTheWholeKeyOrNothing) {
  const std::string bytes("a\0b\r\n c\xff", 8);
  for (const bool ends : {true, false}) {
    SCOPED_TRACE(ends ? "ends" : "never ends");
    KeyPipe pipe;
    ASSERT_TRUE(pipe.Fill(bytes));
    int fd = fcntl(pipe.ReadEnd(), F_DUPFD_CLOEXEC, 3);
    // A writer that stays keeps the pipe from ending.
    const int writer = ends ? -1 : open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY);
    std::string key = "before";
    const int64_t start = TickCount();
    EXPECT_EQ(ReadPipedKey(fd, key, 300), ends);
    EXPECT_LT(TickCount() - start, 2000);
    EXPECT_EQ(key, ends ? bytes : "before");
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);  // closed either way
    if (writer >= 0) close(writer);
  }
  EXPECT_FALSE(KeyPipe().Fill(std::string(kMaxPipedKey + 1, 'k')));
  std::string key;
  EXPECT_FALSE(ReadPipedKey(0, key, 100));
  EXPECT_NE(fcntl(0, F_GETFD), -1);
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  EXPECT_FALSE(ReadPipedKey(pair[0], key, 100));
  EXPECT_NE(fcntl(pair[0], F_GETFD), -1);
  close(pair[0]);
  close(pair[1]);
}

}  // namespace
