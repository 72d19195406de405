#include "cli/CliOptions.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <set>

#include "cli/CommandTable.h"

namespace vxk {
namespace {

int Number(const std::string& option, const std::string& text, long low, long high) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || n < low || n > high) {
    throw UsageError(option + ": expected a number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", got \"" + text + "\"");
  }
  return static_cast<int>(n);
}

const std::set<std::string>& LinkOptions() {
  static const std::set<std::string> names = {"serial", "com",      "listen", "sock", "wait",
                                              "key",    "key-file", "rtt",    "time", "lock-wait"};
  return names;
}

const std::set<std::string>& ValueOptions() {
  static const std::set<std::string> names = {
      "serial",  "com",     "listen",    "sock",    "wait",     "key",      "key-file",
      "rtt",     "time",    "lock-wait", "png",     "zip",      "password", "password-file",
      "folders", "timeout", "job",       "results", "sessions", "drain"};
  return names;
}

void SetLinkOption(CliOptions& o, const std::string& name, const std::string& value) {
  const std::string opt = "--" + name;
  if (name == "serial") {
    o.usbSerial = value;
  } else if (name == "com") {
    o.link = CliOptions::Link::Serial;
    o.port = value;
  } else if (name == "listen") {
    o.link = CliOptions::Link::Listen;
    Number(opt, value, 1, 65535);
    o.port = value;
  } else if (name == "sock") {
    o.link = CliOptions::Link::Socket;
    o.socketHandle = Number(opt, value, 0, INT_MAX);
  } else if (name == "wait") {
    o.waitSeconds = Number(opt, value, 0, 86400);
  } else if (name == "key") {
    o.key = value;
  } else if (name == "key-file") {
    o.keyFile = value;
  } else if (name == "rtt") {
    o.roundTripTime = Number(opt, value, 0, 600000);
  } else if (name == "time") {
    o.extraTime = Number(opt, value, 0, 600000);
  } else if (name == "lock-wait") {
    o.lockWaitMs = Number(opt, value, 0, 3600000);
  }
}

void SetCommandOption(CliOptions& o, const std::string& name,
                      const std::optional<std::string>& value) {
  const std::string opt = name[0] == '-' ? name : "--" + name;
  if (name == "-l") {
    o.longList = true;
  } else if (name == "-r") {
    o.recursive = true;
  } else if (name == "-p") {
    o.parents = true;
  } else if (name == "route") {
    o.route = true;
  } else if (name == "sync") {
    o.sync = true;
  } else if (name == "tz") {
    if (value) o.tzMinutes = Number(opt, *value, -1440, 1440);
  } else if (name == "png") {
    if (value->empty()) throw UsageError("--png: expected a file name");
    o.png = *value;
  } else if (name == "key") {
    o.pressKey = Number("--key", *value, 1, 4);
  } else if (name == "zip") {
    o.zip = *value;
  } else if (name == "password") {
    o.password = *value;
  } else if (name == "password-file") {
    o.passwordFile = *value;
  } else if (name == "folders") {
    o.folders = *value;
  } else if (name == "timeout") {
    o.timeoutMs = Number(opt, *value, 1, 3600000);
  } else if (name == "keep-going") {
    o.keepGoing = true;
  } else if (name == "job") {
    o.job = *value;
  } else if (name == "results") {
    o.results = *value;
  } else if (name == "sessions") {
    o.sessions = Number(opt, *value, 1, 1024);
  } else if (name == "drain") {
    o.drainSeconds = Number(opt, *value, 0, 86400);
  } else if (name == "proxy-protocol") {
    o.proxyProtocol = true;
  }
}

// serve takes the secret and the link's waits after its word too.
bool ServeLinkOption(const CliOptions& o, const std::string& name) {
  return o.command == "serve" &&
         (name == "key" || name == "key-file" || name == "rtt" || name == "time");
}

}  // namespace

bool UsesStandardStreams(const CliOptions& o) {
  if (o.command == "get") return !o.args.empty() && o.args.size() > 1 && o.args.back() == "-";
  if (o.command == "put") return !o.args.empty() && o.args.front() == "-";
  if (o.command == "lcd") return o.png == "-";
  return false;
}

