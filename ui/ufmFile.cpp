#include "ui/ufmFile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCryptographicHash>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "ui/Accessibility.h"
#include "ui/DeviceText.h"
#include "ui/EditorFindBar.h"
#include "ui/EditorText.h"
#include "ui/FixedColours.h"
#include "ui/LuaHighlighter.h"
#include "ui/PagedView.h"

namespace vxk {
namespace {

// Tells an edited text from the one first shown without keeping a second copy of it.
QByteArray TextDigest(const QString& text) {
  return QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(text.constData()),
                                                 text.size() * qsizetype(sizeof(QChar))),
                                  QCryptographicHash::Sha256);
}

QFont FixedFont(int pixels) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(pixels);
  return font;
}

QAction* MakeAction(QWidget* parent, const char* name, const QString& caption) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

QPushButton* MakeButton(QWidget* parent, const char* name, QAction* action) {
  auto* button = new QPushButton(action->text(), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
  return button;
}

}  // namespace

const QColor TfmFile::kEditableColour(239, 244, 223);

TfmFile::TfmFile(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmFile"));
  setWindowTitle(QStringLiteral("File Edit"));
  resize(730, 573);
  setMinimumSize(730, 550);
  FormCreate();
}

void TfmFile::FormCreate() {
  reFile = new QPlainTextEdit(this);
  reFile->setObjectName(QStringLiteral("reFile"));
  reFile->setFont(FixedFont(15));
  reFile->setLineWrapMode(QPlainTextEdit::NoWrap);
  reFile->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  reFile->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Describe(reFile, QStringLiteral("File content"));
  pvFile = new PagedView(this);
  pvFile->setObjectName(QStringLiteral("pvFile"));
  pvFile->setFont(FixedFont(15));
  Describe(pvFile, QStringLiteral("File content"), QStringLiteral("Read only"));
  pvFile->hide();
  SetMemoColour(kEditableColour);
  editableColour_ = reFile->palette().color(QPalette::Base);
  highlighter_ = new LuaHighlighter(this);

  actCopy = MakeAction(this, "actCopy", QStringLiteral("&Copy All"));
  actPaste = MakeAction(this, "actPaste", QStringLiteral("Paste Replace"));
  actCancel = MakeAction(this, "actCancel", QStringLiteral("Cancel"));
  actSave = MakeAction(this, "actSave", QStringLiteral("&Save"));
  actSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  addAction(actSave);
  connect(actCopy, &QAction::triggered, this, &TfmFile::actCopyExecute);
  connect(actPaste, &QAction::triggered, this, &TfmFile::actPasteExecute);
  connect(actCancel, &QAction::triggered, this, &TfmFile::actCancelExecute);
  connect(actSave, &QAction::triggered, this, &TfmFile::actSaveExecute);

  lblLarge = new QLabel(
      QStringLiteral("This file is larger than 1 MiB: it is shown read-only, a page at a time."),
      this);
  lblLarge->setObjectName(QStringLiteral("lblLarge"));
  lblLarge->setContentsMargins(6, 2, 6, 2);
  lblLarge->hide();
  findBar = new EditorFindBar(this, reFile, pvFile);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(reFile, 1);
  column->addWidget(pvFile, 1);
  column->addWidget(lblLarge);
  column->addWidget(findBar);
  column->addWidget(BuildPanel());

  // The position label follows typing, caret moves and pastes at once; the timer catches
  // the rest (scrolling by mouse, undo).
  connect(reFile, &QPlainTextEdit::cursorPositionChanged, this, &TfmFile::UpdateLineInfo);
  connect(reFile, &QPlainTextEdit::textChanged, this, &TfmFile::UpdateLineInfo);
  connect(pvFile, &PagedView::CurrentLineChanged, this, &TfmFile::UpdateLineInfo);
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(250);
  connect(Timer1, &QTimer::timeout, this, &TfmFile::Timer1Timer);
}

