#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace vxk {

// What vxkctl knows of one command: its synopsis and help, the schema of its --json output,
// the options it takes and how many arguments.
struct CommandInfo {
  std::string synopsis;
  std::string text;
  std::string json;               // one line: what --json prints on success
  std::set<std::string> options;  // long names (and -l, -r, -p) the command takes
  size_t minArgs;
  size_t maxArgs;  // SIZE_MAX: any number
};

const std::map<std::string, CommandInfo>& CommandTable();

// The commands, in the order the help lists them.
const std::vector<std::string>& CliCommands();

}  // namespace vxk
