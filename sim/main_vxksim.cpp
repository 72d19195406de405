// vxksim: the virtual vx.keeper as a program, on a TCP connection or a pseudo-terminal.
#include <fcntl.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "comms/Ticks.h"
#include "sim/BasicCommands.h"
#include "sim/HeaderText.h"
#include "sim/LinkTiming.h"
#include "sim/SimDevice.h"
#include "sim/SimOptions.h"
#include "sim/StreamServer.h"

using namespace vxk;

namespace {

std::atomic<StreamServer*> g_server{nullptr};
volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
  if (StreamServer* server = g_server.load()) server->Stop();
}

// Connects to HOST:PORT, retrying until retryMs have passed; -1 when it never succeeds.
int Connect(const std::string& target, int retryMs) {
  const size_t colon = target.rfind(':');
  if (colon == std::string::npos) throw std::invalid_argument("--tcp needs HOST:PORT");
  const std::string host = target.substr(0, colon);
  const std::string port = target.substr(colon + 1);
  const int64_t deadline = TickCount() + retryMs;
  while (!g_stop) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &list) == 0) {
      for (addrinfo* a = list; a; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kDeviceTcpReceiveBytes,
                   sizeof kDeviceTcpReceiveBytes);
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
          freeaddrinfo(list);
          return fd;
        }
        close(fd);
      }
      freeaddrinfo(list);
    }
    if (TickCount() >= deadline) break;
    SleepMs(200);
  }
  return -1;
}

bool SendAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads one line (up to LF) byte by byte, so nothing after it is taken from the connection.
bool ReadLine(int fd, std::string& line, int timeoutMs) {
  line.clear();
  const int64_t deadline = TickCount() + timeoutMs;
  while (TickCount() < deadline && !g_stop && line.size() < 1024) {
    timeval tv{0, 100000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char c;
    const ssize_t n = recv(fd, &c, 1, 0);
    if (n == 0) return false;
    if (n < 0) continue;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    line += c;
  }
  return false;
}

int ServeTcp(SimOptions& o, SimDevice& sim) {
  const int fd = Connect(o.tcp, o.retryMs);
  if (fd < 0) {
    std::cerr << "vxksim: cannot connect to " << o.tcp << std::endl;
    return 1;
  }
  std::cout << "vxksim: connected to " << o.tcp << std::endl;
  if (!SendAll(fd, BuildConnectHeader(o.identity, o.header))) {
    std::cerr << "vxksim: the connection broke while sending the header" << std::endl;
    close(fd);
    return 1;
  }
  if (!o.header.key.empty()) {
    std::string proof;
    if (!ReadLine(fd, proof, 15000)) {
      std::cerr << "vxksim: no proof from the tool" << std::endl;
    } else if (proof == "BYE!") {
      std::cerr << "vxksim: the tool refused the header (BYE!)" << std::endl;
      close(fd);
      return 1;
    } else if (proof == ExpectedProof(o.identity, o.header)) {
      std::cout << "vxksim: the tool's proof is correct" << std::endl;
    } else {
      std::cout << "vxksim: WRONG PROOF from the tool: " << proof << std::endl;
    }
  }
  StreamServer server(sim.Device(), fd, o.timing);
  g_server = &server;
  server.Run();
  g_server = nullptr;
  std::cout << "vxksim: connection closed" << std::endl;
  return 0;
}

int ServePty(SimOptions& o, SimDevice& sim) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::cerr << "vxksim: no pseudo-terminal" << std::endl;
    return 1;
  }
  termios raw{};
  if (tcgetattr(master, &raw) == 0) {
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
  }
  const std::string slave = ptsname(master);
  struct stat st {};
  if (lstat(o.pty.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      std::cerr << "vxksim: " << o.pty << " exists and is not a link" << std::endl;
      close(master);
      return 1;
    }
    unlink(o.pty.c_str());
  }
  if (symlink(slave.c_str(), o.pty.c_str()) != 0) {
    std::cerr << "vxksim: cannot create " << o.pty << std::endl;
    close(master);
    return 1;
  }
  std::cout << "vxksim: serving " << o.pty << " -> " << slave << std::endl;
  StreamServer server(sim.Device(), master, o.timing);
  g_server = &server;
  if (!g_stop) server.Run(true);
  g_server = nullptr;
  unlink(o.pty.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions o;
  try {
    o = ParseSimOptions(argc - 1, argv + 1);
  } catch (const std::exception& e) {
    std::cerr << "vxksim: " << e.what() << "\n\n" << SimUsage();
    return 2;
  }
  if (o.help) {
    std::cout << SimUsage();
    return 0;
  }
  if (o.version) {
    std::cout << "vxksim " VXK_VERSION "\n";
    return 0;
  }
  std::unique_ptr<SimFileSystem> fs;
  if (!o.root.empty()) {
    fs = std::make_unique<SimFileSystem>();
    if (!fs->MirrorFolder(o.root)) {
      std::cerr << "vxksim: cannot read folder " << o.root << std::endl;
      return 1;
    }
  }
  SimDevice sim(o.identity, std::move(fs));
  sim.Device().SetPassword(o.password);
  sim.Files().Faults() = o.faults;
  sim.Panel().Lcd() = o.lcd;
  sim.Panel().Clock() = o.clock;
  if (o.receiveTimeoutMs > 0) sim.Device().SetReceiveTimeout(o.receiveTimeoutMs);
  for (const auto& [command, ab] : o.floods) {
    const Flood kind = ab ? Flood::EmptyReplies : Flood::Text;
    sim.Device().RegisterCommand(
        command, [kind](VirtualDevice& d, const std::string&) { StartFlood(d, kind); });
  }

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  std::cout.setf(std::ios::unitbuf);
  try {
    return o.tcp.empty() ? ServePty(o, sim) : ServeTcp(o, sim);
  } catch (const std::exception& e) {
    std::cerr << "vxksim: " << e.what() << std::endl;
    return 1;
  }
}
