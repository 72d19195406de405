#include "ui/FileBrowser.h"

#include <QAction>
#include <QCollator>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <algorithm>
#include <climits>
#include <vector>

#include "comms/Ticks.h"
#include "ui/Accessibility.h"
#include "ui/DeviceText.h"
#include "ui/FileIcons.h"
#include "ui/UiRunner.h"

namespace vxk {
namespace {

// A piece of work and the listing after it.
struct Relisted {
  OpResult result;
  Listing listing;
};

QFont FixedFont(int pixels) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(pixels);
  return font;
}

// Fills the list in one bulk update and lets it paint again on every way out.
class BulkUpdate {
 public:
  explicit BulkUpdate(QTreeWidget* list) : list_(list) { list_->setUpdatesEnabled(false); }
  ~BulkUpdate() { list_->setUpdatesEnabled(true); }

 private:
  QTreeWidget* list_;
};

// Grid lines between the cells of the report view, drawn over the style's own painting of
// the item so that a selected row keeps its highlight colours.
class GridDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    const QRect r = option.rect;
    painter->save();
    painter->setPen(QColor(216, 216, 216));
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(1, 1);  // room for the lines
  }
};

}  // namespace

FileBrowser::FileBrowser(UiRunner& runner, QWidget* parent) : QObject(parent), runner_(runner) {
  lvFiles = new QTreeWidget(parent);
  lvFiles->setObjectName(QStringLiteral("lvFiles"));
  lvFiles->setColumnCount(4);
  lvFiles->setHeaderLabels({QStringLiteral("Filename"), QStringLiteral("Size"),
                            QStringLiteral("Attr"), QStringLiteral("Created")});
  const int widths[] = {350, 110, 75, 200};
  for (int c = 0; c < 4; ++c) lvFiles->setColumnWidth(c, widths[c]);
  lvFiles->header()->setStretchLastSection(false);
  lvFiles->headerItem()->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
  lvFiles->headerItem()->setTextAlignment(kAttr, Qt::AlignHCenter | Qt::AlignVCenter);
  lvFiles->setRootIsDecorated(false);
  lvFiles->setUniformRowHeights(true);
  lvFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvFiles->setSortingEnabled(false);
  lvFiles->setFont(FixedFont(15));
  lvFiles->setIconSize(QSize(16, 16));
  lvFiles->setMinimumHeight(60);
  lvFiles->setItemDelegate(new GridDelegate(lvFiles));
  lvFiles->installEventFilter(this);
  Describe(lvFiles, QStringLiteral("Device files"),
           QStringLiteral("Enter opens, Delete deletes, F2 renames, F5 refreshes, the menu key "
                          "shows the file actions"));
  connect(lvFiles, &QTreeWidget::itemDoubleClicked, this, [this] { lvFilesDblClick(); });

  edDir = new QLineEdit(QStringLiteral("/"), parent);
  edDir->setObjectName(QStringLiteral("edDir"));
  edDir->setFont(FixedFont(16));
  edDir->installEventFilter(this);
  Describe(edDir, QStringLiteral("Device folder"),
           QStringLiteral("Path of the listed device folder; Enter lists it"));
  currentDir_ = "/";
  connect(edDir, &QLineEdit::textChanged, this, &FileBrowser::edDirChange);

  memInfo = new QPlainTextEdit(QStringLiteral("(device)"), parent);
  memInfo->setObjectName(QStringLiteral("memInfo"));
  memInfo->setReadOnly(true);
  memInfo->setFrameShape(QFrame::NoFrame);
  // Long lines wrap, so a narrow box still shows every line whole.
  memInfo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memInfo->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  memInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  memInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memInfo->setFont(FixedFont(13));
  Describe(memInfo, QStringLiteral("Device information"),
           QStringLiteral("Manufacturer, serial number, product and firmware of the device"));
  QPalette palette = memInfo->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  memInfo->setPalette(palette);

  pbFile = new QProgressBar(parent);
  pbFile->setObjectName(QStringLiteral("pbFile"));
  pbFile->setTextVisible(false);
  pbFile->setValue(0);
  pbFile->setVisible(false);  // shown while a transfer runs
  Describe(pbFile, QStringLiteral("Transfer progress"));
  lblSize = new QLabel(parent);
  lblSize->setObjectName(QStringLiteral("lblSize"));
  lblCount = new QLabel(parent);
  lblCount->setObjectName(QStringLiteral("lblCount"));
  lblCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblCount->setVisible(false);

  actRefresh = new QAction(QStringLiteral("Refresh Directory"), parent);
  actRefresh->setObjectName(QStringLiteral("actRefresh"));
  actRefresh->setShortcut(QKeySequence(Qt::Key_F5));
  actRefresh->setShortcutContext(Qt::WindowShortcut);
  connect(actRefresh, &QAction::triggered, this, &FileBrowser::actRefreshExecute);

  puFiles = new QMenu(parent);
  puFiles->setObjectName(QStringLiteral("puFiles"));
  puFiles->setTitle(QStringLiteral("Files"));
  puFiles->addAction(actRefresh);
  lvFiles->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lvFiles, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { puFiles->popup(lvFiles->viewport()->mapToGlobal(at)); });
}