QWidget* TfmFile::BuildPanel() {
  auto* panel = new QWidget(this);
  panel->setFixedHeight(55);
  auto* row = new QHBoxLayout(panel);
  Button1 = MakeButton(panel, "Button1", actCopy);
  Button2 = MakeButton(panel, "Button2", actPaste);
  lblLine = new QLabel(panel);
  lblLine->setObjectName(QStringLiteral("lblLine"));
  lblLine->setFont(FixedFont(11));
  lblLine->setFixedSize(153, 25);
  Describe(lblLine, QStringLiteral("Line and size"));
  cbHex = new QCheckBox(QStringLiteral("He&x"), panel);
  cbHex->setObjectName(QStringLiteral("cbHex"));
  cbReadOnly = new QCheckBox(QStringLiteral("&Read Only"), panel);
  cbReadOnly->setObjectName(QStringLiteral("cbReadOnly"));
  btnCancel = MakeButton(panel, "btnCancel", actCancel);
  btnSave = MakeButton(panel, "btnSave", actSave);
  for (QWidget* w : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                     static_cast<QWidget*>(lblLine), static_cast<QWidget*>(cbHex),
                     static_cast<QWidget*>(cbReadOnly)})
    row->addWidget(w);
  row->addStretch(1);
  row->addWidget(btnCancel);
  row->addWidget(btnSave);
  connect(cbReadOnly, &QCheckBox::clicked, this, &TfmFile::cbReadOnlyClick);
  connect(cbHex, &QCheckBox::clicked, this, &TfmFile::cbHexClick);
  // The button follows its action, which read-only mode disables.
  connect(actSave, &QAction::enabledChanged, btnSave, &QPushButton::setEnabled);
  connect(actPaste, &QAction::enabledChanged, Button2, &QPushButton::setEnabled);
  return panel;
}

TfmFile::Edit TfmFile::EditContent(const std::string& path, const std::string& content,
                                   const QString* draft) {
  setWindowTitle(QStringLiteral("Edit File: ") + ShownPath(path));
  opened_ = &content;
  lineEnd_ = LineEndOf(content);
  lua_ = FromDevice(path).toLower().endsWith(QStringLiteral(".lua"));
  findBar->ShowOutcome(EditorFindBar::Outcome::Found);
  ShowPaged(content.size() > kPagedBytes && !draft);
  if (paged_) {
    const bool binary = LooksBinary(content);
    pvFile->SetContent(&content, binary);
    cbHex->setChecked(binary);
    SetReadOnlyMode(true);
  } else if (LooksBinary(content) && !draft) {
    SetReadOnlyMode(true);
    cbHex->setChecked(true);
    ShowHex();
  } else {
    cbHex->setChecked(false);
    ShowText();
    SetReadOnlyMode(false);
    if (draft) reFile->setPlainText(*draft);
  }
  reFile->setReadOnly(cbReadOnly->isChecked());
  reFile->moveCursor(QTextCursor::Start);
  UpdateLineInfo();

  Edit edit;
  // The hex dump, or masked text left in read-only mode, is never the file's new content.
  if (exec() == QDialog::Accepted && !cbReadOnly->isChecked() && Edited()) {
    edit.edited = MemoText(*reFile->document());
    edit.text = FileBytes(edit.edited, lineEnd_);
    edit.changed = true;
  }
  Release();
  return edit;
}

void TfmFile::ShowPaged(bool paged) {
  paged_ = paged;
  reFile->setVisible(!paged);
  pvFile->setVisible(paged);
  lblLarge->setVisible(paged);
  // The paged view is read-only for good: nothing to paste into, nothing to untick.
  cbReadOnly->setEnabled(!paged);
  actPaste->setEnabled(!paged);
  if (paged) {
    highlighter_->setDocument(nullptr);
    reFile->clear();
  }
}

void TfmFile::Release() {
  // A large file's text, its layout and the bytes cost several times its size: none of it
  // stays once the editor is closed.
  highlighter_->setDocument(nullptr);
  reFile->clear();
  pvFile->Clear();
  opened_ = nullptr;
  shown_.clear();
#if defined(__GLIBC__)
  // The allocator keeps freed heap pages for reuse; those of a large file go back at once.
  malloc_trim(0);
#endif
}

