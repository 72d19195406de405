#include "ui/EditorFindBar.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>

#include "ui/Accessibility.h"
#include "ui/PagedView.h"

namespace vxk {

namespace {

QAction* MakeAction(QWidget* window, const char* name, const QString& caption,
                    const QKeySequence& keys) {
  auto* action = new QAction(caption, window);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(keys);
  window->addAction(action);
  return action;
}

}  // namespace

EditorFindBar::EditorFindBar(QWidget* parent, QPlainTextEdit* text, PagedView* pages)
    : QWidget(parent), text_(text), pages_(pages) {
  setObjectName(QStringLiteral("pnlFind"));
  auto* label = new QLabel(QStringLiteral("&Find:"), this);
  edFind = new QLineEdit(this);
  edFind->setObjectName(QStringLiteral("edFind"));
  label->setBuddy(edFind);
  Describe(edFind, QStringLiteral("Find"), QStringLiteral("Enter finds the next match"));
  btnFindNext = new QPushButton(QStringLiteral("&Next"), this);
  btnFindNext->setObjectName(QStringLiteral("btnFindNext"));
  btnFindNext->setToolTip(QStringLiteral("Find the next match (F3)"));
  btnFindPrevious = new QPushButton(QStringLiteral("Pre&vious"), this);
  btnFindPrevious->setObjectName(QStringLiteral("btnFindPrevious"));
  btnFindPrevious->setToolTip(QStringLiteral("Find the previous match (Shift+F3)"));
  cbMatchCase = new QCheckBox(QStringLiteral("Match c&ase"), this);
  cbMatchCase->setObjectName(QStringLiteral("cbMatchCase"));
  lblFind = new QLabel(this);
  lblFind->setObjectName(QStringLiteral("lblFind"));
  Describe(lblFind, QStringLiteral("Find result"));

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 2, 6, 2);
  row->addWidget(label);
  row->addWidget(edFind, 1);
  for (QWidget* w : {static_cast<QWidget*>(btnFindNext), static_cast<QWidget*>(btnFindPrevious),
                     static_cast<QWidget*>(cbMatchCase), static_cast<QWidget*>(lblFind)})
    row->addWidget(w);
  for (QPushButton* b : {btnFindNext, btnFindPrevious}) b->setAutoDefault(false);
  for (QWidget* w : {static_cast<QWidget*>(edFind), static_cast<QWidget*>(btnFindNext),
                     static_cast<QWidget*>(btnFindPrevious), static_cast<QWidget*>(cbMatchCase)})
    w->installEventFilter(this);

  connect(btnFindNext, &QPushButton::clicked, this, [this] { Find(false); });
  connect(btnFindPrevious, &QPushButton::clicked, this, [this] { Find(true); });
  connect(edFind, &QLineEdit::textEdited, lblFind, &QLabel::clear);

  actFind =
      MakeAction(parent, "actFind", QStringLiteral("&Find..."), QKeySequence(Qt::CTRL | Qt::Key_F));
  actFindNext =
      MakeAction(parent, "actFindNext", QStringLiteral("Find Next"), QKeySequence(Qt::Key_F3));
  actFindPrevious = MakeAction(parent, "actFindPrevious", QStringLiteral("Find Previous"),
                               QKeySequence(Qt::SHIFT | Qt::Key_F3));
  connect(actFind, &QAction::triggered, this, &EditorFindBar::Open);
  connect(actFindNext, &QAction::triggered, this, [this] { Find(false); });
  connect(actFindPrevious, &QAction::triggered, this, [this] { Find(true); });
  hide();
}

QWidget* EditorFindBar::ShownView() const {
  return pages_->isVisibleTo(parentWidget()) ? static_cast<QWidget*>(pages_)
                                             : static_cast<QWidget*>(text_);
}

void EditorFindBar::Find(bool backward) {
  if (Text().isEmpty()) {
    Open();
    return;
  }
  bool wrapped = false;
  const bool found = ShownView() == pages_
                         ? pages_->Find(Text(), backward, MatchCase(), &wrapped)
                         : FindInTextEdit(text_, Text(), backward, MatchCase(), &wrapped);
  ShowOutcome(!found ? Outcome::NotFound : wrapped ? Outcome::Wrapped : Outcome::Found);
}

void EditorFindBar::Open() {
  show();
  edFind->setFocus();
  edFind->selectAll();
}

QString EditorFindBar::Text() const {
  return edFind->text();
}

bool EditorFindBar::MatchCase() const {
  return cbMatchCase->isChecked();
}

void EditorFindBar::ShowOutcome(Outcome outcome) {
  switch (outcome) {
    case Outcome::Found:
      lblFind->clear();
      break;
    case Outcome::Wrapped:
      lblFind->setText(QStringLiteral("Search wrapped"));
      break;
    case Outcome::NotFound:
      lblFind->setText(QStringLiteral("Not found"));
      break;
  }
}

bool EditorFindBar::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    // Escape leaves the bar, not the editor.
    if (key->key() == Qt::Key_Escape) {
      hide();
      ShownView()->setFocus();
      return true;
    }
    if (watched == edFind && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
      Find(key->modifiers() & Qt::ShiftModifier);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool FindInTextEdit(QPlainTextEdit* edit, const QString& text, bool backward, bool matchCase,
                    bool* wrapped) {
  *wrapped = false;
  if (text.isEmpty()) return false;
  QTextDocument::FindFlags flags;
  if (backward) flags |= QTextDocument::FindBackward;
  if (matchCase) flags |= QTextDocument::FindCaseSensitively;
  QTextDocument* doc = edit->document();
  QTextCursor found = doc->find(text, edit->textCursor(), flags);
  if (found.isNull()) {
    QTextCursor end(doc);
    if (backward) end.movePosition(QTextCursor::End);
    found = doc->find(text, end, flags);
    *wrapped = !found.isNull();
  }
  if (found.isNull()) return false;
  edit->setTextCursor(found);
  return true;
}

}  // namespace vxk
