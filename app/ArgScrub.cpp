#include "app/ArgScrub.h"

#include <strings.h>

#include <cstring>

namespace vxk {

int ScrubOptionValue(int argc, char** argv, const std::string& name) {
  int hidden = 0;
  for (int i = 1; i < argc && argv[i]; ++i) {
    char* arg = argv[i];
    if (arg[0] != '-' && arg[0] != '/') continue;
    char* entry = arg + (arg[0] != '\0' && arg[1] == '-' ? 2 : 1);
    if (strncasecmp(entry, name.c_str(), name.size()) != 0 || entry[name.size()] != '=') continue;
    char* value = entry + name.size() + 1;
    if (*value == '\0') continue;
    std::memset(value, '*', std::strlen(value));
    ++hidden;
  }
  return hidden;
}

}  // namespace vxk
