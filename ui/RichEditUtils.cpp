#include "ui/RichEditUtils.h"

#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>

#include "ops/RtfWriter.h"
#include "ui/DeviceText.h"

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

void AppendText(QPlainTextEdit* pane, const QString& text, const QColor& colour, bool bold,
                bool italic, bool& lastWasCr) {
  QString shown;
  shown.reserve(text.size());
  for (const QChar c : text) {
    if (c == QChar('\n')) {
      if (!lastWasCr) shown.append(QChar('\n'));
      lastWasCr = false;
    } else if (c == QChar('\r')) {
      shown.append(QChar('\n'));
      lastWasCr = true;
    } else {
      lastWasCr = false;
      if (c != QChar(0)) shown.append(c);
    }
  }
  if (shown.isEmpty()) return;
  QTextCursor cursor(pane->document());
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setForeground(colour);
  format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
  format.setFontItalic(italic);
  cursor.insertText(shown, format);
}

void AppendRtf(QPlainTextEdit* source, QPlainTextEdit* target) {
  QTextCursor all(source->document());
  all.select(QTextCursor::Document);
  const QTextDocumentFragment content = all.selection();
  QTextCursor end(target->document());
  end.movePosition(QTextCursor::End);
  if (end.position() > 0 && !end.atBlockStart()) end.insertBlock();
  end.insertFragment(content);
}

std::string DocumentRtf(QTextDocument* doc) {
  RtfWriter writer;
  RtfColour last{};
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    if (block != doc->begin()) writer.Append("\r\n", last);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const QTextCharFormat format = fragment.charFormat();
      const QColor c = format.foreground().style() == Qt::NoBrush ? QColor(Qt::black)
                                                                  : format.foreground().color();
      last = RtfColour{static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                       static_cast<uint8_t>(c.blue())};
      writer.Append(ToDevice(fragment.text()), last, format.fontWeight() >= QFont::Bold,
                    format.fontItalic());
    }
  }
  return writer.Document();
}

QMimeData* RichTextMime(QTextDocument* doc) {
  const std::string rtf = DocumentRtf(doc);
  auto* mime = new QMimeData;
  mime->setData(QStringLiteral("text/rtf"),
                QByteArray(rtf.data(), static_cast<qsizetype>(rtf.size())));
  mime->setHtml(doc->toHtml());
  mime->setText(doc->toPlainText());
  return mime;
}

}  // namespace vxk
