#include "ops/Listing.h"

namespace vxk {

Listing ListForDisplay(TvxTerminal& terminal, TvxkFiles& files, const std::string& requested) {
  Listing listing;
  if (!terminal.IsReadyForCommands()) {
    listing.result = OpResult::Fail(Reason::Refused, "the device asks for its password");
    return listing;
  }
  listing.shown = true;
  listing.path = requested;
  if (listing.path.rfind("//", 0) == 0) listing.path.erase(0, 1);
  listing.result = files.ListDirectory(listing.path, listing.lines);
  return listing;
}

}  // namespace vxk
