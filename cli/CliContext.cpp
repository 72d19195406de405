#include "cli/CliContext.h"

#include "cli/CliProgress.h"
#include "cli/CliText.h"
#include "cli/JsonObject.h"

namespace vxk {

std::string FailureJson(const CliFailure& failure) {
  JsonObject json;
  json.Local("error", failure.message).Local("reason", failure.reason);
  if (failure.status.empty()) {
    json.Null("status");
  } else {
    json.Device("status", failure.status);
  }
  return json.Text();
}

int CliContext::FailWith(const std::string& text, const std::string& reasonCode,
                         const std::string& deviceStatus) const {
  failure = {reasonCode, deviceStatus, text};
  err << "vxkctl: " << TerminalText(text) << "\n";
  if (options.json) out << FailureJson(failure) << "\n";
  return ExitStatusOfCode(reasonCode);
}

int CliContext::Fail(const std::string& text) const {
  return FailWith(text, code::kFailed);
}

int CliContext::Fail(const std::string& text, const OpResult& why) const {
  return FailWith(text, ReasonCode(why.reason), why.reason == Reason::Refused ? why.detail : "");
}

int CliContext::Usage(const std::string& text) const {
  return FailWith(text, code::kUsage);
}

int CliContext::Interrupted() const {
  return FailWith("interrupted", code::kInterrupted);
}

OpContext CliContext::Context(CliProgress* progress) const {
  OpContext context;
  if (progress)
    context.progress = [progress](int64_t done, int64_t total) { progress->Update(done, total); };
  context.cancel = &cancel;
  return context;
}

void CliContext::Note(const std::string& text) const {
  if (!options.quiet) err << TerminalText(text) << "\n";
}

}  // namespace vxk
