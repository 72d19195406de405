#pragma once

namespace vxk {

// Switches TCP keep-alive on with the given idle time before the first probe and the
// interval between probes (both in ms, rounded up to whole seconds, at least 1 s), or off
// when idleMs is 0 or less. True when every option was accepted.
bool SetKeepAlive(int handle, int idleMs, int intervalMs);

}  // namespace vxk
