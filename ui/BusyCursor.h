#pragma once

namespace vxk {

// Shows the busy cursor for one scope; nested guards restore in order on every way out.
class BusyCursor {
 public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace vxk
