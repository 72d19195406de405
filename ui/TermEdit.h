#pragma once

#include <QPlainTextEdit>
#include <functional>

namespace vxk {

// The terminal pane's control: typed characters go to a handler first, which decides whether
// the control's own editing sees the key as well. Coloured and styled text on the plain-text
// layout, which keeps up with a fast device where the rich-text layout does not.
class TermEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  // Returns true when the key is consumed.
  using KeyHandler = std::function<bool(QChar typed)>;

  explicit TermEdit(QWidget* parent = nullptr);
  void SetKeyHandler(KeyHandler handler) { onKey_ = std::move(handler); }

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  KeyHandler onKey_;
  bool followEnd_ = true;  // the pane shows its last line
};

}  // namespace vxk
