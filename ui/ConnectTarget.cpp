#include "ui/ConnectTarget.h"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>

namespace vxk {
namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool HasControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
}

// The serial node families in the order they are listed: USB adapters first, the board's own
// ports last.
constexpr const char* kSerialPrefixes[] = {"ttyUSB", "ttyACM", "ttyS"};

}  // namespace

std::vector<std::string> ToolArguments(const ConnectTarget& target, int keyFd) {
  switch (target.link) {
    case ConnectTarget::Link::Usb:
      return {};
    case ConnectTarget::Link::Serial:
      return {"-com=" + target.port};
    case ConnectTarget::Link::Listen: {
      std::vector<std::string> args{"-tcp=" + target.port};
      if (target.roundTripMs > 0) args.push_back("-rtt=" + std::to_string(target.roundTripMs));
      if (keyFd >= 0) args.push_back("-keyfd=" + std::to_string(keyFd));
      return args;
    }
  }
  return {};
}

std::string TargetText(const ConnectTarget& target) {
  switch (target.link) {
    case ConnectTarget::Link::Usb:
      return "USB";
    case ConnectTarget::Link::Serial:
      return "Serial " + target.port;
    case ConnectTarget::Link::Listen:
      return "TCP listen " + target.port +
             (target.roundTripMs > 0 ? ", round trip " + std::to_string(target.roundTripMs) + " ms"
                                     : std::string());
  }
  return std::string();
}

std::string TargetProblem(const ConnectTarget& target) {
  switch (target.link) {
    case ConnectTarget::Link::Usb:
      return std::string();
    case ConnectTarget::Link::Serial:
      if (target.port.empty()) return "Choose or type a serial port.";
      if (HasControl(target.port) || !(target.port[0] == '/' || AllDigits(target.port)))
        return "A serial port is a device path such as /dev/ttyUSB0.";
      return std::string();
    case ConnectTarget::Link::Listen: {
      const bool number = AllDigits(target.port) && target.port.size() <= 5;
      const int port = number ? std::stoi(target.port) : 0;
      if (port < 1 || port > 65535) return "A TCP port is a number from 1 to 65535.";
      if (target.roundTripMs < 0) return "The round-trip time cannot be negative.";
      return std::string();
    }
  }
  return std::string();
}

std::vector<ConnectTarget> Remember(std::vector<ConnectTarget> recent,
                                    const ConnectTarget& target) {
  // One entry a link: the round trip is a setting of it, and the newest counts.
  recent.erase(std::remove_if(recent.begin(), recent.end(),
                              [&](const ConnectTarget& t) {
                                return t.link == target.link && t.port == target.port;
                              }),
               recent.end());
  recent.insert(recent.begin(), target);
  if (recent.size() > kRecentConnections) recent.resize(kRecentConnections);
  return recent;
}

std::vector<std::string> SerialPorts(const std::string& devDir) {
  struct Node {
    size_t family;
    unsigned long number;
    std::string name;
  };
  std::vector<Node> nodes;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(devDir.c_str()), closedir);
  if (!dir) return {};
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    for (size_t f = 0; f < std::size(kSerialPrefixes); ++f) {
      const std::string prefix = kSerialPrefixes[f];
      const std::string number = name.substr(std::min(prefix.size(), name.size()));
      if (name.compare(0, prefix.size(), prefix) == 0 && AllDigits(number) && number.size() < 9) {
        nodes.push_back({f, std::stoul(number), name});
        break;
      }
    }
  }
  std::sort(nodes.begin(), nodes.end(), [](const Node& a, const Node& b) {
    return a.family != b.family ? a.family < b.family : a.number < b.number;
  });
  std::vector<std::string> paths;
  const std::string folder = devDir.empty() || devDir.back() == '/' ? devDir : devDir + "/";
  for (const Node& n : nodes) paths.push_back(folder + n.name);
  return paths;
}

std::string SerialAccessProblem(const std::string& path) {
  // Looked at, not opened: opening a serial port can reset the device behind it.
  if (access(path.c_str(), R_OK | W_OK) == 0) return std::string();
  const int error = errno;
  std::string owner;
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    if (const struct group* g = getgrgid(info.st_gid)) owner = g->gr_name;
  }
  return SerialAccessText(path, error, owner);
}

std::string SerialAccessText(const std::string& path, int error, const std::string& group) {
  if (error == ENOENT) return path + " does not exist.";
  if (error == EACCES || error == EPERM) {
    const std::string name = group.empty() ? "dialout" : group;
    return "You may not open " + path + ". Join the group " + name + " (sudo adduser $USER " +
           name + "), then log out and in again.";
  }
  return "Cannot open " + path + ": " + std::strerror(error) + ".";
}

std::string KeyringEntry(const ConnectTarget& target) {
  return "tcp:" + target.port;
}

}  // namespace vxk
