#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vxk {

// A link the Connect dialog starts a tool process for, as its command line names it: USB (no
// link option), a serial port (-com=) or a TCP listen port (-tcp=, with -rtt= when given). The
// key of a TCP link is no part of it, so that it is never stored with it.
struct ConnectTarget {
  enum class Link { Usb, Serial, Listen };

  Link link = Link::Usb;
  std::string port;     // Serial: a device node (or a port number); Listen: the TCP port
  int roundTripMs = 0;  // Listen: -rtt=, 0 for the tool's own default

  bool operator==(const ConnectTarget& other) const {
    return link == other.link && port == other.port && roundTripMs == other.roundTripMs;
  }
};

// How many connections are remembered.
constexpr size_t kRecentConnections = 8;

// The tool's arguments for target, without the program name. A TCP link's key comes on the
// inherited descriptor keyFd (-keyfd=) when it is 0 or more, never as text.
std::vector<std::string> ToolArguments(const ConnectTarget& target, int keyFd);

// What a person reads for target: "USB", "Serial /dev/ttyUSB0", "TCP listen 5000" (with ",
// round trip 8000 ms" when given).
std::string TargetText(const ConnectTarget& target);

// Why target cannot be started; empty when it can. A serial port is a device path or a port
// number, a TCP port a number from 1 to 65535; neither may hold control characters.
std::string TargetProblem(const ConnectTarget& target);

// recent with target in front and no other entry for the same link and port, at most
// kRecentConnections long.
std::vector<ConnectTarget> Remember(std::vector<ConnectTarget> recent, const ConnectTarget& target);

// The serial device nodes in devDir: ttyUSB*, then ttyACM*, then ttyS*, each by number.
std::vector<std::string> SerialPorts(const std::string& devDir = "/dev");

// Empty when this user may open path for reading and writing; else why not, and how to get the
// right (the group that owns the node, usually dialout).
std::string SerialAccessProblem(const std::string& path);
// The text for a node that cannot be opened: error is the errno of the check, group the
// group that owns the node (empty when unknown).
std::string SerialAccessText(const std::string& path, int error, const std::string& group);

// Under which name the desktop keyring keeps the key of a TCP target: "tcp:5000".
std::string KeyringEntry(const ConnectTarget& target);

}  // namespace vxk
