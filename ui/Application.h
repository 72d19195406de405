#pragma once

#include <QApplication>

namespace vxk {

// The application with its one error display: an exception that escapes an event handler is
// shown in a message box titled "Error" with its own text, and the window stays usable.
class Application : public QApplication {
  Q_OBJECT

 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // Shows an error the way escaped exceptions are shown.
  static void ShowError(const QString& text);
};

}  // namespace vxk
