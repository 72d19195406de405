#include "ui/RichEditUtils.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace vxk {

int TextLength(QTextEdit* pane) {
  // The document ends with one paragraph separator of its own.
  return pane->document()->characterCount() - 1;
}

void TrimToLimit(QTextEdit* pane, int limit) {
  QTextDocument* doc = pane->document();
  for (;;) {
    const int n = TextLength(pane);
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

void ScrollToEnd(QTextEdit* pane) {
  QTextCursor cursor = pane->textCursor();
  cursor.movePosition(QTextCursor::End);
  pane->setTextCursor(cursor);
  pane->ensureCursorVisible();
}

}  // namespace vxk
