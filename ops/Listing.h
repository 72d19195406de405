#pragma once

#include <string>
#include <vector>

#include "FileAccess/vxkFiles.h"
#include "comms/OpResult.h"
#include "comms/vxTerminal.h"

namespace vxk {

// One device folder as the file list shows it: the path listed and the lines that came.
struct Listing {
  OpResult result;
  // False when nothing was asked: the device wants its password first (the list keeps what it
  // shows then).
  bool shown = false;
  std::string path;                // "//" at the start collapsed to "/"
  std::vector<std::string> lines;  // whatever arrived, also after a failure
};

// Lists requested for the file list: nothing while the device asks for its password, the
// formed path "//name" as "/name", and every line that came even when the listing failed.
Listing ListForDisplay(TvxTerminal& terminal, TvxkFiles& files, const std::string& requested);

}  // namespace vxk
