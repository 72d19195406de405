#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vxk {

// Asks for the name of a new device folder or file. One dialog, two modes; the name box is
// emptied each time it is shown. OK stays shut while the name holds control characters.
class TfmMkDir : public QDialog {
  Q_OBJECT

 public:
  enum class Mode { Directory, File };

  explicit TfmMkDir(QWidget* parent);

  void SetMode(Mode mode);
  QString Name() const;

  QLabel* Label1 = nullptr;
  QLineEdit* edDir = nullptr;
  QPushButton* btnMake = nullptr;
  QPushButton* btnCancel = nullptr;

  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace vxk
