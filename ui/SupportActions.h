#pragma once

#include <QObject>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace vxk {

class TfmAbout;
class TfmDiag;

// The main window's "Get Diagnostics" (actDiag, in "T&ools") and "About" (actAbout, on the
// menu bar) with their dialogs, made once and shown modally.
class SupportActions : public QObject {
  Q_OBJECT

 public:
  explicit SupportActions(QWidget* main);

  // Adds Get Diagnostics to tools and About at the end of bar.
  void AddMenus(QMenu* tools, QMenuBar* bar);

  TfmDiag* fmDiag() const { return diag_; }
  TfmAbout* fmAbout() const { return about_; }

  QAction* actDiag = nullptr;
  QAction* actAbout = nullptr;

 private slots:
  void actDiagExecute();
  void actAboutExecute();

 private:
  TfmDiag* diag_ = nullptr;
  TfmAbout* about_ = nullptr;
};

}  // namespace vxk
