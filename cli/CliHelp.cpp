#include "cli/CliHelp.h"

#include "cli/CommandTable.h"

namespace vxk {
namespace {

constexpr size_t kWidth = 92;

// "  name: text" wrapped at blanks to the help's width, continued four blanks in.
std::string Wrapped(const std::string& name, const std::string& text) {
  std::string out, line = "  " + name + ":";
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find(' ', i);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(i, end - i);
    if (line.size() + 1 + word.size() > kWidth) {
      out += line + "\n";
      line = "   ";
    }
    line += " " + word;
    i = end + 1;
  }
  return out + line + "\n";
}

}  // namespace

std::string ProgramHelp() {
  const auto& table = CommandTable();
  std::string text =
      "Usage: vxkctl [LINK OPTIONS] COMMAND [OPTIONS] [ARGUMENTS]\n"
      "Works on vx.keeper devices from scripts: files, commands, clock, LCD and firmware; runs\n"
      "a batch of commands over one connection, or the same job on every device that dials in.\n"
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
      "  --json            one line of JSON per command on standard output (schemas below)\n"
      "  -h, --help        this text; vxkctl COMMAND --help for one command\n"
      "  --version         the program's version\n"
      "\n"
      "Commands:\n";
  for (const std::string& name : CliCommands()) text += "  " + table.at(name).synopsis + "\n";
  text +=
      "\n"
      "Paths:\n"
      "Device paths are given in UTF-8 and sent as the device's Windows-1252; device names\n"
      "become UTF-8 local names. The last part of a device path may be a pattern (* ? [...]),\n"
      "matched against the device's listing without regard to letter case. - as a local path\n"
      "is standard output (get, lcd --png) or standard input (put).\n"
      "\n"
      "Exit status:\n"
      "  0    done\n"
      "  1    the device refused or failed (an error status, also one answered to exec, a bad\n"
      "       reply, no answer in time), a device file not found, or a local file error\n"
      "  2    usage: the command line, a batch line or a job line cannot be run\n"
      "  3    link or authentication: no device found or answering, the link went down, or\n"
      "       the connection header was refused\n"
      "  130  interrupted (SIGINT, SIGTERM)\n"
      "\n"
      "Data goes to standard output, messages to standard error.\n"
      "\n"
      "JSON output (--json):\n"
      "Each command prints one line. A failure prints {\"error\": message, \"reason\": code,\n"
      "\"status\": the device's status text or null}; the codes are usage, not_found, failed,\n"
      "no_device, auth, cancelled and the operation's: not_open, busy, lock_timeout,\n"
      "timed_out, refused, bad_reply, link_lost, bad_name, unsupported, local_error. Device\n"
      "text is converted from Windows-1252. On success:\n"
      "\n";
  for (const std::string& name : CliCommands()) {
    const CommandInfo& info = table.at(name);
    if (!info.json.empty()) text += Wrapped(name, info.json);
  }
  text +=
      "\n"
      "Batch files and serve jobs:\n"
      "One vxkctl command per line without link options (a leading \"vxkctl\" is allowed);\n"
      "# starts a comment; words are split and quoted as in the shell. Every line is checked\n"
      "before the device is waited for. {serial}, {product}, {firmware}, {date} (the PC's UTC\n"
      "date, yyyy-mm-dd) and {run} (unique for each device run) in a line are replaced; a\n"
      "value keeps letters, digits, '.', '_' and '-' only, so it is always one safe file name.\n"
      "\n"
      "Examples:\n"
      "  vxkctl ls -l /Logs\n"
      "  vxkctl get '/Logs/*.log' ./backup/\n"
      "  vxkctl get /Config/unit.cfg - | grep rate\n"
      "  VXK_KEY=secret vxkctl --listen=5000 batch nightly.vxk\n"
      "  vxkctl --key-file=k --listen=5000 serve --job=job.vxk --results=runs.jsonl\n"
      "  vxkctl time --sync --json\n"
      "  vxkctl lcd --png=screen.png\n";
  return text;
}

std::string CommandHelp(const std::string& command) {
  const auto it = CommandTable().find(command);
  if (it == CommandTable().end()) return {};
  std::string text =
      "Usage: vxkctl [LINK OPTIONS] " + it->second.synopsis + "\n" + it->second.text + "\n";
  if (!it->second.json.empty()) text += "--json: " + it->second.json + "\n";
  return text;
}

}  // namespace vxk