CliOptions ParseCliOptions(const std::vector<std::string>& args) {
  const auto& table = CommandTable();
  CliOptions o;
  bool onlyArgs = false;  // after "--"
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (onlyArgs || a.size() < 2 || a[0] != '-') {
      if (o.command.empty() && !onlyArgs) {
        if (!table.count(a)) throw UsageError("unknown command \"" + a + "\" (see vxkctl --help)");
        o.command = a;
      } else {
        o.args.push_back(a);
      }
      continue;
    }
    if (a == "--") {
      onlyArgs = true;
      continue;
    }
    if (a == "-h" || a == "--help") {
      o.help = true;
      continue;
    }
    if (a == "--version") {
      o.version = true;
      continue;
    }
    if (a == "-q" || a == "--quiet") {
      o.quiet = true;
      continue;
    }
    if (a == "-v" || a == "--verbose") {
      o.verbose = true;
      continue;
    }
    if (a == "--json") {
      if (!o.command.empty() && !table.at(o.command).options.count("json")) {
        throw UsageError(o.command + " has no --json output");
      }
      o.json = true;
      continue;
    }
    if (a[1] != '-') {
      // Short flags, also joined: -lr.
      for (size_t k = 1; k < a.size(); ++k) {
        const std::string flag = std::string("-") + a[k];
        if (o.command.empty() || !table.at(o.command).options.count(flag)) {
          throw UsageError("unknown option " + flag +
                           (o.command.empty() ? "" : " for " + o.command));
        }
        SetCommandOption(o, flag, std::nullopt);
      }
      continue;
    }
    const size_t eq = a.find('=');
    const std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    std::optional<std::string> value;
    if (eq != std::string::npos) value = a.substr(eq + 1);
    const bool serveLink = ServeLinkOption(o, name);
    const bool commandOption =
        !serveLink && !o.command.empty() && table.at(o.command).options.count(name);
    const bool linkOption = serveLink || (LinkOptions().count(name) && !commandOption);
    if (!commandOption && !linkOption) {
      throw UsageError("unknown option --" + name + (o.command.empty() ? "" : " for " + o.command));
    }
    if (linkOption && !o.command.empty() && !serveLink) {
      throw UsageError("--" + name + " belongs before the command word");
    }
    // Options that need a value take the next argument when no "=" gave one; --tz alone is the
    // PC's offset.
    if (!value && ValueOptions().count(name) && !(commandOption && name == "tz")) {
      if (i + 1 >= args.size()) throw UsageError("--" + name + " needs a value");
      value = args[++i];
    }
    if (value && !ValueOptions().count(name) && name != "tz") {
      throw UsageError("--" + name + " takes no value");
    }
    if (linkOption) {
      SetLinkOption(o, name, *value);
    } else {
      SetCommandOption(o, name, value);
    }
  }
  if (o.help || o.version) return o;
  CheckCliOptions(o);
  return o;
}

void CheckCliOptions(const CliOptions& o) {
  if (o.command.empty()) throw UsageError("no command given (see vxkctl --help)");
  const CommandInfo& info = CommandTable().at(o.command);
  if (o.args.size() < info.minArgs || o.args.size() > info.maxArgs) {
    throw UsageError("usage: vxkctl " + info.synopsis);
  }
  if (o.command == "lcd" && o.png.empty() && o.pressKey == 0) {
    throw UsageError("lcd needs --png=FILE, --key=N or both");
  }
  if (o.command == "diag" && o.zip.empty()) throw UsageError("diag needs --zip=FILE");
  if (o.command == "time" && o.tzMinutes && !o.sync) throw UsageError("--tz goes with --sync");
  if (o.command == "put" && o.args.front() == "-" && o.args.size() != 2) {
    throw UsageError("usage: vxkctl put - PATH (standard input to one device file)");
  }
  if (o.command == "get" && o.args.size() > 2 && o.args.back() == "-") {
    throw UsageError("get: only one device file goes to standard output");
  }
  if (o.json && UsesStandardStreams(o)) {
    throw UsageError("--json and data on standard input or output (-) do not go together");
  }
  if (o.command == "serve") {
    if (o.link != CliOptions::Link::Listen) throw UsageError("serve needs --listen=PORT");
    if (o.job.empty() || o.results.empty()) {
      throw UsageError("serve needs --job=FILE and --results=FILE");
    }
  }
}

}  // namespace vxk
