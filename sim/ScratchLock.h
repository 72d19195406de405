#pragma once

#include <string>

#include "comms/TerminalLock.h"

namespace vxk {

// A terminal lock in a private folder of its own, removed again at the end: keeps test and
// benchmark runs apart from each other and from a tool in use on the same machine.
class ScratchLock {
 public:
  ScratchLock();
  ~ScratchLock();
  ScratchLock(const ScratchLock&) = delete;
  ScratchLock& operator=(const ScratchLock&) = delete;

  TerminalLock& Lock() { return lock_; }
  const std::string& Path() const { return lock_.Path(); }

 private:
  TerminalLock lock_;
};

}  // namespace vxk
