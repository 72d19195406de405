#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vxk {

// Asks for the new name of a device entry; both boxes start with the old name and the new
// one is selected. Escape cancels; OK stays shut while the name holds control characters.
class TfmRename : public QDialog {
  Q_OBJECT

 public:
  explicit TfmRename(QWidget* parent);

  void SetName(const QString& name);
  QString NewName() const;

  QLineEdit* edFromName = nullptr;
  QLineEdit* edToName = nullptr;
  QPushButton* btnRename = nullptr;
  QPushButton* btnCancel = nullptr;

  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace vxk
