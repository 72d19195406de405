#include "cli/DiagCommand.h"

#include "cli/CliText.h"
#include "cli/SecretFile.h"
#include "ops/DiagArchive.h"
#include "ops/LocalFiles.h"
#include "ops/RtfWriter.h"

namespace vxk {

std::vector<std::string> ParseDiagFolders(const std::string& text) {
  std::vector<std::string> folders;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string part =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (HasControlChars(part))
      throw UsageError("--folders: a folder name holds control characters");
    if (!part.empty()) folders.push_back(part);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return folders;
}

std::string ResolveZipPassword(const CliOptions& options, const char* environmentPassword) {
  if (options.password) return *options.password;
  if (!options.passwordFile.empty()) return ReadSecretFile(options.passwordFile, "password file");
  return environmentPassword ? std::string(environmentPassword) : std::string();
}

int RunDiag(CliContext& c) {
  DiagRequest request;
  request.path = c.options.zip;
  request.password = c.options.password.value_or("");
  request.folders = ParseDiagFolders(c.options.folders);
  if (request.folders.empty()) request.folders = {"/Config", "/Logs", "/Lua", "/"};
  TvxComms& link = c.session.Link();
  // The device information as the window's box shows it.
  request.info = link.Manufacturer() + "\n#" + link.SerialNumber() + "\n" + link.ProductName() +
                 " v" + link.FirmwareVersion() + " (build " + link.FirmwareBuild() + " @ " +
                 link.FirmwareDate() + ")";
  request.capabilities = link.Capabilities();
  const std::string emptyRtf = RtfWriter().Document();
  request.panes = {{"ui.terminal.txt", ""}, {"ui.terminal.rtf", emptyRtf},
                   {"ui.usb.txt", ""},      {"ui.usb.rtf", emptyRtf},
                   {"ui.modem.txt", ""},    {"ui.modem.rtf", emptyRtf}};
  DiagArchive archive(c.session.Terminal(), c.session.Files());
  OpContext context = c.Context();
  context.step = [&c](const std::string& line) { c.Note(ShownText(line)); };
  const DiagResult result = archive.Save(request, context);
  for (const std::string& name : result.skipped) c.Note("not stored: " + ShownText(name));
  if (result.result.reason == Reason::Cancelled) return kExitInterrupted;
  if (!result.result)
    return c.Fail("no archive written: " + ShownText(DescribeResult(result.result)));
  c.Note(std::to_string(result.files) + " device files stored in " + request.path);
  return kExitOk;
}

}  // namespace vxk
