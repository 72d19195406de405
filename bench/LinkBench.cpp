#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bench/Bench.h"
#include "comms/vxCommsComPort.h"
#include "comms/vxTerminal.h"
#include "security/sha256.h"
#include "sim/ScratchLock.h"
#include "sim/SimDevice.h"
#include "sim/StreamServer.h"
#include "sim/TcpRig.h"

namespace vxk {

namespace {

// Reads a reply of size bytes with ReadChars(4096); returns MB/s.
double ReadReply(TvxComms& link, size_t size) {
  TvxTerminal term(link);
  term.SendLine("dump " + std::to_string(size));
  size_t got = 0;
  const double s = Seconds([&] {
    while (got < size) {
      const std::string block =
          term.ReadChars(static_cast<int>(std::min<size_t>(4096, size - got)), 2000);
      if (block.empty()) break;
      got += block.size();
    }
  });
  if (got != size) Fail("short reply");
  return size / s / 1e6;
}

void TcpRead() {
  TcpRig rig;
  rig.link.SetExtraTime(20);
  if (!rig.link.Open()) Fail("tcp open");
  Report("tcp.read_MBps", ReadReply(rig.link, size_t(4) << 20), "MB/s");
}

void SerialRead() {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) Fail("pty");
  const std::string slave = ptsname(master);
  SimDevice sim;
  StreamServer server(sim.Device(), master);
  ScratchLock lock;
  TvxCommsComPort port(lock.Lock());
  port.SetPortPath(slave);
  port.SetExtraTime(1000);
  if (!port.Open()) Fail("serial open");
  std::thread serving([&] { server.Run(true); });
  const size_t size = 256 * 1024;
  Report("serial.read_KBps", ReadReply(port, size) * 1000, "KB/s");
  port.Close();
  server.Stop();
  serving.join();
}

void Sha() {
  const std::string data(size_t(64) << 20, 'h');
  std::string digest;
  const double s = Seconds([&] { digest = Sha256Hex(data); });
  if (digest.size() != 64) Fail("sha256");
  Report("sha256.MBps", data.size() / s / 1e6, "MB/s");
}

}  // namespace

void RunLinkBenches() {
  if (Selected("tcp.")) TcpRead();
  if (Selected("serial.")) SerialRead();
  if (Selected("sha256.")) Sha();
}

}  // namespace vxk
