#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vxk {

// A command line vxkctl cannot run; the text says why (exit status 2).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What one vxkctl command line asks for. Link options come before the command word (serve also
// takes --key, --key-file, --rtt and --time after it); the command's own options may stand
// anywhere after it. -q, -v and --json are taken anywhere.
struct CliOptions {
  enum class Link { Usb, Serial, Listen, Socket };

  // Link
  Link link = Link::Usb;
  std::string usbSerial;             // --serial=S
  std::string port;                  // --com=N|PATH, --listen=PORT
  int socketHandle = -1;             // --sock=FD
  std::optional<int> waitSeconds;    // --wait=SECONDS
  std::optional<std::string> key;    // --key=SECRET
  std::string keyFile;               // --key-file=PATH
  std::optional<int> roundTripTime;  // --rtt=MS
  std::optional<int> extraTime;      // --time=MS
  int lockWaitMs = 10000;            // --lock-wait=MS

  // Output
  bool json = false;
  bool quiet = false;
  bool verbose = false;
  bool help = false;
  bool version = false;

  // The command and its arguments
  std::string command;
  std::vector<std::string> args;
  bool longList = false;                // ls -l
  bool recursive = false;               // get/put/rm -r
  bool parents = false;                 // get/lcd -p: missing local folders are made
  bool route = false;                   // put --route
  bool sync = false;                    // time --sync
  std::optional<int> tzMinutes;         // time --tz=MIN (bare --tz: the PC's offset)
  std::string png;                      // lcd --png=FILE
  int pressKey = 0;                     // lcd --key=N
  std::string zip;                      // diag --zip=FILE
  std::optional<std::string> password;  // diag --password=P
  std::string passwordFile;             // diag --password-file=PATH
  std::string folders;                  // diag --folders=A,B
  int timeoutMs = 10000;                // exec --timeout=MS
  bool keepGoing = false;               // batch --keep-going
  std::string job;                      // serve --job=FILE
  std::string results;                  // serve --results=FILE
  int sessions = 16;                    // serve --sessions=N
  int drainSeconds = 60;                // serve --drain=SECONDS
  bool proxyProtocol = false;           // serve --proxy-protocol
};

// Whether a command writes data to standard output or reads standard input through "-" (get
// to -, put -, lcd --png=-).
bool UsesStandardStreams(const CliOptions& options);

// Parses the arguments after the program name; throws UsageError.
CliOptions ParseCliOptions(const std::vector<std::string>& args);

// Checks the parts of parsed options that only a whole command line can judge (arguments,
// options that go together); throws UsageError. ParseCliOptions calls it.
void CheckCliOptions(const CliOptions& options);

}  // namespace vxk
