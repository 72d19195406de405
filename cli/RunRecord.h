#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliContext.h"

namespace vxk {

// One device run of vxkctl serve, as its line in the results file.
struct RunRecord {
  std::string run;  // NewRunId
  // What the device's header said; unknown fields stay empty (null in the line).
  std::optional<std::string> serial, product, firmware;
  bool authenticated = false;  // the header proved the key
  std::string peer;            // "address:port" of the device (from the PROXY line if any)
  int64_t startMs = 0;         // UTC, ms since 1970
  int64_t endMs = 0;
  std::string outcome = "failed";  // done, failed, refused, interrupted
  int exit = kExitFailed;          // the exit status vxkctl would have given it
  CliFailure failure;              // of the first step that failed, or of the connection
  std::vector<std::string> steps;  // StepJson of each line run

  std::string Json() const;
};

// "yyyy-mm-ddThh:nn:ss.mmmZ" of a UTC time in ms since 1970.
std::string IsoUtcMs(int64_t utcMs);

}  // namespace vxk
