#pragma once

#include <QColor>
#include <QObject>
#include <string>

#include "ui/TermEdit.h"

class QAction;
class QMenu;

namespace vxk {

class UiRunner;

// The terminal pane (reTerm): device text as it arrives with the prompt in red, typed and
// pasted text echoed in blue, the program's status lines in purple, at most 131072
// characters. Keys and pasted text go to the device as quiet operations, in the order typed;
// each is echoed once it was sent.
class TerminalPane : public QObject {
  Q_OBJECT

 public:
  static constexpr int kLimit = 131072;
  static constexpr int kMaxPaste = 8192;
  static const QColor kIdleGrey;

  TerminalPane(UiRunner& runner, QWidget* parent);

  TermEdit* reTerm() const { return edit_; }
  QMenu* puTerm() const { return menu_; }
  QAction* actTermCopy = nullptr;
  QAction* actPaste = nullptr;
  QAction* actTermClear = nullptr;
  QAction* actTermAll = nullptr;
  QAction* actFontUp = nullptr;
  QAction* actFontDown = nullptr;
  QAction* actFontReset = nullptr;

  void AppendText(const QString& text, const QColor& colour, bool bold, bool italic);
  void TrimAndScroll();
  void ShowIncoming(const std::string& bytes);
  void ShowStatus(const QString& message);
  // The typed character k; true when the pane must not edit with it as well (always: a key
  // that was sent is echoed, a backspace applied, once the device has it).
  bool reTermKeyPress(QChar k);
  bool PasswordMode() const { return passwordMode_; }
  // Background by the kind of device named by the product text; idle grey for none.
  void SetBackgroundFor(const std::string& product);
  void SetIdle();
  int FontPointSize() const { return pointSize_; }

 signals:
  // The device stopped asking for its password.
  void PasswordAccepted();

 private slots:
  void actTermCopyExecute();
  void actPasteExecute();
  void actTermClearExecute();
  void actTermAllExecute();
  void actFontUpExecute();
  void actFontDownExecute();
  void actFontResetExecute();

 private:
  void SetPointSize(int points);
  void SetBackground(const QColor& colour);
  void KeySent(QChar k, unsigned char code);

  UiRunner& runner_;
  TermEdit* edit_;
  QMenu* menu_;
  bool passwordMode_ = false;
  // Carried from one arrival to the next, so a prompt split across polls keeps its colour
  // and is tested for PASSWORD as a whole.
  bool inPrompt_ = false;
  std::string promptSoFar_;
  bool lastWasCr_ = false;
  int pointSize_ = 11;
  QColor background_;
};

}  // namespace vxk
