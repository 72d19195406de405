#include "ui/TerminalPane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QMenu>
#include <QMessageBox>
#include <QTextCursor>

#include "ui/Accessibility.h"
#include "ui/BusyCursor.h"
#include "ui/DeviceText.h"
#include "ui/FixedColours.h"
#include "ui/RichEditUtils.h"
#include "ui/UiRunner.h"

namespace vxk {
namespace {

const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kPurple(128, 0, 128);
constexpr char kPromptStart = '\xAB';
constexpr char kPromptEnd = '\xBB';
// How much of an unfinished prompt is kept for the PASSWORD test.
constexpr size_t kMaxPromptCarry = 1024;

// Suspends a widget's screen updates for one scope.
class NoUpdates {
 public:
  explicit NoUpdates(QWidget* w) : w_(w), was_(w->updatesEnabled()) {
    w_->setUpdatesEnabled(false);
  }
  ~NoUpdates() { w_->setUpdatesEnabled(was_); }

 private:
  QWidget* w_;
  bool was_;
};

QAction* MakeAction(QObject* parent, const char* name, const QString& caption,
                    const QKeySequence& shortcut = QKeySequence()) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(shortcut);
  action->setShortcutContext(Qt::WindowShortcut);
  return action;
}

}  // namespace

const QColor TerminalPane::kIdleGrey(224, 224, 224);

