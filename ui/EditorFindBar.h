#pragma once

#include <QWidget>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vxk {

class PagedView;

// The file editor's find bar: the text to find, Next (F3) and Previous (Shift+F3), Match case,
// and what the last search came to. Hidden until asked for (Ctrl+F); Escape in it hides it
// again. It searches whichever of the two views shows.
class EditorFindBar : public QWidget {
  Q_OBJECT

 public:
  enum class Outcome { Found, Wrapped, NotFound };

  // Its actions work anywhere in parent, the editor window.
  EditorFindBar(QWidget* parent, QPlainTextEdit* text, PagedView* pages);

  // Shows the bar with the focus in the text, all of it selected.
  void Open();
  QString Text() const;
  bool MatchCase() const;
  void ShowOutcome(Outcome outcome);
  // Finds the text in the view that shows; with no text, opens the bar.
  void Find(bool backward);

  QAction* actFind = nullptr;
  QAction* actFindNext = nullptr;
  QAction* actFindPrevious = nullptr;

  QLineEdit* edFind = nullptr;
  QPushButton* btnFindNext = nullptr;
  QPushButton* btnFindPrevious = nullptr;
  QCheckBox* cbMatchCase = nullptr;
  QLabel* lblFind = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* ShownView() const;

  QPlainTextEdit* text_;
  PagedView* pages_;
};

// Finds text in an editor from its cursor (after or before its selection), going round the
// end once; selects what it found. Sets wrapped when it went round.
bool FindInTextEdit(QPlainTextEdit* edit, const QString& text, bool backward, bool matchCase,
                    bool* wrapped);

}  // namespace vxk
