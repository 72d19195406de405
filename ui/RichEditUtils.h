#pragma once

class QPlainTextEdit;
class QTextDocument;
class QTextEdit;

namespace vxk {

// Cuts the oldest text of a pane down to limit characters, at a line break where one lies
// within the next limit/2 characters, never removing more than length - limit/2 at once.
void TrimToLimit(QTextDocument* doc, int limit);
void TrimToLimit(QTextEdit* pane, int limit);
void TrimToLimit(QPlainTextEdit* pane, int limit);
// Puts the caret at the end of the text and scrolls it into view.
void ScrollToEnd(QTextEdit* pane);
void ScrollToEnd(QPlainTextEdit* pane);
// The text length as the cap counts it (line breaks count one).
int TextLength(QTextDocument* doc);
int TextLength(QTextEdit* pane);
int TextLength(QPlainTextEdit* pane);

}  // namespace vxk
