#include "sim/FleetSim.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "comms/Ticks.h"
#include "sim/FileService.h"
#include "sim/HeaderText.h"
#include "sim/SimDevice.h"
#include "sim/StreamServer.h"

namespace vxk {
namespace {

// Spreads the misbehaving devices over the fleet: a fixed permutation of the indices.
constexpr long kSpread = 7919;

int Connect(const std::string& host, int port, int timeoutMs) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return -1;
  int fd = -1;
  for (addrinfo* a = list; a && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    // On Linux the send time-out bounds a blocking connect too.
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(list);
  return fd;
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

// One line up to LF, a byte at a time so nothing after it is taken; false when the
// connection ends or the deadline passes first.
bool ReadLine(int fd, std::string& line, int64_t deadline) {
  line.clear();
  while (line.size() < 256) {
    const int64_t left = deadline - TickCount();
    pollfd pfd{fd, POLLIN, 0};
    if (left <= 0 || poll(&pfd, 1, static_cast<int>(left)) <= 0) return false;
    char c;
    if (recv(fd, &c, 1, 0) != 1) return false;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    line += c;
  }
  return false;
}

// The running servers, so that the end of the run can stop them.
class Registry {
 public:
  void Add(StreamServer* server) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (stopped_) server->Stop();
    servers_.push_back(server);
  }
  void Remove(StreamServer* server) {
    std::lock_guard<std::mutex> guard(mutex_);
    servers_.erase(std::remove(servers_.begin(), servers_.end(), server), servers_.end());
  }
  void StopAll() {
    std::lock_guard<std::mutex> guard(mutex_);
    stopped_ = true;
    for (StreamServer* s : servers_) s->Stop();
  }
  bool Stopped() {
    std::lock_guard<std::mutex> guard(mutex_);
    return stopped_;
  }

 private:
  std::mutex mutex_;
  std::vector<StreamServer*> servers_;
  bool stopped_ = false;
};

void Dial(const FleetOptions& o, FleetDevice& device, Registry& registry) {
  const int64_t start = TickCount();
  DeviceIdentity identity;
  identity.serial = device.serial;
  auto files = SimFileSystem::Demo(PackedNow());
  std::string log(o.logBytes, '\0');
  for (size_t k = 0; k < log.size(); ++k)
    log[k] = static_cast<char>(k % 61 == 60 ? '\n' : 'a' + k % 26);
  files->WriteFile("/Logs/device.log", log, PackedNow());
  SimDevice sim(identity, std::move(files));
  if (device.kind == FleetDevice::Kind::Drops) sim.Files().Faults().dropAfter = o.dropAfterBytes;
  const int fd = Connect(o.host, o.port, o.connectTimeoutMs);
  if (fd < 0) return;
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
      local.ss_family == AF_INET)
    device.localPort = ntohs(reinterpret_cast<sockaddr_in&>(local).sin_port);
  HeaderOptions header;
  header.key = o.key;
  header.wrongDigest = device.kind == FleetDevice::Kind::BadHeader;
  // The header and the proof travel the link as everything else does.
  SleepMs(std::max(o.timing.toHostLatencyMs, 0));
  std::string proof;
  const int64_t deadline = TickCount() + o.lifeMs;
  if (!SendAll(fd, BuildConnectHeader(identity, header)) || !ReadLine(fd, proof, deadline)) {
    device.end = FleetDevice::End::NoProof;
    close(fd);
  } else if (proof == "BYE!") {
    device.end = FleetDevice::End::Refused;
    close(fd);
  } else if (!o.key.empty() && proof != ExpectedProof(identity, header)) {
    device.end = FleetDevice::End::WrongProof;
    close(fd);
  } else {
    SleepMs(std::max(o.timing.toDeviceLatencyMs, 0));
    if (o.proven) ++*o.proven;
    StreamServer server(sim.Device(), fd, o.timing);
    registry.Add(&server);
    server.Run();
    registry.Remove(&server);
    device.end = registry.Stopped() ? FleetDevice::End::Stopped : FleetDevice::End::Served;
  }
  device.commands = sim.Device().CommandCount();
  device.turns = sim.Device().TurnCount();
  device.seconds = static_cast<double>(TickCount() - start) / 1000.0;
}

}  // namespace

FleetSim::FleetSim(FleetOptions options) : options_(std::move(options)) {}

FleetDevice::Kind FleetSim::KindOf(int i) const {
  const long n = std::max(options_.count, 1);
  const long bad = std::lround(options_.badHeaderShare * n);
  const long drops = std::lround(options_.dropShare * n);
  const long place = (i * kSpread) % n;
  if (place < bad) return FleetDevice::Kind::BadHeader;
  if (place < bad + drops) return FleetDevice::Kind::Drops;
  return FleetDevice::Kind::Good;
}

std::string FleetSim::SerialOf(int i) const {
  return std::to_string(options_.firstSerial + i);
}

FleetResult FleetSim::Run() {
  FleetResult result;
  result.devices.resize(static_cast<size_t>(std::max(options_.count, 0)));
  for (size_t i = 0; i < result.devices.size(); ++i) {
    result.devices[i].serial = SerialOf(static_cast<int>(i));
    result.devices[i].kind = KindOf(static_cast<int>(i));
  }
  Registry registry;
  std::mutex mutex;
  std::condition_variable slotFree;
  int connected = 0;  // dialled and not yet hung up
  std::vector<std::thread> threads;
  const int64_t start = TickCount();
  const int64_t end = start + static_cast<int64_t>(options_.spreadSeconds * 1000) + options_.lifeMs;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    while (TickCount() < end && !slotFree.wait_for(lock, std::chrono::milliseconds(50), [&] {
      return connected == 0 && threads.size() == result.devices.size();
    })) {
    }
    lock.unlock();
    registry.StopAll();
  });
  const double spacingMs =
      result.devices.empty() ? 0 : options_.spreadSeconds * 1000 / result.devices.size();
  for (size_t i = 0; i < result.devices.size(); ++i) {
    const int64_t due = start + static_cast<int64_t>(i * spacingMs);
    while (TickCount() < due) SleepMs(static_cast<int>(std::min<int64_t>(due - TickCount(), 20)));
    std::unique_lock<std::mutex> lock(mutex);
    if (options_.concurrent > 0)
      slotFree.wait(lock, [&] { return connected < options_.concurrent || registry.Stopped(); });
    ++connected;
    FleetDevice& device = result.devices[i];
    threads.emplace_back([&, &device = device] {
      Dial(options_, device, registry);
      std::lock_guard<std::mutex> guard(mutex);
      --connected;
      slotFree.notify_all();
    });
  }
  for (std::thread& t : threads) t.join();
  {
    std::lock_guard<std::mutex> guard(mutex);
    slotFree.notify_all();
  }
  watchdog.join();
  result.elapsedS = static_cast<double>(TickCount() - start) / 1000.0;
  for (const FleetDevice& d : result.devices) {
    if (d.end != FleetDevice::End::NotConnected) ++result.connected;
    if (d.end == FleetDevice::End::Served) ++result.served;
    if (d.end == FleetDevice::End::Refused) ++result.refused;
  }
  return result;
}

}  // namespace vxk