void TfmFile::SetReadOnlyMode(bool on) {
  cbReadOnly->setChecked(on);
  reFile->setReadOnly(on);
  // Nothing shown read-only is saved: neither the hex dump nor text left from before.
  actSave->setEnabled(!on);
  if (on) {
    cbHex->setEnabled(true);
    SetMemoColour(palette().color(QPalette::Button));
    return;
  }
  if (cbHex->isChecked()) {
    cbHex->setChecked(false);
    ShowText();
  }
  cbHex->setEnabled(false);
  SetMemoColour(editableColour_);
}

void TfmFile::ShowText() {
  highlighter_->setDocument(lua_ ? reFile->document() : nullptr);
  reFile->setPlainText(FromDevice(MaskControlChars(*opened_)));
  // What the editor shows, not the bytes: line ends and masked bytes are not edits.
  shown_ = TextDigest(MemoText(*reFile->document()));
}

void TfmFile::ShowHex() {
  highlighter_->setDocument(nullptr);
  reFile->setPlainText(QString::fromLatin1(HexDump(*opened_)));
}

void TfmFile::SetMemoColour(const QColor& colour) {
  SetFixedBase(reFile, colour);
  SetFixedBase(pvFile, colour);
}

bool TfmFile::Edited() const {
  return !paged_ && TextDigest(MemoText(*reFile->document())) != shown_;
}

void TfmFile::UpdateLineInfo() {
  if (cbHex->isChecked()) {
    lblLine->clear();
    return;
  }
  if (paged_) {
    lblLine->setText(LinePositionText(static_cast<int>(pvFile->CurrentLine() + 1),
                                      static_cast<int>(pvFile->LineCount()),
                                      static_cast<long long>(opened_ ? opened_->size() : 0)));
    return;
  }
  // Counts the document keeps, so a large file costs nothing per tick.
  const QTextDocument* doc = reFile->document();
  lblLine->setText(LineInfoText(reFile->textCursor().blockNumber() + 1, doc->blockCount(),
                                doc->characterCount() - 1, static_cast<int>(lineEnd_.size())));
}

void TfmFile::cbReadOnlyClick() {
  SetReadOnlyMode(cbReadOnly->isChecked());
  UpdateLineInfo();
}

void TfmFile::cbHexClick() {
  if (!cbReadOnly->isChecked()) {
    cbHex->setChecked(false);  // the hex view exists in read-only mode only
  } else if (paged_) {
    pvFile->SetHex(cbHex->isChecked());
  } else if (cbHex->isChecked()) {
    ShowHex();
  } else {
    ShowText();
  }
  UpdateLineInfo();
}

void TfmFile::actSaveExecute() {
  done(QDialog::Accepted);
}

void TfmFile::actCancelExecute() {
  done(QDialog::Rejected);
}

void TfmFile::actCopyExecute() {
  if (paged_) {
    QApplication::clipboard()->setText(pvFile->AllText());
    return;
  }
  reFile->selectAll();
  reFile->copy();
}

void TfmFile::actPasteExecute() {
  const QString text = QApplication::clipboard()->text();
  if (text.isEmpty()) return;
  // Through a cursor, so that read-only mode does not stop it and Undo can take it back.
  QTextCursor cursor(reFile->document());
  cursor.select(QTextCursor::Document);
  cursor.insertText(text);
  UpdateLineInfo();
}

void TfmFile::Timer1Timer() {
  Timer1->stop();
  UpdateLineInfo();
  if (isVisible()) Timer1->start();
}

bool TfmFile::FormCloseQuery(int result) {
  if (cbReadOnly->isChecked() || result == QDialog::Accepted || !Edited()) return true;
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"),
                  QStringLiteral("Discard changes?"), QMessageBox::Yes | QMessageBox::No, this);
  return box.exec() == QMessageBox::Yes;
}

void TfmFile::done(int result) {
  if (FormCloseQuery(result)) QDialog::done(result);
}

void TfmFile::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  (paged_ ? static_cast<QWidget*>(pvFile) : static_cast<QWidget*>(reFile))->setFocus();
  Timer1->start();
}

void TfmFile::hideEvent(QHideEvent* event) {
  Timer1->stop();
  QDialog::hideEvent(event);
}

}  // namespace vxk
