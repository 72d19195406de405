#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "cli/CliOptions.h"
#include "comms/HidBackend.h"
#include "comms/OpResult.h"
#include "comms/TerminalLock.h"
#include "session/Session.h"

namespace vxk {

// The secret for a TCP device: --key, else --key-file (refused when its group or others may
// read it, or when it is not a regular file), else VXK_KEY; empty when none is given. A line
// end closing the file is not part of the secret. Throws UsageError.
std::string ResolveKey(const CliOptions& options, const char* environmentKey);

// Opens the link the options ask for through the shared connect sequence, and checks a TCP
// device's header. Status lines (the header's informative lines) go to status. A cancel flag
// set from a signal ends the wait. The reasons: NotOpen (no device within the wait), TimedOut
// (nobody connected to the port in time), Refused (the header did not prove the key),
// LocalError (the port or the terminal lock), Cancelled; detail says it in words.
OpResult Connect(Session& session, const CliOptions& options,
                 const std::function<void(const std::string&)>& status,
                 const std::atomic<bool>& cancel);

SessionSettings SettingsOf(const CliOptions& options, const std::string& key);

}  // namespace vxk
