#pragma once

#include <QByteArray>
#include <QColor>
#include <QDialog>
#include <QString>
#include <cstddef>
#include <string>

class QAction;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace vxk {

class EditorFindBar;
class LuaHighlighter;
class PagedView;

// The file editor: one device file's content, editable as text, or read-only in a hex view
// when it looks binary. A file larger than kPagedBytes opens read-only in a view that draws a
// page at a time from the caller's bytes. Find (Ctrl+F, F3, Shift+F3) works in every view.
// Modal; it never talks to the device.
class TfmFile : public QDialog {
  Q_OBJECT

 public:
  // Above this size a file is shown a page at a time, read-only: a text box holds several
  // times a file's size in memory (a 10 MiB file took 130 MB), the paged view its line index.
  static constexpr size_t kPagedBytes = size_t(1) << 20;

  struct Edit {
    bool changed = false;
    std::string text;  // the new content, with the file's own line ends
    QString edited;    // the text as the editor held it, to offer again
  };

  explicit TfmFile(QWidget* parent = nullptr);

  // Shows content (the bytes of the device file at path) and returns what the user saved.
  // A draft, when given, replaces the text the editor starts with (edits to offer again).
  // The editor reads content in place while it is open; it keeps no copy.
  Edit EditContent(const std::string& path, const std::string& content,
                   const QString* draft = nullptr);
  void SetReadOnlyMode(bool on);
  void UpdateLineInfo();

  QPlainTextEdit* reFile = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QLabel* lblLine = nullptr;
  QCheckBox* cbHex = nullptr;
  QCheckBox* cbReadOnly = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* btnSave = nullptr;
  QAction* actCopy = nullptr;
  QAction* actPaste = nullptr;
  QAction* actCancel = nullptr;
  QAction* actSave = nullptr;
  QTimer* Timer1 = nullptr;
  PagedView* pvFile = nullptr;
  EditorFindBar* findBar = nullptr;
  QLabel* lblLarge = nullptr;

  static const QColor kEditableColour;

 public slots:
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private slots:
  void cbReadOnlyClick();
  void cbHexClick();
  void actSaveExecute();
  void actCancelExecute();
  void actCopyExecute();
  void actPasteExecute();
  void Timer1Timer();

 private:
  void FormCreate();
  QWidget* BuildPanel();
  void ShowPaged(bool paged);
  bool FormCloseQuery(int result);
  void ShowText();
  void ShowHex();
  void SetMemoColour(const QColor& colour);
  bool Edited() const;
  void Release();

  const std::string* opened_ = nullptr;  // the caller's content; every view is built from it
  bool paged_ = false;
  std::string lineEnd_;  // the line end the content uses
  QByteArray shown_;     // digest of the text view as first shown, before any edit
  bool lua_ = false;
  LuaHighlighter* highlighter_ = nullptr;
  QColor editableColour_;
};

}  // namespace vxk
