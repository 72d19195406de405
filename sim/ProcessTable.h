#pragma once

#include <sys/types.h>

#include <vector>

namespace vxk {

// What /proc tells about processes, for load tests of programs that start others.
// The processes whose parent is parent, zombies included.
std::vector<pid_t> ChildrenOf(pid_t parent);
// Of those, the ones that have ended and were not reaped yet.
std::vector<pid_t> ZombieChildrenOf(pid_t parent);
// Descriptors this process has open; -1 when /proc cannot be read.
int OpenDescriptorCount();

}  // namespace vxk
