#pragma once

#include <QObject>

#include "FileAccess/vxkFiles.h"

class QAction;
class QWidget;

namespace vxk {

class FileBrowser;
class TerminalPane;
class TfmFile;

// Edit: reads the chosen device file, lets the user edit it in the file editor and writes a
// changed text back. A failed write is reported in the terminal pane and the edits are
// offered in the editor again.
class EditAction : public QObject {
  Q_OBJECT

 public:
  EditAction(FileBrowser& browser, TvxkFiles& files, TerminalPane& pane, TfmFile& editor,
             QWidget* parent);

  QAction* actEdit = nullptr;

 public slots:
  void actEditExecute();

 private:
  bool OfferAgain(const QString& path, const QString& why);

  FileBrowser& browser_;
  TvxkFiles& files_;
  TerminalPane& pane_;
  TfmFile& editor_;
  QWidget* window_;
};

}  // namespace vxk
