#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/BatchScript.h"
#include "session/Session.h"

namespace vxk {

// One identity text of the connected device; no value when the link does not know it.
struct IdentityField {
  std::string name;  // "manufacturer", "serial", "product", "firmware", "build", "date",
                     // "capabilities"
  std::optional<std::string> value;
};

// The device's identity as far as the link knows it. A serial link has no connection header:
// it knows nothing of the device. USB knows what the device's strings said (an empty string
// is unknown). A TCP link knows what the header said; texts the header did not set still
// hold the link's placeholders ("999999", "vx.keeper.Unknown", "0.00") and are unknown.
std::vector<IdentityField> IdentityOf(Session& session);

// The value of one field of IdentityOf; empty when unknown.
std::string IdentityValue(const std::vector<IdentityField>& fields, const std::string& name);

// A name for one device run that no other run of any vxkctl shares in practice:
// "yyyymmddThhnnssZ-PID-N" (the PC's UTC time, the process, a count within it).
std::string NewRunId();

// The placeholder values of a batch line for the connected device: {serial}, {product} and
// {firmware} as the link knows them ("unknown" when it does not), {date} the PC's UTC date and
// {run} a NewRunId.
Placeholders DevicePlaceholders(Session& session);

}  // namespace vxk
