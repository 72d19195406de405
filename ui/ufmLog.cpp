#include "ui/ufmLog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include "ops/LogChannel.h"
#include "ui/Accessibility.h"
#include "ui/BusyCursor.h"
#include "ui/KeyboardSplitter.h"
#include "ui/LogPanes.h"
#include "ui/RichEditUtils.h"
#include "ui/UiRunner.h"
#include "ui/uCorrectFormPlacement.h"

namespace vxk {
namespace {

QAction* MakeAction(QWidget* owner, const char* name, const QString& caption,
                    const QKeySequence& shortcut = QKeySequence()) {
  auto* action = new QAction(caption, owner);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(shortcut);
  action->setShortcutContext(Qt::WindowShortcut);
  owner->addAction(action);
  return action;
}

void CopyPane(QPlainTextEdit* pane) {
  BusyCursor busy;
  QApplication::clipboard()->setMimeData(RichTextMime(pane->document()));
}

}  // namespace

QRect FirstLogPlacement(const QRect& mainFrame, const QRect& logFrame, int paneHeight) {
  const int top = mainFrame.top() + mainFrame.height() + paneHeight - logFrame.height();
  return QRect(mainFrame.left() + 32, top, mainFrame.width(), logFrame.height());
}

TfmLog::TfmLog(UiRunner& runner, QPlainTextEdit* terminal, QWidget* parent)
    : QWidget(parent, Qt::Window), runner_(runner), terminal_(terminal) {
  setObjectName(QStringLiteral("fmLog"));
  setWindowTitle(QStringLiteral("Log"));
  resize(1024, 398);
  setMinimumSize(600, 350);
  FormCreate();
  panes_ = std::make_unique<LogPanes>(reLog, reModem, &Clock);
}

TfmLog::~TfmLog() = default;

void TfmLog::FormCreate() {
  auto* top = new QWidget(this);
  top->setFixedHeight(kPanelHeight);
  auto* row = new QHBoxLayout(top);
  Button1 = new QPushButton(top);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button2 = new QPushButton(top);
  Button2->setObjectName(QStringLiteral("Button2"));
  cbTimestamp = new QCheckBox(QStringLiteral("&Timestamp Log"), top);
  cbTimestamp->setObjectName(QStringLiteral("cbTimestamp"));
  cbTimestamp->setChecked(true);
  cbModemRxTx = new QCheckBox(QStringLiteral("&Modem RX/TX"), top);
  cbModemRxTx->setObjectName(QStringLiteral("cbModemRxTx"));
  cbTSModem = new QCheckBox(QStringLiteral("Timestamp Mo&dem"), top);
  cbTSModem->setObjectName(QStringLiteral("cbTSModem"));
  cbTSModem->setChecked(true);
  cbTSModem->setEnabled(false);
  reCopy = new QPlainTextEdit(top);
  reCopy->setObjectName(QStringLiteral("reCopy"));
  reCopy->setUndoRedoEnabled(false);
  reCopy->hide();
  for (QWidget* w :
       std::initializer_list<QWidget*>{Button1, Button2, cbTimestamp, cbModemRxTx, cbTSModem})
    row->addWidget(w);
  row->addStretch(1);

  reLog = LogPanes::MakePane(this, "reLog", 15, QColor(240, 244, 249));
  pnlModem = new QWidget(this);
  pnlModem->setObjectName(QStringLiteral("pnlModem"));
  auto* modemLayout = new QVBoxLayout(pnlModem);
  modemLayout->setContentsMargins(0, 0, 0, 0);
  reModem = LogPanes::MakePane(pnlModem, "reModem", 12, QColor(254, 247, 235));
  Describe(reLog, QStringLiteral("Device log"));
  Describe(reModem, QStringLiteral("Modem traffic"),
           QStringLiteral("What the device's modem received and sent"));
  Describe(reCopy, QStringLiteral("Copy buffer"));
  modemLayout->addWidget(reModem);
  Splitter1 = new KeyboardSplitter(Qt::Horizontal, QStringLiteral("Log and modem panes"), this);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setHandleWidth(4);
  Splitter1->setChildrenCollapsible(false);
  Splitter1->addWidget(reLog);
  Splitter1->addWidget(pnlModem);
  Splitter1->setStretchFactor(0, 1);
  Splitter1->setStretchFactor(1, 0);
  Splitter1->setSizes({width() - 536 - 4, 536});
  pnlModem->hide();

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(top);
  column->addWidget(Splitter1, 1);

  actCopy =
      MakeAction(this, "actCopy", QStringLiteral("Copy All"), QKeySequence(Qt::CTRL | Qt::Key_V));
  actClear = MakeAction(this, "actClear", QStringLiteral("Clear All"),
                        QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L));
  actCopyModem = MakeAction(this, "actCopyModem", QStringLiteral("Copy Modem"));
  actCopyLog = MakeAction(this, "actCopyLog", QStringLiteral("Copy Log"));
  actClearModem = MakeAction(this, "actClearModem", QStringLiteral("Clear Modem"));
  actClearLog = MakeAction(this, "actClearLog", QStringLiteral("Clear Log"));
  Button1->setText(actCopy->text());
  Button2->setText(actClear->text());
  connect(Button1, &QPushButton::clicked, actCopy, &QAction::trigger);
  connect(Button2, &QPushButton::clicked, actClear, &QAction::trigger);
  connect(actCopy, &QAction::triggered, this, &TfmLog::actCopyExecute);
  connect(actClear, &QAction::triggered, this, &TfmLog::actClearExecute);
  connect(actCopyModem, &QAction::triggered, this, &TfmLog::actCopyModemExecute);
  connect(actCopyLog, &QAction::triggered, this, &TfmLog::actCopyLogExecute);
  connect(actClearModem, &QAction::triggered, this, &TfmLog::actClearModemExecute);
  connect(actClearLog, &QAction::triggered, this, &TfmLog::actClearLogExecute);
  connect(cbModemRxTx, &QCheckBox::clicked, this, &TfmLog::cbModemRxTxClick);
  connect(cbTimestamp, &QCheckBox::clicked, this, &TfmLog::cbTimestampClick);
  connect(cbTSModem, &QCheckBox::clicked, this, &TfmLog::cbTSModemClick);

