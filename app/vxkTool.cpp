// The program entry: reads the options once, then becomes the help printer, the server
// daemon or the device tool.
#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/ArgScrub.h"
#include "app/HelpText.h"
#include "app/ParamHandler.h"
#include "app/SessionOptions.h"
#include "app/StartupError.h"
#include "comms/HidapiBackend.h"
#include "server/KeyPipe.h"
#include "ui/Application.h"
#include "ui/ScreenshotTour.h"
#include "ui/ufmMain.h"
#include "ui/ufmServer.h"

using namespace vxk;

namespace {

// Exit status of a tool process that ended because its device's header was refused.
constexpr int kExitDeviceRefused = 2;

}  // namespace

int main(int argc, char** argv) {
  TCommandLine& options = CommandLine();
  const std::vector<std::string> args(argv + 1, argv + argc);
  // The copy is all the program needs; others on the machine must not read the key.
  ScrubOptionValue(argc, argv, "key");
  try {
    options.Parse(TCommandLine::kAllowed, args);
  } catch (const CommandLineError& e) {
    return ReportStartupError(argc, argv, e.what());
  }

  // The server daemon hands its children the key on a pipe, out of sight of other users.
  std::string pipedKey;
  const bool keyPiped = options.HasValue("keyfd");
  if (keyPiped && !ReadPipedKey(options.GetInt("keyfd", -1), pipedKey))
    return ReportStartupError(
        argc, argv,
        "Could not read the key from descriptor " + std::to_string(options.GetInt("keyfd", -1)));

  HidapiBackend hid;
  if (!hid.Init()) return ReportStartupError(argc, argv, "Could not load HID");

  if (options.HasOption("help") || options.HasOption("h")) {
    std::cout << HelpText() << std::flush;
    std::string line;
    std::getline(std::cin, line);  // Return, or the end of input
    return 0;
  }

  Application app(argc, argv);
  ScreenshotTour::PrepareLook();
  if (options.HasValue("server")) {
    // -ssl and -tls change nothing here either.
    TfmServer server(SessionSettingsFrom(options));
    server.SetPort(QString::fromStdString(options.GetValue("server")));
    server.SetKey(keyPiped ? pipedKey : options.GetValue("key"));
    server.StartListening();
    server.show();
    ScreenshotTour::StartIfAsked(&server);
    return app.exec();
  }

  SessionSettings settings = SessionSettingsFrom(options);
  if (keyPiped) settings.secretKey = pipedKey;
  TfmMain main(settings, hid);
  main.show();
  ScreenshotTour::StartIfAsked(&main);
  const int status = app.exec();
  // A -sock process whose device never proved itself ends, so that no window waits for it.
  return main.EndedRefused() ? kExitDeviceRefused : status;
}
