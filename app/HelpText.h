#pragma once

#include <string>

namespace vxk {

// The command-line help, one line per option, ending with the prompt line.
std::string HelpText();

}  // namespace vxk
