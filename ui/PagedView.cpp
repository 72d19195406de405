#include "ui/PagedView.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>

#include "ui/DeviceText.h"

namespace vxk {
namespace {

constexpr int kMargin = 4;  // pixels left of the text, as a text box has

}  // namespace

PagedView::PagedView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setCursor(Qt::IBeamCursor);
}

void PagedView::SetContent(const std::string* content, bool hex) {
  pages_.Reset(content);
  pages_.SetHex(hex);
  current_ = 0;
  matchOffset_ = TextPages::npos;
  matchLength_ = 0;
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  UpdateScrollBars();
  viewport()->update();
  emit CurrentLineChanged();
}

void PagedView::SetHex(bool hex) {
  if (hex == pages_.Hex()) return;
  // The same bytes stay in view: the current line's first byte, or the match.
  const size_t at = matchOffset_ != TextPages::npos ? matchOffset_ : pages_.LineStart(current_);
  pages_.SetHex(hex);
  UpdateScrollBars();
  horizontalScrollBar()->setValue(0);
  SetCurrent(pages_.LineOf(at));
  viewport()->update();
}

void PagedView::Clear() {
  SetContent(nullptr, false);
}

int PagedView::LineHeight() const {
  return std::max(1, fontMetrics().lineSpacing());
}

int PagedView::CharWidth() const {
  return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('x')));
}

int PagedView::PageLines() const {
  return std::max(1, viewport()->height() / LineHeight());
}

size_t PagedView::FirstVisibleLine() const {
  return static_cast<size_t>(verticalScrollBar()->value());
}

QString PagedView::LineText(size_t n) const {
  return FromDevice(pages_.Line(n));
}

QString PagedView::AllText() const {
  QString text;
  for (size_t n = 0; n < pages_.Lines(); ++n) {
    if (n != 0) text += QLatin1Char('\n');
    text += LineText(n);
  }
  return text;
}

void PagedView::UpdateScrollBars() {
  const size_t lines = pages_.Lines();
  const auto page = static_cast<size_t>(PageLines());
  const size_t maxTop = lines > page ? lines - page : 0;
  verticalScrollBar()->setRange(0, static_cast<int>(std::min<size_t>(maxTop, INT_MAX)));
  verticalScrollBar()->setPageStep(static_cast<int>(page));
  verticalScrollBar()->setSingleStep(1);
  const qint64 width = static_cast<qint64>(pages_.Columns()) * CharWidth() + 2 * kMargin;
  horizontalScrollBar()->setRange(
      0, static_cast<int>(std::clamp<qint64>(width - viewport()->width(), 0, INT_MAX)));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setSingleStep(CharWidth());
}

void PagedView::SetCurrent(size_t line) {
  const size_t lines = pages_.Lines();
  line = lines == 0 ? 0 : std::min(line, lines - 1);
  current_ = line;
  const auto page = static_cast<size_t>(PageLines());
  const size_t top = FirstVisibleLine();
  if (line < top) {
    verticalScrollBar()->setValue(static_cast<int>(line));
  } else if (line >= top + page) {
    verticalScrollBar()->setValue(static_cast<int>(line - page + 1));
  }
  viewport()->update();
  emit CurrentLineChanged();
}

bool PagedView::Find(const QString& text, bool backward, bool matchCase, bool* wrapped) {
  *wrapped = false;
  const std::string needle = ToDevice(text);
  if (needle.empty()) return false;
  // From the match shown, else from the current line.
  size_t from;
  if (matchOffset_ != TextPages::npos) {
    if (backward && matchOffset_ == 0) {
      from = TextPages::npos;
    } else {
      from = backward ? matchOffset_ - 1 : matchOffset_ + 1;
    }
  } else {
    from = pages_.LineStart(current_);
  }
  size_t found =
      from == TextPages::npos ? TextPages::npos : pages_.Find(needle, from, backward, matchCase);
  if (found == TextPages::npos) {
    found = pages_.Find(needle, backward ? pages_.Size() : 0, backward, matchCase);
    *wrapped = found != TextPages::npos;
  }
  if (found == TextPages::npos) return false;
  matchOffset_ = found;
  matchLength_ = needle.size();
  const size_t line = pages_.LineOf(found);
  SetCurrent(line);
  // The match's columns in view as well.
  const auto spans = pages_.Columns(line, found, matchLength_);
  if (!spans.empty()) {
    const int x = static_cast<int>(spans.front().first) * CharWidth();
    const int right = static_cast<int>(spans.front().second) * CharWidth() + 2 * kMargin;
    QScrollBar* h = horizontalScrollBar();
    if (x < h->value() || right > h->value() + viewport()->width())
      h->setValue(std::max(0, x - viewport()->width() / 3));
  }
  return true;
}

void PagedView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QPalette& colours = palette();
  painter.fillRect(viewport()->rect(), colours.color(QPalette::Base));
  painter.setFont(font());
  const int height = LineHeight();
  const int width = CharWidth();
  const int ascent = fontMetrics().ascent();
  const int left = kMargin - horizontalScrollBar()->value();
  const size_t top = FirstVisibleLine();
  const size_t shown = std::min(pages_.Lines(), top + static_cast<size_t>(PageLines()) + 1);
  for (size_t n = top; n < shown; ++n) {
    const int y = static_cast<int>(n - top) * height;
    if (n == current_)
      painter.fillRect(QRect(0, y, viewport()->width(), height),
                       colours.color(QPalette::AlternateBase));
    if (matchOffset_ != TextPages::npos) {
      for (const auto& [first, last] : pages_.Columns(n, matchOffset_, matchLength_)) {
        painter.fillRect(QRect(left + static_cast<int>(first) * width, y,
                               static_cast<int>(last - first) * width, height),
                         colours.color(QPalette::Highlight));
      }
    }
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(left, y + ascent, LineText(n));
  }
}

void PagedView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void PagedView::keyPressEvent(QKeyEvent* event) {
  const size_t page = static_cast<size_t>(PageLines());
  const size_t lines = pages_.Lines();
  const bool control = event->modifiers() & Qt::ControlModifier;
  QScrollBar* h = horizontalScrollBar();
  switch (event->key()) {
    case Qt::Key_Up:
      SetCurrent(current_ == 0 ? 0 : current_ - 1);
      break;
    case Qt::Key_Down:
      SetCurrent(current_ + 1);
      break;
    case Qt::Key_PageUp:
      SetCurrent(current_ > page ? current_ - page : 0);
      break;
    case Qt::Key_PageDown:
      SetCurrent(current_ + page);
      break;
    case Qt::Key_Home:
      if (control) SetCurrent(0);
      h->setValue(0);
      break;
    case Qt::Key_End:
      if (control) SetCurrent(lines == 0 ? 0 : lines - 1);
      h->setValue(control ? 0 : h->maximum());
      break;
    case Qt::Key_Left:
      h->setValue(h->value() - CharWidth());
      break;
    case Qt::Key_Right:
      h->setValue(h->value() + CharWidth());
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

void PagedView::mousePressEvent(QMouseEvent* event) {
  const int row = static_cast<int>(event->position().y()) / LineHeight();
  SetCurrent(FirstVisibleLine() + static_cast<size_t>(std::max(0, row)));
  QAbstractScrollArea::mousePressEvent(event);
}

}  // namespace vxk
