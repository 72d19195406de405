// How fast log records go into the log window's panes: tags, stamps, colours, the modem pane
// and the per-poll trimming, with the repaint the event loop does between polls.
#ifdef VXK_BENCH_GUI

#include <QCheckBox>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <random>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "session/SessionSettings.h"
#include "sim/FakeHidBackend.h"
#include "sim/ScratchLock.h"
#include "ui/RichEditUtils.h"
#include "ui/UiRunner.h"
#include "ui/ufmLog.h"

namespace vxk {

void LogRecordsBench() {
  FakeHidBackend hid;  // no device: the filter writes go nowhere
  ScratchLock lock;
  UiRunner runner(SessionSettings{}, hid, lock.Lock());
  QPlainTextEdit terminal;
  TfmLog log(runner, &terminal);
  log.show();
  log.cbModemRxTx->click();
  QCoreApplication::processEvents();

  // A device's mix: mostly tagged events of 20 to 60 bytes, a quarter modem traffic.
  std::mt19937 random(11);
  const int types[] = {4, 8, 12, 16, 17, 7, 5, 6};
  std::vector<std::string> records;
  for (int i = 0; i < 4096; ++i) {
    std::string r(1, static_cast<char>(types[random() % 8]));
    const int length = 20 + static_cast<int>(random() % 41);
    for (int j = 0; j < length; ++j) r += static_cast<char>(' ' + random() % 95);
    if (r[0] == 5) r += "\r\n";
    records.push_back(r);
  }

  const size_t total = 200000;
  const size_t perPoll = 250;  // a quarter second of a full-speed link
  const double s = Seconds([&] {
    for (size_t at = 0; at < total; at += perPoll) {
      for (size_t i = at; i < at + perPoll; ++i) log.AddRecord(records[i % records.size()]);
      log.FinishBatch();
      QCoreApplication::processEvents();
    }
  });
  if (TextLength(log.reLog) > TfmLog::kLogLimit) Fail("log pane cap not kept");
  if (TextLength(log.reModem) > TfmLog::kModemLimit) Fail("modem pane cap not kept");
  if (TextLength(log.reLog) < TfmLog::kLogLimit / 2) Fail("log pane lost its text");
  Report("log.records_per_s", total / s, "records/s");
}

}  // namespace vxk

#endif  // VXK_BENCH_GUI
