#include "app/StartupError.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdlib>
#include <iostream>

namespace vxk {

bool DisplayAvailable() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform) {
    const std::string p(platform);
    if (p.rfind("offscreen", 0) == 0 || p.rfind("minimal", 0) == 0) return false;
  }
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

int ReportStartupError(int& argc, char** argv, const std::string& text) {
  std::cerr << text << std::endl;
  if (DisplayAvailable()) {
    QApplication app(argc, argv);
    QMessageBox::critical(nullptr, QStringLiteral("Error"), QString::fromLocal8Bit(text.c_str()));
  }
  return 1;
}

}  // namespace vxk
