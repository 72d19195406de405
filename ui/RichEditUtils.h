#pragma once

class QTextEdit;

namespace vxk {

// Cuts the oldest text of a pane down to limit characters, at a line break where one lies
// within the next limit/2 characters, never removing more than length - limit/2 at once.
void TrimToLimit(QTextEdit* pane, int limit);
// Puts the caret at the end of the text and scrolls it into view.
void ScrollToEnd(QTextEdit* pane);
// The pane's text length as the cap counts it (line breaks count one).
int TextLength(QTextEdit* pane);

}  // namespace vxk
