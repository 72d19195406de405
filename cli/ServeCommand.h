#pragma once

#include "cli/CliOptions.h"
#include "cli/Vxkctl.h"

namespace vxk {

// vxkctl --listen=PORT serve --job=FILE --results=FILE: every device that connects gets the
// job, on a thread of its own, at most --sessions at once (connections beyond them wait in the
// listen backlog); each run is one line of the results file (see ServeDevice). Runs until
// SIGINT or SIGTERM, then drains: the port closes, running jobs get --drain seconds to finish
// (a second signal stops them at once), the results file is complete. Exit status 0 after a
// drain in which every job finished, 130 when jobs had to be stopped, 2 for a job or option
// that cannot run, 3 when the port cannot be listened on, 1 when the results file cannot be
// opened. Throws UsageError.
int RunServe(const CliOptions& options, VxkctlEnvironment& env);

}  // namespace vxk
