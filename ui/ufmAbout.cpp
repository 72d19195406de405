#include "ui/ufmAbout.h"

#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/DeviceText.h"

namespace vxk {
namespace {

// The maker's logo, 200 x 33 on a transparent ground.
QPixmap Logo() {
  QPixmap logo(200, 33);
  logo.fill(Qt::transparent);
  QPainter painter(&logo);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(0, 84, 147));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(QRect(2, 3, 27, 27));
  QFont font;
  font.setPixelSize(20);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(QColor(0, 84, 147));
  painter.drawText(QRect(36, 0, 164, 33), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("CORVANE"));
  return logo;
}

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name, const QString& accessible) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(QString::fromLatin1(name));
  memo->setReadOnly(true);
  memo->setFrameShape(QFrame::NoFrame);
  memo->setAccessibleName(accessible);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QPalette palette = memo->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  memo->setPalette(palette);
  return memo;
}

}  // namespace

TfmAbout::TfmAbout(QWidget* parent, const QString& programPath)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("fmAbout"));
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(322, 260);
  FormCreate(programPath);
}

TfmAbout::~TfmAbout() = default;

void TfmAbout::FormCreate(const QString& programPath) {
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Image1 = new QLabel(panel);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setPixmap(Logo());
  Image1->setFixedSize(200, 33);
  Image1->setAccessibleName(QStringLiteral("Corvane Electronics logo"));
  memVersion = MakeMemo(panel, "memVersion", QStringLiteral("Version"));
  Memo1 = MakeMemo(panel, "Memo1", QStringLiteral("Contact"));
  Memo1->setTabStopDistance(QFontMetricsF(Memo1->font()).horizontalAdvance(QLatin1Char('x')) * 8);
  Memo1->setFixedHeight(QFontMetrics(Memo1->font()).lineSpacing() * 2 + 12);

  auto* inner = new QVBoxLayout(panel);
  inner->addWidget(Image1, 0, Qt::AlignHCenter);
  inner->addWidget(memVersion, 1);
  inner->addWidget(Memo1);

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setAccessibleName(QStringLiteral("OK"));
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* column = new QVBoxLayout(this);
  column->addWidget(panel, 1);
  column->addWidget(OKButton, 0, Qt::AlignHCenter);
  setTabOrder(OKButton, memVersion);
  setTabOrder(memVersion, Memo1);

  const QString path =
      programPath.isEmpty() ? QCoreApplication::applicationFilePath() : programPath;
  reader_ = std::make_unique<TVersionReader>(QFile::encodeName(path).toStdString());
  memVersion->clear();
  for (const std::string& line : {reader_->FDescription, reader_->FVersion, reader_->FDate,
                                  std::string(), reader_->FCopyright})
    memVersion->appendPlainText(FromDevice(line));
  Memo1->setPlainText(
      QStringLiteral("Web:\t%1\nEmail:\t%2").arg(QLatin1String(kWeb), QLatin1String(kEmail)));
}

void TfmAbout::reject() {
  accept();  // Escape closes the box with the result of OK
}

void TfmAbout::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  OKButton->setFocus();
}

}  // namespace vxk