void FileBrowser::edDirChange(const QString& text) {
  currentDir_ = ToDevice(text);
}

std::string FileBrowser::ParentPath(const std::string& path) {
  // The last "/" that is not the first character ends the parent.
  for (size_t i = path.size(); i > 1; --i) {
    if (path[i - 1] == '/') return path.substr(0, i - 1);
  }
  return std::string();
}

bool FileBrowser::IsDirectoryItem(int index) const {
  const QTreeWidgetItem* item = lvFiles->topLevelItem(index);
  return item && item->text(kAttr).contains(QStringLiteral("<DIR>"));
}

void FileBrowser::EnableFileBrowser(bool on) {
  lvFiles->setEnabled(on);
  edDir->setVisible(on);
  actRefresh->setEnabled(on);
}

void FileBrowser::ShowDeviceDirectory(const std::string& requested) {
  if (!lvFiles->isEnabled()) return;
  UiRunner::Op op;
  op.what = actRefresh->text();
  runner_.Call<Listing>(
      this, std::move(op),
      [requested](Session& s, const OpContext&) {
        return ListForDisplay(s.Terminal(), s.Files(), requested);
      },
      [this](const OpResult&, Listing& listing) { ShowListing(listing); });
}

void FileBrowser::Relist(const QString& what, Work work,
                         std::function<void(const OpResult&)> after) {
  UiRunner::Op op;
  op.what = what;
  const bool listed = lvFiles->isEnabled();
  runner_.Call<Relisted>(
      this, std::move(op),
      [work = std::move(work), dir = currentDir_, listed](Session& s, const OpContext& context) {
        Relisted out;
        out.result = work(s, context);
        if (listed) out.listing = ListForDisplay(s.Terminal(), s.Files(), dir);
        return out;
      },
      [this, after = std::move(after)](const OpResult& result, Relisted& out) {
        ShowListing(out.listing);
        if (after) after(result);
      });
}

void FileBrowser::ShowListing(const Listing& listing) {
  if (!listing.shown || !lvFiles->isEnabled()) return;  // the device wants its password first
  BulkUpdate bulk(lvFiles);
  lvFiles->clear();
  edDir->setText(FromDevice(listing.path));
  FillList(listing.lines);  // whatever arrived is shown, also after a failure
}

