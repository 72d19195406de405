#include "sim/ScratchLock.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace vxk {
namespace {

std::string NewLockPath() {
  static std::atomic<int> counter{0};
  return "/tmp/vxk-lock-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

ScratchLock::ScratchLock() : lock_(NewLockPath()) {}

ScratchLock::~ScratchLock() {
  std::remove(lock_.Path().c_str());
}

}  // namespace vxk
