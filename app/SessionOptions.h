#pragma once

#include "app/ParamHandler.h"
#include "session/SessionSettings.h"

namespace vxk {

// The link the command line asks for: -sock=, else -tcp=, else -com=, else USB; -key=, -rtt=,
// -time= (when valid decimal numbers), -ssl or -tls.
SessionSettings SessionSettingsFrom(const TCommandLine& options);

}  // namespace vxk
