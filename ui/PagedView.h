#pragma once

#include <QAbstractScrollArea>
#include <string>

#include "ui/TextPages.h"

namespace vxk {

// A read-only view of a large file that draws only the lines on screen, straight from the
// caller's bytes: a file of any size opens at once and costs little beyond its own bytes.
// Shows the text (control bytes masked) or the hex view. The current line moves with the
// arrow and page keys and a click; a match found is marked and brought into view.
class PagedView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit PagedView(QWidget* parent = nullptr);

  // Shows content from its first line; it must stay until Clear or the next SetContent.
  void SetContent(const std::string* content, bool hex);
  void SetHex(bool hex);
  void Clear();

  bool Hex() const { return pages_.Hex(); }
  size_t CurrentLine() const { return current_; }
  size_t LineCount() const { return pages_.Lines(); }
  size_t FirstVisibleLine() const;
  QString LineText(size_t n) const;
  // The whole content as this view shows it (for Copy All).
  QString AllText() const;

  // Finds text after (or before) the match or line shown, going round the end once; marks
  // and shows what it found. Sets wrapped when it went round.
  bool Find(const QString& text, bool backward, bool matchCase, bool* wrapped);

 signals:
  void CurrentLineChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void UpdateScrollBars();
  int LineHeight() const;
  int CharWidth() const;
  int PageLines() const;
  void SetCurrent(size_t line);

  TextPages pages_;
  size_t current_ = 0;
  size_t matchOffset_ = TextPages::npos;
  size_t matchLength_ = 0;
};

}  // namespace vxk
