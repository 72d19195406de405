#include "sim/ScratchLock.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace vxk {
namespace {

// A lock file in a private folder of its own, as the terminal lock wants it.
std::string NewLockPath() {
  char folder[] = "/tmp/vxk-lock-XXXXXX";
  if (!::mkdtemp(folder)) std::abort();
  return std::string(folder) + "/" + TerminalLock::kName;
}

}  // namespace

ScratchLock::ScratchLock() : lock_(NewLockPath()) {}

ScratchLock::~ScratchLock() {
  const std::string& path = lock_.Path();
  std::remove(path.c_str());
  ::rmdir(path.substr(0, path.rfind('/')).c_str());
}

}  // namespace vxk
