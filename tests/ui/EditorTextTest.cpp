#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "ui/EditorText.h"
#include "ui/LuaHighlighter.h"

using namespace vxk;

namespace {

TEST(EditorText, ByteClasses) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const bool control = b <= 7 || b == 11 || (b >= 14 && b <= 31);
    EXPECT_EQ(LooksBinary("text" + one), (control && b != 0) || b == 255) << b;
    EXPECT_EQ(MaskControlChars(one), control ? "?" : one) << b;
  }
}

TEST(EditorText, HexDumpWithCharacterColumn) {
  const std::string pad5(33, ' ');  // what five bytes leave of the 47 hex columns
  EXPECT_EQ(HexDump("Hello"), "0000: 48 65 6C 6C 6F" + pad5 + "  Hello");
  EXPECT_EQ(HexDump(""), "");
  EXPECT_EQ(HexDump(std::string(16, '\xff') + "\x0a"),
            "0000: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF  ................\r\n"
            "0010: 0A" +
                std::string(45, ' ') + "  .");
  // Offsets past 0xFFFF take a fifth digit on every line, so the columns stay aligned.
  const std::string dump = HexDump(std::string(0x10001, 'a'));
  EXPECT_EQ(dump.substr(0, 8), "00000: 6");
  EXPECT_EQ(dump.substr(dump.rfind("\r\n") + 2), "10000: 61" + std::string(45, ' ') + "  a");
  EXPECT_EQ(HexOffsetDigits(0x10000), 4);
  EXPECT_EQ(HexOffsetDigits(0x10001), 5);
}

TEST(EditorText, LineEndsKeepTheFilesOwnStyle) {
  EXPECT_EQ(LineEndOf("a\nb\r\n"), "\n");
  EXPECT_EQ(LineEndOf("a\r\nb\n"), "\r\n");
  EXPECT_EQ(LineEndOf("a\rb"), "\r");
  EXPECT_EQ(LineEndOf("a\r"), "\r");
  EXPECT_EQ(LineEndOf("none"), "\r\n");
  EXPECT_EQ(FileBytes(QStringLiteral("a\nb\n"), "\r\n"), "a\r\nb\r\n");
  EXPECT_EQ(FileBytes(QStringLiteral("a\nb"), "\r"), "a\rb");
  EXPECT_EQ(FileBytes(QString::fromUtf8("\xc3\xa9\xe2\x82\xac\n"), "\n"), "\xe9\x80\n");
  // Non-breaking spaces survive the editor's document.
  QTextDocument doc;
  doc.setPlainText(QString::fromLatin1("x\xa0y\r\nz\rw\n"));
  EXPECT_EQ(MemoText(doc), QString::fromLatin1("x\xa0y\nz\nw\n"));
}

TEST(EditorText, LineInfoCountsSavedBytes) {
  EXPECT_EQ(LineInfoText(1, 1, 3, 2), QStringLiteral("Line:    1/   1\n3 bytes"));
  // Two lines of one character: the break is two bytes with CR LF, one with LF.
  EXPECT_EQ(LineInfoText(2, 2, 3, 2), QStringLiteral("Line:    2/   2\n4 bytes"));
  EXPECT_EQ(LineInfoText(2, 2, 3, 1), QStringLiteral("Line:    2/   2\n3 bytes"));
}

// The kind of Lua text at a column of a line, by its colour; None when not coloured.
enum class Kind { None, Keyword, String, Comment, Number };

Kind KindAt(QTextDocument& doc, int line, int column) {
  const QTextBlock block = doc.findBlockByNumber(line);
  for (const QTextLayout::FormatRange& r : block.layout()->formats()) {
    if (column < r.start || column >= r.start + r.length) continue;
    const QColor colour = r.format.foreground().color();
    for (auto [k, kind] : {std::pair{LuaHighlighter::Kind::Keyword, Kind::Keyword},
                           {LuaHighlighter::Kind::String, Kind::String},
                           {LuaHighlighter::Kind::Comment, Kind::Comment},
                           {LuaHighlighter::Kind::Number, Kind::Number}}) {
      if (LuaHighlighter::FormatOf(k).foreground().color() == colour) return kind;
    }
  }
  return Kind::None;
}

TEST(LuaHighlighter, ColoursAcrossLines) {
  QTextDocument doc;
  doc.documentLayout();  // changes are announced, and highlighted, only with a layout
  LuaHighlighter lua;
  lua.setDocument(&doc);
  QCoreApplication::processEvents();  // the first full pass, queued by setDocument
  doc.setPlainText(
      QStringLiteral("local x1 = 0x1F + 3.5e2 -- note\n"  // 0
                     "s = [==[ a ]] still\n"              // 1
                     "b ]==] if\n"                        // 2
                     "--[[ c\n"                           // 3
                     "d ]] return \"q\\\"x\" 'y' z\n"     // 4
                     "v..1 ends"));                       // 5
  struct Case {
    int line, column;
    Kind kind;
  } cases[] = {
      {0, 0, Kind::Keyword}, {0, 6, Kind::None},     {0, 7, Kind::None},    {0, 11, Kind::Number},
      {0, 18, Kind::Number}, {0, 25, Kind::Comment}, {1, 0, Kind::None},    {1, 4, Kind::String},
      {1, 14, Kind::String}, {2, 0, Kind::String},   {2, 5, Kind::String},  {2, 7, Kind::Keyword},
      {3, 0, Kind::Comment}, {3, 5, Kind::Comment},  {4, 0, Kind::Comment}, {4, 3, Kind::Comment},
      {4, 5, Kind::Keyword}, {4, 15, Kind::String},  {4, 17, Kind::String}, {4, 20, Kind::String},
      {4, 24, Kind::None},   {5, 1, Kind::None},     {5, 3, Kind::Number},  {5, 5, Kind::None}};
  for (const Case& c : cases)
    EXPECT_EQ(KindAt(doc, c.line, c.column), c.kind) << c.line << ":" << c.column;
  // Closing the long string on line 1 ends it there; what followed is code again.
  QTextCursor cursor(doc.findBlockByNumber(1));
  cursor.movePosition(QTextCursor::EndOfBlock);
  cursor.insertText(QStringLiteral(" ]==]"));
  EXPECT_EQ(KindAt(doc, 2, 0), Kind::None);
  EXPECT_EQ(KindAt(doc, 2, 7), Kind::Keyword);
}

}  // namespace
