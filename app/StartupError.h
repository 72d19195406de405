#pragma once

#include <string>

namespace vxk {

// Whether a window can be shown (a display, and not a headless platform).
bool DisplayAvailable();

// Reports an error that ends start-up: always on stderr, and in an error box when a display
// is available. Returns the process's exit status.
int ReportStartupError(int& argc, char** argv, const std::string& text);

}  // namespace vxk
