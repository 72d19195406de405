#include "sim/ProcessTable.h"

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace vxk {
namespace {

// Parent and state from /proc/PID/stat; false when the process is gone.
bool ReadStat(pid_t pid, pid_t& parent, char& state) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(in, text)) return false;
  // "pid (name) state ppid ...": the name may hold blanks and parentheses.
  const size_t close = text.rfind(')');
  if (close == std::string::npos || close + 4 >= text.size()) return false;
  state = text[close + 2];
  parent = static_cast<pid_t>(std::atoi(text.c_str() + close + 4));
  return true;
}

template <typename Keep>
std::vector<pid_t> Scan(pid_t parent, Keep keep) {
  std::vector<pid_t> found;
  DIR* dir = opendir("/proc");
  if (!dir) return found;
  while (dirent* e = readdir(dir)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
    pid_t ppid = 0;
    char state = 0;
    if (pid > 0 && ReadStat(pid, ppid, state) && ppid == parent && keep(state))
      found.push_back(pid);
  }
  closedir(dir);
  return found;
}

}  // namespace

std::vector<pid_t> ChildrenOf(pid_t parent) {
  return Scan(parent, [](char) { return true; });
}

std::vector<pid_t> ZombieChildrenOf(pid_t parent) {
  return Scan(parent, [](char state) { return state == 'Z'; });
}

int OpenDescriptorCount() {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  int count = 0;
  while (dirent* e = readdir(dir))
    if (e->d_name[0] != '.') ++count;
  closedir(dir);
  return count - 1;  // the directory's own descriptor
}

}  // namespace vxk
