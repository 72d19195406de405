#include "cli/CliOptions.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>

namespace vxk {
namespace {

struct CommandInfo {
  std::string synopsis;
  std::string text;
  std::set<std::string> options;  // long names (and -l, -r) the command takes
  size_t minArgs;
  size_t maxArgs;  // SIZE_MAX: any number
};

const std::map<std::string, CommandInfo>& Commands() {
  static const std::map<std::string, CommandInfo> commands = {
      {"info",
       {"info [--json]",
        "Shows the device's identity: maker, serial number, product, firmware and capabilities.",
        {"json"},
        0,
        0}},
      {"ls",
       {"ls [-l] [--json] [PATH]",
        "Lists a device folder (default /). -l adds attributes, size and date; --json prints an "
        "array\n"
        "of {name, size, attributes, directory, time}.",
        {"-l", "json"},
        0,
        1}},
      {"get",
       {"get [-r] PATH [LOCAL]",
        "Copies a device file to LOCAL (default: its name in the current folder; into LOCAL when "
        "that\n"
        "is a folder), keeping the device's file time. -r copies the folder PATH with everything "
        "in it\n"
        "into the local folder LOCAL (default .). Names that could leave the folder, or that are "
        "too\n"
        "long for a local file, are skipped; a symbolic link met below LOCAL is not followed but\n"
        "refused.",
        {"-r"},
        1,
        2}},
      {"put",
       {"put [-r] [--route] LOCAL... DIR",
        "Copies local files to the device folder DIR, with their file times. -r copies local "
        "folders\n"
        "with everything in them. --route sends Lua scripts to /Lua and configuration files to\n"
        "/Config, as the window does with dropped files.",
        {"-r", "route"},
        2,
        SIZE_MAX}},
      {"rm",
       {"rm [-r] PATH",
        "Deletes a device file; -r deletes a folder with everything in it.",
        {"-r"},
        1,
        1}},
      {"mkdir", {"mkdir PATH", "Makes a device folder.", {}, 1, 1}},
      {"mv", {"mv PATH NEWNAME", "Renames a device file or folder within its folder.", {}, 2, 2}},
      {"cat",
       {"cat PATH",
        "Writes a device file's content to standard output; on a terminal, control bytes show as "
        "\\xHH.",
        {},
        1,
        1}},
      {"exec",
       {"exec [--timeout=MS] \"COMMAND\"",
        "Runs one line on the device's command interpreter and prints its reply up to the prompt\n"
        "(waiting at most MS, default 10000, for the reply to go on).",
        {"timeout"},
        1,
        1}},
      {"time",
       {"time [--json] [--sync [--tz[=MIN]]]",
        "Shows the device's clock and the PC's UTC and local time. --sync sets the device's clock "
        "to\n"
        "the PC's UTC time with the PC's offset from UTC; --tz=MIN sends MIN minutes instead.",
        {"json", "sync", "tz"},
        0,
        0}},
      {"lcd",
       {"lcd [--key=N] [--png=FILE]",
        "Presses key N (1..4) of the device, then saves a picture of its LCD as a PNG file.",
        {"png", "key"},
        0,
        0}},
      {"diag",
       {"diag --zip=FILE [--password=P | --password-file=PATH] [--folders=A,B]",
        "Saves the diagnostics archive, as the window's Diagnostics does, from the folders named\n"
        "(default /Config,/Logs,/Lua,/). With a password every entry but ui.info.txt is\n"
        "encrypted and the archive is readable by you only (mode 0600). The password comes from\n"
        "--password, else --password-file (refused when others may read it), else\n"
        "VXK_ZIP_PASSWORD in the environment; prefer the file or the variable, since other users\n"
        "may see --password for a moment before vxkctl hides it.",
        {"zip", "password", "password-file", "folders"},
        0,
        0}},
      {"shell",
       {"shell",
        "An interactive terminal on the device (standard input must be a terminal). Ctrl+] leaves.",
        {},
        0,
        0}},
      {"firmware",
       {"firmware FILE",
        "Loads a firmware image through the running firmware (direct load).",
        {},
        1,
        1}},
  };
  return commands;
}

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
      "serial", "com",       "listen", "sock", "wait",     "key",           "key-file", "rtt",
      "time",   "lock-wait", "png",    "zip",  "password", "password-file", "folders",  "timeout"};
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
  }
}

}  // namespace

