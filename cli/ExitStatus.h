#pragma once

#include <string>

#include "comms/OpResult.h"

namespace vxk {

// Exit statuses of vxkctl.
enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,  // the device refused or failed (an error status, a bad reply), or a local file
  kExitUsage = 2,   // the command line (or a batch line) cannot be run
  kExitLink = 3,    // no device, the link went down, or its connection header was refused
  kExitInterrupted = 130,
};

// Why a command failed, as the "reason" of its JSON error: the operation reasons ("timed_out",
// "refused", "link_lost" ...) and those of vxkctl itself below.
namespace code {
constexpr const char* kUsage = "usage";            // exit 2
constexpr const char* kNotFound = "not_found";     // no such device file, or no match: exit 1
constexpr const char* kFailed = "failed";          // any other failure: exit 1
constexpr const char* kNoDevice = "no_device";     // nothing connected or answered: exit 3
constexpr const char* kAuth = "auth";              // the connection header was refused: exit 3
constexpr const char* kInterrupted = "cancelled";  // exit 130
}  // namespace code

const char* ReasonCode(Reason reason);
// 0 for None, 130 for Cancelled, 3 when the link is gone (LinkLost, NotOpen), else 1.
int ExitStatusOf(Reason reason);
// The exit status that goes with a reason code.
int ExitStatusOfCode(const std::string& reasonCode);

}  // namespace vxk
