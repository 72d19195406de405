#pragma once

#include <QObject>
#include <QString>
#include <string>

#include "comms/OpResult.h"

class QAction;
class QWidget;

namespace vxk {

class FileBrowser;
class TerminalPane;
class TfmFile;
class UiRunner;

// Edit: reads the chosen device file on the worker, lets the user edit it in the file editor
// (modal to the user; the event loop keeps running) and writes a changed text back. A failed
// write is reported in the terminal pane and the edits are offered in the editor again.
class EditAction : public QObject {
  Q_OBJECT

 public:
  EditAction(UiRunner& runner, FileBrowser& browser, TerminalPane& pane, TfmFile& editor,
             QWidget* parent);

  QAction* actEdit = nullptr;

 public slots:
  void actEditExecute();

 private:
  // The editor on content (with the user's own earlier edits when given); a changed text is
  // written back.
  void EditAndWrite(const std::string& path, const std::string& content, const QString* draft);
  void Write(const std::string& path, const std::string& content, const std::string& text,
             const QString& edited);
  bool OfferAgain(const QString& path, const QString& why);

  UiRunner& runner_;
  FileBrowser& browser_;
  TerminalPane& pane_;
  TfmFile& editor_;
  QWidget* window_;
};

}  // namespace vxk
