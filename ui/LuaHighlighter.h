#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace vxk {

// Colours Lua source: keywords, strings, long strings ([[...]], [==[...]==]) and long comments
// (--[[...]]) across lines, line comments and numbers.
class LuaHighlighter : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  enum class Kind { Keyword, String, Comment, Number };

  explicit LuaHighlighter(QObject* parent = nullptr);
  static QTextCharFormat FormatOf(Kind kind);

 protected:
  void highlightBlock(const QString& text) override;

 private:
  // Length of a long bracket opening "[" "="* "[" at i, 0 when there is none; level = count
  // of "=".
  static int OpeningAt(const QString& text, int i, int& level);
  // Index just past the closing "]" "="* "]" of level from i on, -1 when the line has none.
  static int ClosingFrom(const QString& text, int i, int level);
  // Colours a long string or comment from start; returns where scanning goes on, or -1 when
  // it runs past the end of the line (the block state then carries it).
  int LongBracket(const QString& text, int start, int from, int level, bool comment);
};

}  // namespace vxk
