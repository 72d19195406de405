#pragma once

#include <string>

namespace vxk {

// Why a device operation did not complete. One list for every operation, so that the window
// and vxkctl turn reasons into texts and exit statuses in one place each.
enum class Reason {
  None,         // done
  NotOpen,      // the link is closed: nothing was sent
  Busy,         // another operation of this program is running
  LockTimeout,  // another program holds the terminal lock
  TimedOut,     // the device did not answer (or finish) in time
  Refused,      // the device answered with an error status; detail holds its text
  BadReply,     // the answer was malformed or not this command's; detail says how
  Cancelled,    // the user stopped it
  LinkLost,     // the link closed during the exchange
  BadName,      // a name the device could not take safely (control bytes, quotes): not sent
  Unsupported,  // the device does not offer this (its LCD is not drawn the way we read it)
  LocalError,   // a local file or folder; detail holds the system's text
};

// The outcome of one device operation: the reason, and the text that explains it (the
// device's status line, the system's error text, or what was wrong with a reply).
struct OpResult {
  Reason reason = Reason::None;
  std::string detail;

  bool ok() const { return reason == Reason::None; }
  explicit operator bool() const { return ok(); }

  static OpResult Done() { return {}; }
  static OpResult Fail(Reason why, std::string text = {}) { return {why, std::move(text)}; }
};

// A short English name of the reason ("bad reply", "timed out").
const char* ReasonName(Reason reason);

// What a person reads: the device's or system's own text where there is one, else the
// reason's name with any detail after it. Device text is returned as it came; escaping it for
// a terminal or a window is the front end's job.
std::string DescribeResult(const OpResult& result);

}  // namespace vxk
