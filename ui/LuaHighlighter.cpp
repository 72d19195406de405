#include "ui/LuaHighlighter.h"

#include <QSet>
#include <algorithm>

namespace vxk {
namespace {

// Block state: -1 outside a long bracket; otherwise 2 * level + 1 for a comment, 2 * level
// for a string.
int StateOf(int level, bool comment) {
  return 2 * level + (comment ? 1 : 0);
}

bool IsIdentStart(QChar c) {
  return c == QChar('_') || (c.unicode() < 128 && c.isLetter());
}

bool IsIdentChar(QChar c) {
  return IsIdentStart(c) || (c.unicode() < 128 && c.isDigit());
}

bool IsDigit(QChar c) {
  return c >= QChar('0') && c <= QChar('9');
}

bool IsHexDigit(QChar c) {
  return IsDigit(c) || (c >= QChar('a') && c <= QChar('f')) || (c >= QChar('A') && c <= QChar('F'));
}

// End of the number that starts at i (a digit, or "." before a digit).
int NumberEnd(const QString& text, int i) {
  const int n = static_cast<int>(text.size());
  bool hex = false;
  if (text.at(i) == QChar('0') && i + 1 < n && (text.at(i + 1).toLower() == QChar('x'))) {
    hex = true;
    i += 2;
  }
  const QChar exponent = hex ? QChar('p') : QChar('e');
  while (i < n) {
    const QChar c = text.at(i);
    if (c.toLower() == exponent) {
      ++i;
      if (i < n && (text.at(i) == QChar('+') || text.at(i) == QChar('-'))) ++i;
    } else if ((hex ? IsHexDigit(c) : IsDigit(c)) || c == QChar('.')) {
      ++i;
    } else {
      break;
    }
  }
  return i;
}

}  // namespace

LuaHighlighter::LuaHighlighter(QObject* parent) : QSyntaxHighlighter(parent) {}

QTextCharFormat LuaHighlighter::FormatOf(Kind kind) {
  QTextCharFormat format;
  switch (kind) {
    case Kind::Keyword:
      format.setForeground(QColor(0, 0, 160));
      format.setFontWeight(QFont::Bold);
      break;
    case Kind::String:
      format.setForeground(QColor(160, 32, 0));
      break;
    case Kind::Comment:
      format.setForeground(QColor(0, 128, 0));
      format.setFontItalic(true);
      break;
    case Kind::Number:
      format.setForeground(QColor(128, 0, 128));
      break;
  }
  return format;
}

int LuaHighlighter::OpeningAt(const QString& text, int i, int& level) {
  const int n = static_cast<int>(text.size());
  if (i >= n || text.at(i) != QChar('[')) return 0;
  int j = i + 1;
  while (j < n && text.at(j) == QChar('=')) ++j;
  if (j >= n || text.at(j) != QChar('[')) return 0;
  level = j - i - 1;
  return j + 1 - i;
}

int LuaHighlighter::ClosingFrom(const QString& text, int i, int level) {
  const QString closing = QStringLiteral("]") + QString(level, QChar('=')) + QStringLiteral("]");
  const qsizetype at = text.indexOf(closing, i);
  return at < 0 ? -1 : static_cast<int>(at + closing.size());
}

int LuaHighlighter::LongBracket(const QString& text, int start, int from, int level, bool comment) {
  const QTextCharFormat format = FormatOf(comment ? Kind::Comment : Kind::String);
  const int end = ClosingFrom(text, from, level);
  if (end < 0) {
    setFormat(start, static_cast<int>(text.size()) - start, format);
    setCurrentBlockState(StateOf(level, comment));
    return -1;
  }
  setFormat(start, end - start, format);
  return end;
}

void LuaHighlighter::highlightBlock(const QString& text) {
  static const QSet<QString> keywords = {"and",   "break", "do",       "else", "elseif", "end",
                                         "false", "for",   "function", "goto", "if",     "in",
                                         "local", "nil",   "not",      "or",   "repeat", "return",
                                         "then",  "true",  "until",    "while"};
  setCurrentBlockState(-1);
  const int n = static_cast<int>(text.size());
  int i = 0;
  const int carried = previousBlockState();
  if (carried >= 0) {
    i = LongBracket(text, 0, 0, carried / 2, carried % 2 == 1);
    if (i < 0) return;
  }
  while (i < n) {
    const QChar c = text.at(i);
    int level = 0;
    if (c == QChar('-') && i + 1 < n && text.at(i + 1) == QChar('-')) {
      const int open = OpeningAt(text, i + 2, level);
      if (open > 0) {
        i = LongBracket(text, i, i + 2 + open, level, true);
        if (i < 0) return;
        continue;
      }
      setFormat(i, n - i, FormatOf(Kind::Comment));
      return;
    }
    if (const int open = OpeningAt(text, i, level); open > 0) {
      i = LongBracket(text, i, i + open, level, false);
      if (i < 0) return;
      continue;
    }
    if (c == QChar('"') || c == QChar('\'')) {
      int j = i + 1;
      while (j < n && text.at(j) != c) j += text.at(j) == QChar('\\') ? 2 : 1;
      j = std::min(j + 1, n);
      setFormat(i, j - i, FormatOf(Kind::String));
      i = j;
      continue;
    }
    // A "." after another is the concatenation operator, not a fraction.
    const bool fraction = c == QChar('.') && i + 1 < n && IsDigit(text.at(i + 1)) &&
                          (i == 0 || text.at(i - 1) != QChar('.'));
    if (IsDigit(c) || fraction) {
      const int end = NumberEnd(text, i);
      setFormat(i, end - i, FormatOf(Kind::Number));
      i = end;
      continue;
    }
    if (IsIdentStart(c)) {
      int j = i + 1;
      while (j < n && IsIdentChar(text.at(j))) ++j;
      if (keywords.contains(text.mid(i, j - i))) setFormat(i, j - i, FormatOf(Kind::Keyword));
      i = j;
      continue;
    }
    ++i;
  }
}

}  // namespace vxk
