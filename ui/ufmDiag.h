#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vxk {

class UiRunner;

// The diagnostics dialog: asks for a file and a password and which device folders to take,
// then has DiagArchive write the archive on the worker, one progress line per step in Memo1.
// While it is written, Esc or closing the dialog stops it (the file that was there before
// stays) and the dialog stays open.
class TfmDiag : public QDialog {
  Q_OBJECT

 public:
  explicit TfmDiag(QWidget* parent = nullptr);

  void SetRunner(UiRunner* runner);
  // The panes the archive copies: the device information, the terminal, log and modem panes.
  void SetPanes(QPlainTextEdit* info, QPlainTextEdit* term, QPlainTextEdit* log,
                QPlainTextEdit* modem);
  void Progress(const QString& text);
  bool Saving() const { return saving_; }
  void reject() override;

  // Asks for the archive file, starting in folder with name preset; empty: cancelled.
  std::function<QString(const QString& folder, const QString& name)> ChooseFile;

  QString FDiagDir;
  QLineEdit* edPassword = nullptr;
  QCheckBox* cbRoot = nullptr;
  QCheckBox* cbConfig = nullptr;
  QCheckBox* cbLua = nullptr;
  QCheckBox* cbLogs = nullptr;
  QCheckBox* cbStore = nullptr;
  QCheckBox* cbSend = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* Save = nullptr;
  QPushButton* btnClose = nullptr;

 public slots:
  void SaveClick();

 private:
  QString AskForFile(const QString& folder, const QString& name);

  UiRunner* runner_ = nullptr;
  bool saving_ = false;
  QPlainTextEdit* info_ = nullptr;
  QPlainTextEdit* term_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QPlainTextEdit* modem_ = nullptr;
};

}  // namespace vxk