  pumLog = new QMenu(this);
  pumLog->setObjectName(QStringLiteral("pumLog"));
  pumLog->addActions({actCopyLog, actCopy});
  pumLog->addSeparator();
  pumLog->addAction(actClearLog);
  pumModem = new QMenu(this);
  pumModem->setObjectName(QStringLiteral("pumModem"));
  pumModem->addActions({actCopyModem, actCopy});
  pumModem->addSeparator();
  pumModem->addAction(actClearModem);
  for (auto [pane, menu] : {std::pair{reLog, pumLog}, std::pair{reModem, pumModem}}) {
    pane->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pane, &QWidget::customContextMenuRequested, this,
            [pane = pane, menu = menu](const QPoint& at) {
              menu->popup(pane->viewport()->mapToGlobal(at));
            });
    // The panes would take Ctrl+V as Paste; the window's Copy All gets it instead.
    pane->installEventFilter(this);
  }

  FFilter = kDefaultLogFilter;
  FNotShownYet = true;
}

bool TfmLog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(key->keyCombination());
    if (pressed == actCopy->shortcut() || pressed == actClear->shortcut()) {
      event->ignore();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TfmLog::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window the system restores from its icon was never unsubscribed.
  if (!event->spontaneous()) FormShow();
}

void TfmLog::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // Minimising hides the window too; only a hide the user or the program asked for ends
  // the subscription.
  if (!event->spontaneous()) FormHide();
}

void TfmLog::FormShow() {
  SendFilter();
  FNotShownYet = false;
  ApplyModemOption();
  CorrectFormPlacement(this);
}

void TfmLog::FormHide() {
  ClearFilter();
}

void TfmLog::SendFilter() {
  PostFilter(true);
}

void TfmLog::ClearFilter() {
  PostFilter(false);
}

void TfmLog::PostFilter(bool set) {
  // A write that fails (no link) is not reported: the next occasion sends it again.
  UiRunner::Op op;
  op.what = set ? QStringLiteral("Log filter") : QStringLiteral("Log filter off");
  op.quiet = true;
  op.run = [set, mask = FFilter](Session& s, const OpContext&) {
    LogChannel channel(s.Link());
    const bool sent = set ? channel.SendFilter(mask) : channel.ClearFilter();
    return sent ? OpResult::Done() : OpResult::Fail(Reason::NotOpen);
  };
  runner_.Post(this, std::move(op));
}

void TfmLog::ApplyModemOption() {
  const bool modem = cbModemRxTx->isChecked();
  pnlModem->setVisible(modem);
  if (modem) {
    FFilter |= kModemFilterBits;
  } else {
    FFilter &= ~kModemFilterBits;
  }
  SendFilter();
}

void TfmLog::cbModemRxTxClick() {
  ApplyModemOption();
  cbTSModem->setEnabled(cbModemRxTx->isChecked());
}

void TfmLog::cbTimestampClick() {
  panes_->logStamp = cbTimestamp->isChecked();
}

void TfmLog::cbTSModemClick() {
  panes_->modemStamp = cbTSModem->isChecked();
}

void TfmLog::LinkOpened() {
  if (isVisible()) panes_->Separator();
}

void TfmLog::ShowRecords(const std::vector<std::string>& records) {
  for (const std::string& record : records) panes_->AddRecord(record);
  panes_->FinishBatch();
}

void TfmLog::AddRecord(std::string_view record) {
  panes_->AddRecord(record);
}

void TfmLog::FinishBatch() {
  panes_->FinishBatch();
}

void TfmLog::actCopyExecute() {
  BusyCursor busy;
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->clear();
  reCopy->clear();
  AppendRtf(terminal_, reCopy);
  AppendRtf(reLog, reCopy);
  if (cbModemRxTx->isChecked()) AppendRtf(reModem, reCopy);
  QMimeData* mime = RichTextMime(reCopy->document());
  reCopy->clear();
  clipboard->setMimeData(mime);
}

void TfmLog::actClearExecute() {
  actClearModemExecute();
  actClearLogExecute();
}

void TfmLog::actCopyLogExecute() {
  CopyPane(reLog);
}

void TfmLog::actCopyModemExecute() {
  CopyPane(reModem);
}

void TfmLog::actClearLogExecute() {
  panes_->ClearLog();
}

void TfmLog::actClearModemExecute() {
  panes_->ClearModem();
}

}  // namespace vxk
