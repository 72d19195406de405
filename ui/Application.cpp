#include "ui/Application.h"

#include <QMessageBox>
#include <exception>

namespace vxk {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("vx.keeper Tool"));
  setOrganizationName(QStringLiteral("Corvane Electronics"));
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowError(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    ShowError(QStringLiteral("Unknown error"));
  }
  return false;
}

void Application::ShowError(const QString& text) {
  QMessageBox::critical(activeWindow(), QStringLiteral("Error"), text);
}

}  // namespace vxk
