#include "comms/Timeouts.h"

#include <algorithm>
#include <cmath>

namespace vxk {

Timeouts Timeouts::Scaled(double factor, int floorMs) const {
  Timeouts t = *this;
  for (int* ms : {&t.sendLockMs,    &t.writeMs,          &t.clearLockMs,     &t.promptLockMs,
                  &t.promptDrainMs, &t.promptAnswerMs,   &t.promptByteMs,    &t.readTotalMinMs,
                  &t.fileLockMs,    &t.discardByteMs,    &t.discardTotalMs,  &t.promptSlackMs,
                  &t.listLineMs,    &t.makeDirMs,        &t.wipeDirMs,       &t.deleteMs,
                  &t.renameMs,      &t.readHeaderMs,     &t.readBlockMs,     &t.readEndMs,
                  &t.goAheadMs,     &t.closingStatusMs,  &t.finishMs,        &t.drainIdleMs,
                  &t.drainTotalMs,  &t.abandonedWriteMs, &t.lcdLockMs,       &t.flushByteMs,
                  &t.flushTotalMs,  &t.lcdHeaderMs,      &t.lcdPixelsMs,     &t.lcdPromptMs,
                  &t.keyBeforeMs,   &t.keyAfterMs,       &t.timeLockMs,      &t.timeReplyMs,
                  &t.timePromptMs,  &t.timeSetReplyMs,   &t.timeSetPromptMs, &t.diagLockMs,
                  &t.reportReplyMs, &t.reportPromptMs,   &t.bootWaitMs,      &t.bootAttemptMs,
                  &t.loadStageMs,   &t.verifyStageMs,    &t.burnStageMs,     &t.headerDeadlineMs,
                  &t.headerWriteMs}) {
    const int scaled = static_cast<int>(std::lround(*ms * factor));
    *ms = std::max({1, scaled, std::min(*ms, floorMs)});
  }
  return t;
}

}  // namespace vxk
