#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "ui/VersionReader.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vxk {

// The About box: the program's title, version, build date and copyright line from the version
// block of the program file, read once when the box is made, and the maker's web and e-mail.
class TfmAbout : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kWeb = "https://www.corvane.example";
  static constexpr const char* kEmail = "support@corvane.example";

  // programPath: the file whose version block is shown; empty: the running program.
  explicit TfmAbout(QWidget* parent = nullptr, const QString& programPath = QString());
  ~TfmAbout() override;

  QLabel* Image1 = nullptr;
  QPlainTextEdit* memVersion = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* OKButton = nullptr;

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate(const QString& programPath);

  std::unique_ptr<TVersionReader> reader_;
};

}  // namespace vxk
