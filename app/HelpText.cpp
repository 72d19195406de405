#include "app/HelpText.h"

namespace vxk {

std::string HelpText() {
  return "Command line options:\n"
         " -help / -h           Help\n"
         " -com=NUMBER          Use COM-port @ 115200 baud\n"
         " -server=PORT         Server daemon on TCP port\n"
         " -tcp=PORT            GUI with single listen socket\n"
         " -ssl / -tls          Option for SSL/TLS (requires certificate+key)\n"
         " -sock=HANDLE         Invoke with socket handle (used by the server daemon)\n"
         " -rtt=MILLSECONDS     Round trip time for commands\n"
         " -time=MILLSECONDS    Additional timeout for incoming data\n"
         "\n"
         "Hit [Return] to quit\n";
}

}  // namespace vxk
