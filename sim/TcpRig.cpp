#include "sim/TcpRig.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace vxk {

bool LoopbackPair(int& toolSide, int& deviceSide) {
  toolSide = deviceSide = -1;
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bool ok = bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            listen(listener, 1) == 0 &&
            getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
  if (ok) {
    deviceSide = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (deviceSide >= 0)
      setsockopt(deviceSide, SOL_SOCKET, SO_RCVBUF, &kDeviceTcpReceiveBytes,
                 sizeof kDeviceTcpReceiveBytes);
    ok = deviceSide >= 0 &&
         connect(deviceSide, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  if (ok) {
    toolSide = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ok = toolSide >= 0;
  }
  close(listener);
  if (!ok) {
    if (deviceSide >= 0) close(deviceSide);
    if (toolSide >= 0) close(toolSide);
    toolSide = deviceSide = -1;
  }
  return ok;
}

TcpRig::TcpRig(DeviceIdentity identity, LinkTiming timing)
    : sim(std::move(identity)), link(lock.Lock()) {
  int toolSide = -1;
  int deviceSide = -1;
  if (!LoopbackPair(toolSide, deviceSide)) throw std::runtime_error("no loopback TCP");
  link.AttachSocket(toolSide);
  server_ = std::make_unique<StreamServer>(sim.Device(), deviceSide, timing);
  thread_ = std::thread([this] { server_->Run(); });
}

TcpRig::~TcpRig() {
  Disconnect();
}

void TcpRig::Disconnect() {
  if (thread_.joinable()) {
    server_->Stop();
    thread_.join();
  }
  server_.reset();
}

}  // namespace vxk