void FileBrowser::FillList(const std::vector<std::string>& lines) {
  struct Entry {
    TDirEntry entry;
    QString name;
    const std::string* raw;
  };
  std::vector<Entry> entries;
  entries.reserve(lines.size());
  for (const std::string& line : lines) {
    TDirEntry entry;
    if (!TvxkFiles::TryParseEntry(line, entry) || entry.name == ".") continue;
    entries.push_back({entry, FromDevice(entry.name), &line});
  }
  // Sorted once per listing, by the whole name under the user's locale collation.
  QCollator collator;
  std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    return collator.compare(a.name, b.name) < 0;
  });
  static const QIcon icons[4] = {FileIconImage(kIconFolder), FileIconImage(kIconFile),
                                 FileIconImage(kIconLuaFile), FileIconImage(kIconParent)};
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(entries.size()));
  for (const Entry& e : entries) {
    auto* item = new QTreeWidgetItem;
    const bool dir = (e.entry.attributes & TvxkFiles::kAttrDirectory) != 0;
    item->setText(kName, e.name);
    if (!dir) item->setText(kSize, QString::number(e.entry.size));
    item->setText(kAttr, QString::fromLatin1(TvxkFiles::AttributeText(e.entry.attributes).c_str()));
    if (e.entry.time1 != 0)
      item->setText(kCreated, QString::fromStdString(FormatDateTime(e.entry.time1)));
    item->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(kAttr, Qt::AlignHCenter | Qt::AlignVCenter);
    item->setData(kName, kRawLineRole, QByteArray::fromStdString(*e.raw));
    FileIcon icon = kIconFile;
    if (e.entry.name == "..") {
      icon = kIconParent;
    } else if (dir) {
      icon = kIconFolder;
    } else if (e.name.toLower().contains(QStringLiteral(".lua"))) {
      icon = kIconLuaFile;
    }
    item->setIcon(kName, icons[icon]);
    item->setData(kName, Qt::UserRole, static_cast<int>(icon));
    items.append(item);
  }
  lvFiles->addTopLevelItems(items);
}

void FileBrowser::lvFilesDblClick() {
  QTreeWidgetItem* item = lvFiles->currentItem();
  if (!item || !item->isSelected() || runner_.Busy()) return;  // one operation at a time
  const int index = lvFiles->indexOfTopLevelItem(item);
  if (!IsDirectoryItem(index)) {
    emit EditRequested(item);
    return;
  }
  const std::string name = ToDevice(item->text(kName));
  const std::string target = name == ".." ? ParentPath(currentDir_) : currentDir_ + "/" + name;
  ShowDeviceDirectory(target);
}

void FileBrowser::edDirKeyPress() {
  if (!runner_.Busy()) ShowDeviceDirectory(currentDir_);
  lvFiles->setFocus();
}

void FileBrowser::actRefreshExecute() {
  ShowDeviceDirectory(currentDir_);
}

bool FileBrowser::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (watched == lvFiles) {
        lvFilesDblClick();
        return true;
      }
      if (watched == edDir) {
        edDirKeyPress();
        return true;
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

void FileBrowser::OnTransferProgress(int64_t position, int64_t total) {
  // The bar counts in an int; large transfers are shown in thousandths.
  const bool scaled = total > INT_MAX;
  pbFile->setVisible(true);
  pbFile->setMaximum(scaled ? 1000 : static_cast<int>(total));
  pbFile->setValue(scaled ? static_cast<int>(position * 1000 / total) : static_cast<int>(position));
  const int64_t now = TickCount();
  if (nextRepaint_ < now) {
    lblSize->setText(QStringLiteral("%1 / %2").arg(position).arg(total));
    lblSize->repaint();
    pbFile->repaint();
    nextRepaint_ = now + 100;
  }
}

void FileBrowser::OnTransferDone() {
  lblSize->clear();
  pbFile->setValue(0);
  pbFile->setVisible(false);
  nextRepaint_ = 0;
}

void FileBrowser::ShowSavedCount(int n) {
  lblCount->setText(QString::number(n));
  lblCount->setVisible(true);
  lblCount->repaint();
}

void FileBrowser::HideSavedCount() {
  lblCount->setVisible(false);
}

}  // namespace vxk
