#include "comms/OpResult.h"

namespace vxk {

const char* ReasonName(Reason reason) {
  switch (reason) {
    case Reason::None:
      return "done";
    case Reason::NotOpen:
      return "the link is closed";
    case Reason::Busy:
      return "another operation is running";
    case Reason::LockTimeout:
      return "another program is using the device (terminal lock)";
    case Reason::TimedOut:
      return "the device did not answer in time";
    case Reason::Refused:
      return "refused by the device";
    case Reason::BadReply:
      return "bad reply from the device";
    case Reason::Cancelled:
      return "cancelled";
    case Reason::LinkLost:
      return "the link to the device was lost";
    case Reason::BadName:
      return "the name holds characters the device cannot take";
    case Reason::Unsupported:
      return "the device does not offer this";
    case Reason::LocalError:
      return "local file error";
  }
  return "failed";
}

std::string DescribeResult(const OpResult& result) {
  if (result.detail.empty()) return ReasonName(result.reason);
  if (result.reason == Reason::Refused || result.reason == Reason::LocalError) return result.detail;
  return std::string(ReasonName(result.reason)) + " (" + result.detail + ")";
}

}  // namespace vxk
