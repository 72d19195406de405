#include "cli/CommandTable.h"

#include <cstdint>

namespace vxk {

const std::map<std::string, CommandInfo>& CommandTable() {
  static const std::map<std::string, CommandInfo> commands = {
      {"info",
       {"info [--json]",
        "Shows the device's identity: maker, serial number, product, firmware and capabilities.\n"
        "A link without a connection header (serial, USB without strings) knows none of them:\n"
        "they show as unknown. Fails with status 3 when no device answers at all.",
        "{\"manufacturer\", \"serial\", \"product\", \"firmware\", \"build\", \"date\", "
        "\"capabilities\": text or null when unknown}",
        {"json"},
        0,
        0}},
      {"ls",
       {"ls [-l] [--json] [PATH]",
        "Lists a device folder (default /), one device file, or the files a pattern such as\n"
        "'/Logs/*.log' matches. -l adds attributes, size and date.",
        "[{\"name\", \"size\", \"attributes\", \"directory\", \"time\": \"yyyy-mm-dd hh:nn:ss\" or "
        "null}]",
        {"-l", "json"},
        0,
        1}},
      {"get",
       {"get [-r] [-p] PATH... [LOCAL|-]",
        "Copies device files to LOCAL (default: the current folder), keeping the device's file\n"
        "times. With several PATHs, or a pattern such as '/Logs/*.log' (matched against the\n"
        "device's listing, letter case aside), LOCAL must be a folder. LOCAL - writes one file\n"
        "to standard output. A missing local folder is an error (as with cp) unless -p makes\n"
        "it. -r copies the folder PATH with everything in it into the local folder LOCAL\n"
        "(default .). Names that could leave the folder, or that are too long for a local\n"
        "file, are skipped; a symbolic link met below LOCAL is not followed but refused.",
        "{\"saved\": N, \"items\": [{\"device\", \"local\", \"bytes\"} or, with -r, {\"device\", "
        "\"local\", \"folder\": true, \"files\"}], \"skipped\": [{\"path\", \"why\"}]}",
        {"-r", "-p", "json"},
        1,
        SIZE_MAX}},
      {"put",
       {"put [-r] [--route] LOCAL... DIR | put - PATH",
        "Copies local files to the device folder DIR, with their file times. -r copies local\n"
        "folders with everything in them. --route sends Lua scripts to /Lua and configuration\n"
        "files to /Config, as the window does with dropped files. put - PATH writes standard\n"
        "input to the device file PATH.",
        "{\"written\": N, \"items\": [{\"local\", \"device\", \"bytes\"}]}",
        {"-r", "route", "json"},
        2,
        SIZE_MAX}},
      {"rm",
       {"rm [-r] PATH...",
        "Deletes device files (patterns allowed); -r deletes folders with everything in them.",
        "{\"removed\": [PATH]}",
        {"-r", "json"},
        1,
        SIZE_MAX}},
      {"mkdir",
       {"mkdir PATH...", "Makes device folders.", "{\"made\": [PATH]}", {"json"}, 1, SIZE_MAX}},
      {"mv",
       {"mv PATH NEWNAME",
        "Renames a device file or folder within its folder.",
        "{\"from\": PATH, \"to\": PATH}",
        {"json"},
        2,
        2}},
      {"cat",
       {"cat PATH...",
        "Writes device files' content to standard output; on a terminal, control bytes show as\n"
        "\\xHH.",
        "{\"files\": [{\"path\", \"bytes\", \"content\": the bytes read as Windows-1252}]}",
        {"json"},
        1,
        SIZE_MAX}},
      {"exec",
       {"exec [--timeout=MS] COMMAND...",
        "Runs one line on the device's command interpreter (the words joined by blanks) and\n"
        "prints its reply up to the prompt, waiting at most MS (default 10000) for the reply to\n"
        "go on. A reply holding an error status (a line \"N:text\" with N not 0, \"ERROR\" or\n"
        "\"Unknown command\") fails with status 1.",
        "{\"command\", \"reply\", \"complete\": true}",
        {"timeout", "json"},
        1,
        SIZE_MAX}},
      {"time",
       {"time [--json] [--sync [--tz[=MIN]]]",
        "Shows the device's clock and the PC's UTC and local time. --sync sets the device's clock\n"
        "to the PC's UTC time with the PC's offset from UTC; --tz=MIN sends MIN minutes instead.",
        "{\"device\": its answer, \"device_time\": ISO 8601 or null, \"difference_s\": device "
        "minus PC or null, \"utc\", \"local\", \"offset_minutes\", \"sent\" (with --sync)}",
        {"json", "sync", "tz"},
        0,
        0}},
      {"lcd",
       {"lcd [--key=N] [--png=FILE|-] [-p]",
        "Presses key N (1..4) of the device, then saves a picture of its LCD as a PNG file (- for\n"
        "standard output). A missing folder is an error unless -p makes it.",
        "{\"key\": N or null, \"png\": FILE or null, \"width\", \"height\": the picture's pixels}",
        {"png", "key", "-p", "json"},
        0,
        0}},
      {"diag",
       {"diag --zip=FILE [--password=P | --password-file=PATH] [--folders=A,B]",
        "Saves the diagnostics archive, as the window's Diagnostics does, from the folders named\n"
        "(default /Config,/Logs,/Lua,/); a folder the device cannot list is named in a warning.\n"
        "With a password every entry but ui.info.txt is encrypted and the archive is readable\n"
        "by you only (mode 0600). The password comes from --password, else --password-file\n"
        "(refused when others may read it), else VXK_ZIP_PASSWORD in the environment; prefer\n"
        "the file or the variable, since other users may see --password for a moment before\n"
        "vxkctl hides it.",
        "{\"zip\", \"files\": N, \"skipped\": [NAME], \"missing_folders\": [PATH]}",
        {"zip", "password", "password-file", "folders", "json"},
        0,
        0}},
      {"shell",
       {"shell",
        "An interactive terminal on the device (standard input must be a terminal). Ctrl+] leaves.",
        "",
        {},
        0,
        0}},
      {"firmware",
       {"firmware FILE",
        "Loads a firmware image through the running firmware (direct load).",
        "{\"file\", \"name\": as sent to the device, \"bytes\"}",
        {"json"},
        1,
        1}},
      {"batch",
       {"batch [--keep-going] FILE|-",
        "Runs the vxkctl commands of FILE (- for standard input), one per line, over one\n"
        "connection and one authentication; # starts a comment, words are quoted as in the\n"
        "shell. Stops at the first command that fails unless --keep-going (a lost link always\n"
        "stops it). The exit status is that of the first command that failed.",
        "one line per command: {\"line\", \"command\", \"exit\", \"result\": the command's own "
        "JSON or its error}",
        {"keep-going", "json"},
        1,
        1}},
      {"serve",
       {"serve --job=FILE --results=FILE.jsonl [--sessions=N] [--keep-going] [--drain=S]\n"
        "        [--proxy-protocol]",
        "With --listen=PORT: accepts devices without end, checks each one's connection header\n"
        "(the window's rules and deadlines), runs the job FILE (a batch file; {serial},\n"
        "{product}, {firmware}, {date} and {run} in its lines become the device's values, made\n"
        "safe as file names) and appends one JSON line per device to the results file; a job\n"
        "stops at its first failing line unless --keep-going. At most\n"
        "N devices (default 16) at once, each on a thread with its own link and its own\n"
        "terminal lock; further connections wait in the listen backlog. SIGTERM (or SIGINT)\n"
        "drains: no new devices, running jobs finish within S seconds (default 60; a second\n"
        "signal stops them now), then vxkctl ends. --proxy-protocol reads the PROXY line a\n"
        "load balancer such as HAProxy (send-proxy) puts before the device's bytes, for the\n"
        "device's own address. --key, --key-file, --rtt and --time may stand after serve too.",
        "results file, one line per device: {\"serial\", \"product\", \"firmware\", "
        "\"authenticated\", \"peer\", \"run\", \"start\", \"end\", \"outcome\": "
        "done|failed|refused|"
        "interrupted, \"exit\", \"reason\", \"status\", \"message\", \"steps\": [batch lines]}",
        {"job", "results", "sessions", "drain", "proxy-protocol", "keep-going", "json", "key",
         "key-file", "rtt", "time"},
        0,
        0}},
  };
  return commands;
}

const std::vector<std::string>& CliCommands() {
  static const std::vector<std::string> order = {
      "info", "ls",   "get", "put",  "rm",    "mkdir",    "mv",    "cat",
      "exec", "time", "lcd", "diag", "shell", "firmware", "batch", "serve"};
  return order;
}

}  // namespace vxk
