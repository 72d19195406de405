#pragma once

#include <QColor>
#include <QString>
#include <string>

class QMimeData;
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

// Inserts text at the end of the pane in a colour and style. Line ends (CR LF, CR or LF)
// become one line break each, also when a CR LF is split between two calls (lastWasCr
// carries that over); NUL bytes are left out.
void AppendText(QPlainTextEdit* pane, const QString& text, const QColor& colour, bool bold,
                bool italic, bool& lastWasCr);
// Appends the source's whole formatted content to the target, on a line of its own.
void AppendRtf(QPlainTextEdit* source, QPlainTextEdit* target);
// The document as RTF (with its colours, bold and italic), HTML and plain text, for the
// clipboard. Throws RtfError ("Error appending RTF data.") when the RTF would be too big.
QMimeData* RichTextMime(QTextDocument* doc);
std::string DocumentRtf(QTextDocument* doc);

}  // namespace vxk
