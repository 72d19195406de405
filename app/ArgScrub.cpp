#include "app/ArgScrub.h"

#include <strings.h>

#include <cstring>

namespace vxk {

namespace {

int Hide(char* value) {
  if (*value == '\0') return 0;
  std::memset(value, '*', std::strlen(value));
  return 1;
}

}  // namespace

int ScrubOptionValue(int argc, char** argv, const std::string& name, bool separateValue) {
  int hidden = 0;
  for (int i = 1; i < argc && argv[i]; ++i) {
    char* arg = argv[i];
    if (arg[0] != '-' && arg[0] != '/') continue;
    char* entry = arg + (arg[0] != '\0' && arg[1] == '-' ? 2 : 1);
    if (strncasecmp(entry, name.c_str(), name.size()) != 0) continue;
    if (entry[name.size()] == '=') {
      hidden += Hide(entry + name.size() + 1);
    } else if (separateValue && entry[name.size()] == '\0' && i + 1 < argc && argv[i + 1]) {
      hidden += Hide(argv[++i]);
    }
  }
  return hidden;
}

}  // namespace vxk
