#pragma once

#include <string>

namespace vxk {

// vxkctl --help: options, commands, the exit-status table, the JSON schemas, examples.
std::string ProgramHelp();
// The help of one command; empty for an unknown one.
std::string CommandHelp(const std::string& command);

}  // namespace vxk
