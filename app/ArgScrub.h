#pragma once

#include <string>

namespace vxk {

// Overwrites, in the process's own argument memory, the value of every option argument
// name=value (any marker -, -- or /, name in any case) with '*', so that other users of the
// machine no longer read it in /proc/PID/cmdline. With separateValue, the argument after a bare
// option name (--name VALUE) is hidden too. Call it as early as possible; the value was visible
// from the start until then. Returns how many values were hidden.
int ScrubOptionValue(int argc, char** argv, const std::string& name, bool separateValue = false);

}  // namespace vxk
