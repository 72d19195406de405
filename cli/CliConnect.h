#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "cli/CliOptions.h"
#include "comms/HidBackend.h"
#include "comms/TerminalLock.h"
#include "session/Session.h"

namespace vxk {

// The secret for a TCP device: --key, else --key-file (refused when its group or others may
// read it, or when it is not a regular file), else VXK_KEY; empty when none is given. A line
// end closing the file is not part of the secret. Throws UsageError.
std::string ResolveKey(const CliOptions& options, const char* environmentKey);

// Why no device could be reached.
enum class ConnectError {
  None,
  NoDevice,       // USB or serial: nothing opened within the wait
  ListenFailed,   // the port could not be bound or listened on
  NoConnection,   // nobody connected within the wait
  HeaderRefused,  // the device's header did not prove the key
  LockUnusable,   // the terminal lock cannot be had at all (its Problem says why)
  Cancelled,
};

std::string ConnectErrorText(ConnectError error, const CliOptions& options);

// Opens the link the options ask for and checks a TCP device's header. Status lines (the
// header's informative lines) go to status. A cancel flag set from a signal ends the wait.
ConnectError Connect(Session& session, const CliOptions& options,
                     const std::function<void(const std::string&)>& status,
                     const std::atomic<bool>& cancel);

SessionSettings SettingsOf(const CliOptions& options, const std::string& key);

}  // namespace vxk
