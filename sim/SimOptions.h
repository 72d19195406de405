#pragma once

#include <string>
#include <utility>
#include <vector>

#include "sim/DeviceIdentity.h"
#include "sim/FileService.h"
#include "sim/HeaderText.h"
#include "sim/LcdClock.h"
#include "sim/LinkTiming.h"

namespace vxk {

// What the vxksim command line asks for.
struct SimOptions {
  std::string tcp;   // HOST:PORT to connect to
  std::string pty;   // path of the link to the pseudo-terminal
  std::string root;  // folder to serve as the device's file tree
  std::string password;
  int retryMs = 10000;  // how long to keep trying to connect
  bool help = false;
  bool version = false;
  DeviceIdentity identity;
  HeaderOptions header;
  FileFaults faults;
  LcdFaults lcd;
  ClockFaults clock;
  LinkTiming timing;
  int receiveTimeoutMs = -1;  // -1: the device's own
  // Commands that flood instead of doing their work; second: 0xAB bytes instead of text.
  std::vector<std::pair<std::string, bool>> floods;
};

// Parses argv (without the program name); throws std::invalid_argument with a message.
SimOptions ParseSimOptions(int argc, const char* const* argv);
std::string SimUsage();

}  // namespace vxk
