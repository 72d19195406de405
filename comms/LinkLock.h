#pragma once

#include "comms/vxComms.h"

namespace vxk {

// Holds the link's terminal lock for one scope, when it could be taken.
class LinkLock {
 public:
  LinkLock(TvxComms& link, int timeoutMs) : link_(link), held_(link.Lock(timeoutMs)) {}
  ~LinkLock() {
    if (held_) link_.Unlock();
  }
  LinkLock(const LinkLock&) = delete;
  LinkLock& operator=(const LinkLock&) = delete;

  explicit operator bool() const { return held_; }

 private:
  TvxComms& link_;
  bool held_;
};

}  // namespace vxk
