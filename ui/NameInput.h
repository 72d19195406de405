#pragma once

#include <QObject>
#include <QString>

class QLineEdit;

namespace vxk {

// The characters the name dialogs refuse when typed: / \ + ! ? * ; : " ' and TAB.
extern const QString InvalidNameChars;

// Whether a typed key's text holds one of InvalidNameChars (the Tab key included).
bool IsRefusedKey(int key, const QString& text);

// Whether a name may go to the device: control characters (CR, LF, TAB, ESC, NUL, ...),
// which could split the device command, are refused, however they got into the box.
bool IsAcceptableName(const QString& name);

// Swallows refused keys typed into the edits it watches; Escape, when escapeRejects, closes
// the dialog the edit belongs to with the Cancel result.
class NameKeyFilter : public QObject {
  Q_OBJECT

 public:
  NameKeyFilter(QObject* parent, bool escapeRejects);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool escapeRejects_;
};

}  // namespace vxk
