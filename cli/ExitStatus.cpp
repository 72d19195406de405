#include "cli/ExitStatus.h"

namespace vxk {

const char* ReasonCode(Reason reason) {
  switch (reason) {
    case Reason::None:
      return "none";
    case Reason::NotOpen:
      return "not_open";
    case Reason::Busy:
      return "busy";
    case Reason::LockTimeout:
      return "lock_timeout";
    case Reason::TimedOut:
      return "timed_out";
    case Reason::Refused:
      return "refused";
    case Reason::BadReply:
      return "bad_reply";
    case Reason::Cancelled:
      return code::kInterrupted;
    case Reason::LinkLost:
      return "link_lost";
    case Reason::BadName:
      return "bad_name";
    case Reason::Unsupported:
      return "unsupported";
    case Reason::LocalError:
      return "local_error";
  }
  return code::kFailed;
}

int ExitStatusOf(Reason reason) {
  switch (reason) {
    case Reason::None:
      return kExitOk;
    case Reason::Cancelled:
      return kExitInterrupted;
    case Reason::LinkLost:
    case Reason::NotOpen:
      return kExitLink;
    default:
      return kExitFailed;
  }
}

int ExitStatusOfCode(const std::string& reasonCode) {
  if (reasonCode == code::kUsage) return kExitUsage;
  if (reasonCode == code::kInterrupted) return kExitInterrupted;
  if (reasonCode == code::kNoDevice || reasonCode == code::kAuth || reasonCode == "link_lost" ||
      reasonCode == "not_open")
    return kExitLink;
  return kExitFailed;
}

}  // namespace vxk
