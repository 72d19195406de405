// The program entry: reads the options once, then becomes the help printer, the server
// daemon or the device tool.
#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "app/HelpText.h"
#include "app/ParamHandler.h"
#include "app/SessionOptions.h"
#include "app/StartupError.h"
#include "comms/HidapiBackend.h"
#include "ui/Application.h"
#include "ui/ufmMain.h"

using namespace vxk;

int main(int argc, char** argv) {
  TCommandLine& options = CommandLine();
  try {
    options.Parse(TCommandLine::kAllowed, std::vector<std::string>(argv + 1, argv + argc));
  } catch (const CommandLineError& e) {
    return ReportStartupError(argc, argv, e.what());
  }

  HidapiBackend hid;
  if (!hid.Init()) return ReportStartupError(argc, argv, "Could not load HID");

  if (options.HasOption("help") || options.HasOption("h")) {
    std::cout << HelpText() << std::flush;
    std::string line;
    std::getline(std::cin, line);  // Return, or the end of input
    return 0;
  }

  if (options.HasValue("server")) {
    std::cerr << "The server daemon is not available in this version." << std::endl;
    return 2;
  }

  Application app(argc, argv);
  TfmMain main(SessionSettingsFrom(options), hid);
  main.show();
  return app.exec();
}
