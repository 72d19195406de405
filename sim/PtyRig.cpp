#include "sim/PtyRig.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace vxk {

PtyRig::PtyRig(LinkTiming timing) : link(lock.Lock()) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) throw std::runtime_error("no pseudo-terminal");
  if (grantpt(master) != 0 || unlockpt(master) != 0) {
    close(master);
    throw std::runtime_error("pseudo-terminal not usable");
  }
  termios raw{};
  if (tcgetattr(master, &raw) == 0) {
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
  }
  link.SetPortPath(ptsname(master));
  server_ = std::make_unique<StreamServer>(sim.Device(), master, timing);
  // A closed slave only pauses the service, so the link can open and close at will.
  thread_ = std::thread([this] { server_->Run(true); });
}

PtyRig::~PtyRig() {
  link.Close();
  server_->Stop();
  thread_.join();
}

}  // namespace vxk
