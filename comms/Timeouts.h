#pragma once

namespace vxk {

// Every wait of the device exchanges in one table, in milliseconds (counts say so). The
// values are the protocol's; a front end may lengthen them for slow links, and tests shrink
// them through Scaled instead of waiting for real time-outs. The terminal engine carries the
// table (TvxTerminal::Waits), so the file layer and the operations all read the same one.
struct Timeouts {
  // Terminal engine.
  int sendLockMs = 5000;      // Send waits this long for the terminal lock
  int writeMs = 200;          // one write to the link
  int clearLockMs = 1000;     // ClearInput
  int promptLockMs = 1000;    // PromptContains
  int promptDrainMs = 2000;   // PromptContains first drains a chatty device this long at most
  int promptAnswerMs = 2000;  // then waits this long at most for the prompt ESC brings
  int promptByteMs = 50;      // the idle wait of those reads
  int readTotalMinMs = 1000;  // a read's total bound is at least this (else 10 x its idle wait)

  // File commands.
  int fileLockMs = 1000;
  int discardByteMs = 20;     // stale input is dropped until quiet this long ...
  int discardTotalMs = 2000;  // ... or for this long at most
  int promptSlackMs = 250;    // added to the round-trip time for the prompt after ESC
  int listLineMs = 1000;      // each line of a listing
  int makeDirMs = 2000;
  int wipeDirMs = 20000;
  int deleteMs = 20000;
  int renameMs = 1000;
  int readHeaderMs = 8000;       // the header of a file being read
  int readBlockMs = 2000;        // each block of its data
  int readEndMs = 1000;          // the end of its reply after the data (at least)
  int goAheadMs = 8000;          // "Send file" of an upload or firmware load
  int closingStatusMs = 8000;    // the device's status once it has the data
  int finishMs = 100;            // the prompt that closes an exchange
  int drainIdleMs = 500;         // a stopped read: the longest pause in its unread rest ...
  int drainTotalMs = 3000;       // ... and the longest it is dropped for
  int abandonedWriteMs = 10000;  // a device waiting for the rest of an upload gives up by then

  // LCD.
  int lcdLockMs = 1000;
  int flushByteMs = 20;
  int flushTotalMs = 1000;
  int lcdHeaderMs = 10000;
  int lcdPixelsMs = 10000;
  int lcdPromptMs = 100;
  int keyBeforeMs = 50;
  int keyAfterMs = 150;

  // Clock.
  int timeLockMs = 1000;
  int timeReplyMs = 500;
  int timePromptMs = 10;
  int timeSetReplyMs = 2000;
  int timeSetPromptMs = 50;

  // Diagnostics report.
  int diagLockMs = 5000;
  int reportReplyMs = 5000;
  int reportPromptMs = 50;

  // Firmware through the boot loader.
  int bootWaitMs = 2000;
  int bootAttempts = 15;  // a count
  int bootAttemptMs = 1000;
  int loadStageMs = 1000;
  int verifyStageMs = 7000;
  int burnStageMs = 15000;
  int stageLimitFactor = 4;  // a count: a stage is waited for at most this many times its time

  // Connection header of a TCP device.
  int headerDeadlineMs = 10000;  // plus the round-trip time, for the whole header
  int headerWriteMs = 10;        // "BYE!" and the tool's proof

  // This table with every wait multiplied by factor, but none below floorMs (or 1 ms) unless it
  // was shorter already; counts stay. A floor keeps the short waits that tell a quiet link from
  // a busy one (20 ms) as they are.
  Timeouts Scaled(double factor, int floorMs = 1) const;
};

}  // namespace vxk