TerminalPane::TerminalPane(UiRunner& runner, QWidget* parent)
    : QObject(parent), runner_(runner), edit_(new TermEdit(parent)), menu_(new QMenu(parent)) {
  edit_->setObjectName(QStringLiteral("reTerm"));
  edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit_->setUndoRedoEnabled(false);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(15);
  edit_->setFont(font);
  pointSize_ = qRound(15 * 72.0 / edit_->logicalDpiY());
  edit_->setPlainText(QStringLiteral("(Terminal)"));
  Describe(edit_, QStringLiteral("Terminal"),
           QStringLiteral("The device's command interpreter: typed keys go to the device, Tab and "
                          "Ctrl+Tab too; Shift+Tab leaves the terminal"));
  SetIdle();
  edit_->SetKeyHandler([this](QChar k) { return reTermKeyPress(k); });

  actTermCopy =
      MakeAction(parent, "actTermCopy", QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
  actPaste =
      MakeAction(parent, "actPaste", QStringLiteral("Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
  actTermClear = MakeAction(parent, "actTermClear", QStringLiteral("Clear"),
                            QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L));
  actTermAll = MakeAction(parent, "actTermAll", QStringLiteral("Select All"),
                          QKeySequence(Qt::CTRL | Qt::Key_A));
  actFontUp = MakeAction(parent, "actFontUp", QStringLiteral("Font Larger"));
  actFontDown = MakeAction(parent, "actFontDown", QStringLiteral("Font Smaller"));
  actFontReset = MakeAction(parent, "actFontReset", QStringLiteral("Font Reset"));
  // Select All, Copy and Paste belong to the pane: elsewhere the same keys keep their own
  // meaning (select all rows of the file list, copy in the path box).
  for (QAction* action : {actTermCopy, actPaste, actTermAll}) {
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    edit_->addAction(action);
  }
  connect(actTermCopy, &QAction::triggered, this, &TerminalPane::actTermCopyExecute);
  connect(actPaste, &QAction::triggered, this, &TerminalPane::actPasteExecute);
  connect(actTermClear, &QAction::triggered, this, &TerminalPane::actTermClearExecute);
  connect(actTermAll, &QAction::triggered, this, &TerminalPane::actTermAllExecute);
  connect(actFontUp, &QAction::triggered, this, &TerminalPane::actFontUpExecute);
  connect(actFontDown, &QAction::triggered, this, &TerminalPane::actFontDownExecute);
  connect(actFontReset, &QAction::triggered, this, &TerminalPane::actFontResetExecute);

  menu_->setObjectName(QStringLiteral("puTerm"));
  menu_->setTitle(QStringLiteral("Terminal"));
  menu_->addAction(actTermCopy);
  menu_->addAction(actPaste);
  menu_->addAction(actTermClear);
  menu_->addSeparator();
  menu_->addAction(actFontUp);
  menu_->addAction(actFontReset);
  menu_->addAction(actFontDown);
  edit_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(edit_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { menu_->popup(edit_->viewport()->mapToGlobal(at)); });
}

void TerminalPane::AppendText(const QString& text, const QColor& colour, bool bold, bool italic) {
  // Line ends as the device sends them (CR LF, CR or LF) become one line break each; a CR at
  // the end of one piece and an LF at the start of the next are the same break.
  vxk::AppendText(edit_, text, colour, bold, italic, lastWasCr_);
}

void TerminalPane::TrimAndScroll() {
  NoUpdates frozen(edit_);
  TrimToLimit(edit_, kLimit);
  ScrollToEnd(edit_);
}

void TerminalPane::ShowIncoming(const std::string& bytes) {
  bool relist = false;
  {
    NoUpdates frozen(edit_);
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      const char c = bytes[i];
      if (c != kPromptStart && c != kPromptEnd) continue;
      const std::string segment = bytes.substr(start, i - start);
      AppendText(FromDevice(segment), inPrompt_ ? kRed : kBlack, false, false);
      if (c == kPromptStart) {
        promptSoFar_.clear();
        inPrompt_ = true;
      } else {
        const std::string prompt = promptSoFar_ + segment;
        const bool wasPassword = passwordMode_;
        passwordMode_ = prompt.find("PASSWORD") != std::string::npos;
        if (wasPassword && !passwordMode_) relist = true;
        promptSoFar_.clear();
        inPrompt_ = false;
      }
      start = i + 1;
    }
    const std::string rest = bytes.substr(start);
    AppendText(FromDevice(rest), inPrompt_ ? kRed : kBlack, false, false);
    promptSoFar_ += rest;
    if (promptSoFar_.size() > kMaxPromptCarry)
      promptSoFar_.erase(0, promptSoFar_.size() - kMaxPromptCarry);
  }
  TrimAndScroll();
  if (relist) emit PasswordAccepted();
}

void TerminalPane::ShowStatus(const QString& message) {
  AppendText(message + QStringLiteral("\r\n"), kPurple, true, true);
  TrimAndScroll();
  edit_->repaint();
}

bool TerminalPane::reTermKeyPress(QChar k) {
  const std::string byte = ToDevice(QString(k));
  const auto code = static_cast<unsigned char>(byte[0]);
  UiRunner::Op op;
  op.what = QStringLiteral("Key");
  op.quiet = true;
  op.run = [byte](Session& s, const OpContext&) {
    return s.Terminal().Send(byte) ? OpResult::Done() : OpResult::Fail(Reason::NotOpen);
  };
  // A key that cannot be sent is dropped.
  op.done = [this, k, code](const OpResult& sent) {
    if (sent) KeySent(k, code);
  };
  runner_.Post(this, std::move(op));
  return true;
}

void TerminalPane::KeySent(QChar k, unsigned char code) {
  if (code >= 32 || code == 9 || code == 10 || code == 13) {
    const bool masked = passwordMode_ && code != 10 && code != 13;
    AppendText(masked ? QStringLiteral("*") : QString(k), kBlue, true, false);
    TrimAndScroll();
  } else if (code == 8) {
    // The device took the backspace; the pane removes the character before the caret too.
    QTextCursor cursor = edit_->textCursor();
    cursor.deletePreviousChar();
    edit_->setTextCursor(cursor);
  }
}

void TerminalPane::SetBackgroundFor(const std::string& product) {
  if (product.find("BootLoader") != std::string::npos) {
    SetBackground(QColor(248, 224, 224));
  } else if (product.find("ATE") != std::string::npos) {
    SetBackground(QColor(204, 242, 242));
  } else if (product.find("vx.keeper") != std::string::npos) {
    SetBackground(QColor(243, 252, 216));
  } else {
    SetBackground(kIdleGrey);
  }
}

void TerminalPane::SetIdle() {
  SetBackground(kIdleGrey);
}

void TerminalPane::SetBackground(const QColor& colour) {
  if (colour == background_) return;
  background_ = colour;
  SetFixedBase(edit_, colour);
}

void TerminalPane::actTermCopyExecute() {
  BusyCursor busy;
  NoUpdates frozen(edit_);
  if (!edit_->textCursor().hasSelection()) {
    const QTextCursor kept = edit_->textCursor();
    edit_->selectAll();
    edit_->copy();
    edit_->setTextCursor(kept);
  } else {
    edit_->copy();
  }
}

void TerminalPane::actPasteExecute() {
  const QString text = QApplication::clipboard()->text();
  if (text.isEmpty()) return;
  if (text.size() > kMaxPaste) {
    QMessageBox::critical(edit_->window(), QStringLiteral("Error"),
                          QStringLiteral("Too much text!"), QMessageBox::Ok);
    return;
  }
  // The device runs a line at its CR; the clipboard separates lines with LF.
  const QString lines = CrLineEnds(text);
  UiRunner::Op op;
  op.what = actPaste->text();
  op.quiet = true;
  op.run = [bytes = ToDevice(lines)](Session& s, const OpContext&) {
    return s.Terminal().Send(bytes) ? OpResult::Done() : OpResult::Fail(Reason::NotOpen);
  };
  op.done = [this, lines](const OpResult& sent) {
    if (!sent) return;
    AppendText(lines, kBlue, true, true);
    TrimAndScroll();
  };
  runner_.Post(this, std::move(op));
}

void TerminalPane::actTermClearExecute() {
  edit_->clear();
}

void TerminalPane::actTermAllExecute() {
  edit_->selectAll();
}

void TerminalPane::actFontUpExecute() {
  SetPointSize(pointSize_ >= 12 ? pointSize_ + 2 : pointSize_ + 1);
}

void TerminalPane::actFontDownExecute() {
  SetPointSize(pointSize_ > 12 ? pointSize_ - 2 : pointSize_ - 1);
}

void TerminalPane::actFontResetExecute() {
  SetPointSize(10);
}

void TerminalPane::SetPointSize(int points) {
  // No bounds are enforced, but Qt needs a positive size to draw at all.
  pointSize_ = points;
  QFont font = edit_->font();
  font.setPointSize(points > 0 ? points : 1);
  edit_->setFont(font);
  edit_->document()->setDefaultFont(font);
}

}  // namespace vxk
