#pragma once

#include <QSplitter>
#include <QString>

namespace vxk {

// A splitter whose handles take the keyboard focus (Tab) and move with the arrow keys, so the
// space between two panes can be shared without a mouse. Each handle is named for screen
// readers after the splitter's accessible name.
class KeyboardSplitter : public QSplitter {
  Q_OBJECT

 public:
  // How far one arrow key press moves a handle, in pixels.
  static constexpr int kStep = 16;

  KeyboardSplitter(Qt::Orientation orientation, const QString& accessibleName, QWidget* parent);

 protected:
  QSplitterHandle* createHandle() override;

 private:
  QString name_;
};

}  // namespace vxk
