#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "comms/OpResult.h"
#include "comms/vxComms.h"
#include "ops/Listing.h"
#include "session/Connector.h"
#include "session/Session.h"

namespace vxk {

// What a window shows of the device it is connected to, read from the link (over USB every
// text is a request to the device).
struct DeviceInfo {
  bool alive = false;        // false: nothing was read, the texts are empty
  std::string text;          // manufacturer, "#" serial, product with firmware, one per line
  std::string capabilities;  // ".nfi.uft.lcd."
  std::string product;
  std::string serial;
};
DeviceInfo ReadDeviceInfo(TvxComms& link);

// What arrived on the terminal channel: a first wait of firstWaitMs, then whatever is there,
// at most maxBytes (the rest waits for the next poll).
std::string ReadIncoming(TvxComms& link, int firstWaitMs, size_t maxBytes = 256 * 1024);

// The window's view of one poll: what it must know to run the open sequence.
struct PollRequest {
  std::string currentDir;   // listed when the link has just opened
  bool logVisible = false;  // the log window subscribes again when the link opens
  uint64_t logFilter = 0;
};

// One poll of the link, as the window's 250 ms timer runs it: a closed link is opened (a TCP
// device's header taken a step at a time), an open one is read (the terminal channel and the
// log channel). When the link has just opened, the open sequence follows: the device
// information, the log subscription, one ESC, the first read and the listing of the current
// folder.
struct PollResult {
  OpResult result;
  Connector::Event event = Connector::Event::None;
  bool open = false;                 // the link is open after the poll
  std::string incoming;              // terminal text
  std::vector<std::string> records;  // log records
  DeviceInfo info;                   // Opened only
  Listing listing;                   // Opened only, for a device with file commands
};
// Step of a header read within one poll.
constexpr int kHeaderStepMs = 10;
PollResult PollLink(Session& session, Connector& connector, const PollRequest& request);

// The 500 ms watch: a listening tool takes a device that connected, an open link is checked
// for its device.
struct WatchResult {
  OpResult result;
  bool accepted = false;
  bool lost = false;
  bool open = false;
};
WatchResult WatchLink(Session& session, Connector& connector);

}  // namespace vxk
