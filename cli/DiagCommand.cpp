#include "cli/DiagCommand.h"

#include "cli/CliText.h"
#include "cli/DevicePaths.h"
#include "cli/JsonObject.h"
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
    if (!part.empty()) folders.push_back(DevicePathArg(part));
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

void PrepareDiag(CliOptions& options, const char* environmentPassword) {
  if (options.command != "diag") return;
  ParseDiagFolders(options.folders);
  options.password = ResolveZipPassword(options, environmentPassword);
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
  for (const std::string& folder : result.unlisted)
    c.err << "vxkctl: warning: the device could not list " << ShownText(folder)
          << " (no such folder?)\n";
  if (result.result.reason == Reason::Cancelled) return c.Interrupted();
  if (!result.result)
    return c.Fail("no archive written: " + ShownText(DescribeResult(result.result)), result.result);
  c.Note(std::to_string(result.files) + " device files stored in " + request.path);
  if (c.options.json) {
    std::vector<std::string> skipped, missing;
    for (const std::string& name : result.skipped) skipped.push_back(JsonString(name));
    for (const std::string& folder : result.unlisted) missing.push_back(JsonString(folder));
    c.out << JsonObject()
                 .Local("zip", request.path)
                 .Number("files", result.files)
                 .Raw("skipped", JsonArray(skipped))
                 .Raw("missing_folders", JsonArray(missing))
                 .Text()
          << "\n";
  }
  return kExitOk;
}

}  // namespace vxk
