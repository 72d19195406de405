#include "ui/ToolSettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <utility>

namespace vxk {
namespace {

int ReadInt(const QSettings& store, const QString& name) {
  if (!store.contains(name)) return -1;
  bool ok = false;
  const int value = store.value(name).toString().toInt(&ok);
  return ok ? value : -1;
}

QString ReadText(const QSettings& store, const QString& name, const QString& fallback) {
  return store.contains(name) ? store.value(name).toString() : fallback;
}

Placement ReadPlacement(const QSettings& store, const QString& prefix) {
  return {ReadInt(store, prefix + 'X'), ReadInt(store, prefix + 'Y'), ReadInt(store, prefix + 'W'),
          ReadInt(store, prefix + 'H')};
}

void WritePlacement(QSettings& store, const QString& prefix, const Placement& p) {
  store.setValue(prefix + 'X', p.x);
  store.setValue(prefix + 'Y', p.y);
  store.setValue(prefix + 'W', p.w);
  store.setValue(prefix + 'H', p.h);
}

constexpr char kRecentGroup[] = "RecentConnections";

// How a link kind is written in the settings file.
const std::pair<ConnectTarget::Link, const char*> kLinkNames[] = {
    {ConnectTarget::Link::Usb, "usb"},
    {ConnectTarget::Link::Serial, "serial"},
    {ConnectTarget::Link::Listen, "tcp"}};

QString WithoutTrailingSlash(QString path) {
  if (path.size() > 1 && path.endsWith('/')) path.chop(1);
  return path;
}

}  // namespace

QString ToolSettings::FilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Corvane Electronics/vxkTool.conf");
}

QString ToolSettings::DefaultFolder() {
  QString home = QDir::homePath();
  if (!home.endsWith('/')) home += '/';
  return home;
}

StoredSettings ToolSettings::Load() {
  const QSettings store(FilePath(), QSettings::IniFormat);
  StoredSettings s;
  s.openDir = ReadText(store, QStringLiteral("OpenDir"), DefaultFolder());
  s.saveToDir = WithoutTrailingSlash(ReadText(store, QStringLiteral("SaveToDir"), DefaultFolder()));
  s.dir = ReadText(store, QStringLiteral("Dir"), QStringLiteral("/"));
  s.diagDir = ReadText(store, QStringLiteral("DiagDir"), DefaultFolder());
  s.main = ReadPlacement(store, QStringLiteral("Main"));
  s.log = ReadPlacement(store, QStringLiteral("Log"));
  return s;
}

int ToolSettings::ServerChildLimit(int fallback) {
  const QSettings store(FilePath(), QSettings::IniFormat);
  const int limit = ReadInt(store, QStringLiteral("ServerChildLimit"));
  return limit >= 1 ? limit : fallback;
}

std::vector<ConnectTarget> ToolSettings::RecentConnections() {
  QSettings store(FilePath(), QSettings::IniFormat);
  std::vector<ConnectTarget> recent;
  const int count = store.beginReadArray(QLatin1String(kRecentGroup));
  for (int i = 0; i < count && recent.size() < kRecentConnections; ++i) {
    store.setArrayIndex(i);
    const QString link = store.value(QStringLiteral("Link")).toString();
    ConnectTarget t;
    bool known = false;
    for (const auto& [kind, name] : kLinkNames) {
      if (link == QLatin1String(name)) {
        t.link = kind;
        known = true;
      }
    }
    t.port = store.value(QStringLiteral("Port")).toString().toStdString();
    t.roundTripMs = std::max(0, store.value(QStringLiteral("Rtt")).toInt());
    // What an older or a hand-edited file holds that cannot be started is left out.
    if (known && TargetProblem(t).empty()) recent.push_back(t);
  }
  store.endArray();
  return recent;
}

void ToolSettings::SaveRecentConnections(const std::vector<ConnectTarget>& recent) {
  QSettings store(FilePath(), QSettings::IniFormat);
  store.remove(QLatin1String(kRecentGroup));
  store.beginWriteArray(QLatin1String(kRecentGroup));
  for (size_t i = 0; i < recent.size() && i < kRecentConnections; ++i) {
    store.setArrayIndex(static_cast<int>(i));
    for (const auto& [kind, name] : kLinkNames) {
      if (recent[i].link == kind) store.setValue(QStringLiteral("Link"), QLatin1String(name));
    }
    store.setValue(QStringLiteral("Port"), QString::fromStdString(recent[i].port));
    store.setValue(QStringLiteral("Rtt"), recent[i].roundTripMs);
  }
  store.endArray();
  store.sync();
}

void ToolSettings::Save(const StoredSettings& s) {
  QSettings store(FilePath(), QSettings::IniFormat);
  store.setValue(QStringLiteral("OpenDir"), s.openDir);
  store.setValue(QStringLiteral("SaveToDir"), s.saveToDir);
  store.setValue(QStringLiteral("Dir"), s.dir);
  store.setValue(QStringLiteral("DiagDir"), s.diagDir);
  WritePlacement(store, QStringLiteral("Main"), s.main);
  WritePlacement(store, QStringLiteral("Log"), s.log);
  store.sync();
}

}  // namespace vxk