const std::vector<std::string>& CliCommands() {
  static const std::vector<std::string> order = {"info",  "ls",   "get",   "put",     "rm",
                                                 "mkdir", "mv",   "cat",   "exec",    "time",
                                                 "lcd",   "diag", "shell", "firmware"};
  return order;
}

CliOptions ParseCliOptions(const std::vector<std::string>& args) {
  CliOptions o;
  bool onlyArgs = false;  // after "--"
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (onlyArgs || a.size() < 2 || a[0] != '-') {
      if (o.command.empty() && !onlyArgs) {
        if (!Commands().count(a))
          throw UsageError("unknown command \"" + a + "\" (see vxkctl --help)");
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
      if (!o.command.empty() && !Commands().at(o.command).options.count("json")) {
        throw UsageError(o.command + " has no --json output");
      }
      o.json = true;
      continue;
    }
    if (a[1] != '-') {
      // Short flags, also joined: -lr.
      for (size_t k = 1; k < a.size(); ++k) {
        const std::string flag = std::string("-") + a[k];
        if (o.command.empty() || !Commands().at(o.command).options.count(flag)) {
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
    const bool commandOption = !o.command.empty() && Commands().at(o.command).options.count(name);
    const bool linkOption = LinkOptions().count(name) && !commandOption;
    if (!commandOption && !linkOption) {
      throw UsageError("unknown option --" + name + (o.command.empty() ? "" : " for " + o.command));
    }
    if (linkOption && !o.command.empty()) {
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
  if (o.command.empty()) throw UsageError("no command given (see vxkctl --help)");
  const CommandInfo& info = Commands().at(o.command);
  if (o.args.size() < info.minArgs || o.args.size() > info.maxArgs) {
    throw UsageError("usage: vxkctl " + info.synopsis);
  }
  if (o.command == "lcd" && o.png.empty() && o.pressKey == 0) {
    throw UsageError("lcd needs --png=FILE, --key=N or both");
  }
  if (o.command == "diag" && o.zip.empty()) throw UsageError("diag needs --zip=FILE");
  if (o.command == "time" && o.tzMinutes && !o.sync) throw UsageError("--tz goes with --sync");
  return o;
}

std::string ProgramHelp() {
  std::string text =
      "Usage: vxkctl [LINK OPTIONS] COMMAND [OPTIONS] [ARGUMENTS]\n"
      "Works on one vx.keeper device from scripts: files, commands, clock, LCD and firmware.\n"
      "\n"
      "Link options (before the command):\n"
      "  --serial=S        USB: the device with serial number S (default: the first one found)\n"
      "  --com=N|PATH      serial port N (/dev/ttyS<N-1>) or a device path, 115200 baud\n"
      "  --listen=PORT     wait on TCP PORT for the device to connect and check its header\n"
      "  --sock=FD         an inherited connection with the device on descriptor FD\n"
      "  --wait=SECONDS    how long to wait for the device (default 5; 60 with --listen)\n"
      "  --key=SECRET      the secret a TCP device's header must prove\n"
      "  --key-file=PATH   read the secret from PATH (refused when others may read it)\n"
      "                    VXK_KEY in the environment is used when neither is given\n"
      "  --rtt=MS, --time=MS  longer time-outs over slow links\n"
      "  --lock-wait=MS    how long to wait for another program's exchange (default 10000)\n"
      "\n"
      "Output:\n"
      "  -q, --quiet       no progress or notes on standard error\n"
      "  -v, --verbose     show the connection header's lines\n"
      "  --json            machine-readable output (info, ls, time)\n"
      "  -h, --help        this text; vxkctl COMMAND --help for one command\n"
      "  --version         the program's version\n"
      "\n"
      "Commands:\n";
  for (const std::string& name : CliCommands()) text += "  " + Commands().at(name).synopsis + "\n";
  text +=
      "\n"
      "Exit status: 0 done, 1 the device operation failed, 2 a usage error, 130 interrupted.\n"
      "Data goes to standard output, messages to standard error.\n"
      "\n"
      "Examples:\n"
      "  vxkctl ls -l /Logs\n"
      "  vxkctl get -r /Logs ./backup\n"
      "  VXK_KEY=secret vxkctl --listen=5000 put --route setup.lua /\n"
      "  vxkctl time --sync\n"
      "  vxkctl lcd --png=screen.png\n";
  return text;
}

std::string CommandHelp(const std::string& command) {
  const auto it = Commands().find(command);
  if (it == Commands().end()) return {};
  return "Usage: vxkctl [LINK OPTIONS] " + it->second.synopsis + "\n" + it->second.text + "\n";
}

}  // namespace vxk
