#include "ui/RichEditUtils.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace vxk {

int TextLength(QTextDocument* doc) {
  // The document ends with one paragraph separator of its own.
  return doc->characterCount() - 1;
}

int TextLength(QTextEdit* pane) {
  return TextLength(pane->document());
}

int TextLength(QPlainTextEdit* pane) {
  return TextLength(pane->document());
}

void TrimToLimit(QTextEdit* pane, int limit) {
  TrimToLimit(pane->document(), limit);
}

void TrimToLimit(QPlainTextEdit* pane, int limit) {
  TrimToLimit(pane->document(), limit);
}

void TrimToLimit(QTextDocument* doc, int limit) {
  for (;;) {
    const int n = TextLength(doc);
    if (n <= limit) return;
    int cut = n - limit;
    const int bound = n - limit / 2;
    // The line containing the cut point ends at its block's separator; cut just after it
    // when that lies before the bound.
    if (cut < bound) {
      const QTextBlock block = doc->findBlock(cut - 1);
      const int lineEnd = block.position() + block.length();  // just after the separator
      cut = block.isValid() && lineEnd < bound ? lineEnd : bound;
    }
    QTextCursor cursor(doc);
    cursor.setPosition(0);
    cursor.setPosition(cut, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  }
}

namespace {

template <class Pane>
void MoveCaretToEnd(Pane* pane) {
  QTextCursor cursor = pane->textCursor();
  cursor.movePosition(QTextCursor::End);
  pane->setTextCursor(cursor);
  pane->ensureCursorVisible();
}

}  // namespace

void ScrollToEnd(QTextEdit* pane) {
  MoveCaretToEnd(pane);
}

void ScrollToEnd(QPlainTextEdit* pane) {
  MoveCaretToEnd(pane);
}

}  // namespace vxk
