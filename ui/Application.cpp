#include "ui/Application.h"

#include <malloc.h>

#include <QMessageBox>
#include <exception>

namespace vxk {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  // Whole files pass through as blocks of many MiB, on the worker thread: each such block gets
  // a mapping of its own, so that its memory goes back to the system when it is freed instead
  // of staying in the worker's heap (a fixed threshold also stops glibc from raising it).
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
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
