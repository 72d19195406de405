#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "FileAccess/ConversionError.h"
#include "FileAccess/DateTime.h"
#include "ops/DiagArchive.h"
#include "sim/HidRig.h"

using namespace vxk;
namespace fs = std::filesystem;

namespace {

// Reads an archive back with Python's zipfile, which shares no code with libzip: one line per
// entry, "name-hex flags system attributes method yyyy-mm-dd-hh:nn:ss content-hex", then
// "zip64 0|1".
constexpr const char* kReader = R"(import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
if len(sys.argv) > 2: z.setpassword(os.fsencode(sys.argv[2]))
for i in z.infolist():
    raw = i.orig_filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')
    print(raw.hex() or '-', i.flag_bits, i.create_system, i.external_attr, i.compress_type,
          '%04d-%02d-%02d-%02d:%02d:%02d' % i.date_time, z.read(i).hex() or '-')
print('zip64', int(b'PK\x06\x06' in open(sys.argv[1], 'rb').read()))
)";

struct Entry {
  std::string name;
  int flags = 0, system = -1;
  unsigned attributes = 0;
  int method = 0;
  std::string time, content;
};

std::string Unhex(const std::string& hex) {
  std::string out;
  if (hex == "-") return out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

class Diag : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/vxkdiag.XXXXXX";
    dir = ::mkdtemp(name);
    std::ofstream(dir + "/reader.py") << kReader;
    path = dir + "/out.zip";
    rig.link.SetRoundTripTime(20);
    rig.link.SetExtraTime(20);
    ASSERT_TRUE(rig.link.Open());
    terminal = std::make_unique<TvxTerminal>(rig.link);
    files = std::make_unique<TvxkFiles>(*terminal);
    files->QuoteNames = true;
  }
  void TearDown() override { fs::remove_all(dir); }

  DiagRequest Request(std::vector<std::string> folders, std::string password = "") {
    DiagRequest r;
    r.path = path;
    r.password = std::move(password);
    r.info = "Corvane\n#A1234";
    r.capabilities = ".nfi.uft.";
    r.folders = std::move(folders);
    for (const char* n : {"ui.terminal.txt", "ui.terminal.rtf", "ui.usb.txt", "ui.usb.rtf",
                          "ui.modem.txt", "ui.modem.rtf"})
      r.panes.emplace_back(n, std::string("pane ") + n);
    return r;
  }
  DiagResult Save(const DiagRequest& r, const std::atomic<bool>* cancel = nullptr) {
    DiagArchive archive(*terminal, *files);
    OpContext context;
    context.step = [this](const std::string& s) { steps.push_back(s); };
    context.cancel = cancel;
    return archive.Save(r, context);
  }
  std::vector<Entry> Read(const std::string& password = "", std::string* zip64 = nullptr) {
    std::istringstream out(
        Shell("python3 " + dir + "/reader.py " + path + (password.empty() ? "" : " " + password)));
    std::vector<Entry> entries;
    std::string name;
    while (out >> name) {
      if (name == "zip64") {
        std::string v;
        out >> v;
        if (zip64) *zip64 = v;
        break;
      }
      Entry e;
      std::string content;
      out >> e.flags >> e.system >> e.attributes >> e.method >> e.time >> content;
      e.name = Unhex(name);
      e.content = Unhex(content);
      entries.push_back(e);
    }
    return entries;
  }
  void Device(const std::function<void(SimDevice&)>& fn) {
    rig.backend.WithDevice([&](VirtualDevice&) { fn(rig.sim); });
  }

  HidRig rig;
  std::unique_ptr<TvxTerminal> terminal;
  std::unique_ptr<TvxkFiles> files;
  std::string dir, path;
  std::vector<std::string> steps;
};

TEST(DiagNames, FileNamePathsAndEntryNames) {
  const TDateTime t = EncodeDateTime(2024, 5, 1, 13, 45, 1, 0);
  EXPECT_EQ(DiagArchiveName("A1234", t), "vx.keeper.A1234.2024-05-01-134501.zip");
  EXPECT_EQ(DiagArchiveName("", t), "vx.keeper..2024-05-01-134501.zip");
  EXPECT_EQ(DiagArchiveName("../a\\b\r", t), "vx.keeper..._a_b_.2024-05-01-134501.zip");
  const std::map<std::pair<std::string, std::string>, std::string> joins = {
      {{"/", "a.cfg"}, "/a.cfg"},
      {{"/Config", "a.cfg"}, "/Config/a.cfg"},
      {{"", "/a"}, "a"},
      {{"/Config/", "/a"}, "/Config/a"},
      {{"/Config", "//a"}, "/Config//a"}};
  for (const auto& [in, out] : joins) EXPECT_EQ(JoinPath(in.first, in.second), out);
  for (const char* bad : {"", ".", "..", "a/b", "a\\b", "/"}) EXPECT_FALSE(SafeEntryName(bad));
  EXPECT_FALSE(SafeEntryName(std::string("a\0b", 3)));
  for (const char* good : {"...", "a..b", "caf\xE9.cfg"}) EXPECT_TRUE(SafeEntryName(good));
  EXPECT_EQ(CrLfLines("a\nb\r\nc\rd\r"), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(EntryTime(0), 0u);
}

TEST_F(Diag, PasswordArchiveHoldsTheEntriesInOrderAsDosEntries) {
  Device([](SimDevice& s) {
    s.Files().Files().WriteFile(
        "/Config/dated.cfg", "d",
        (44u << 25) | (5u << 21) | (1u << 16) | (13u << 11) | (45u << 5) | 0);
  });
  const DiagResult r = Save(Request({"/Config", "/Store", "/Send", "/"},
                                    "s\xE9"
                                    "cret"));
  EXPECT_TRUE(r.result.ok());
  std::string zip64;
  const std::vector<Entry> e = Read(
      "s\xE9"
      "cret",
      &zip64);
  std::vector<std::string> names;
  for (const Entry& x : e) names.push_back(x.name);
  const std::vector<std::string> expected = {"ui.info.txt",
                                             "ui.c&i.txt",
                                             "vx.keeper//Config/channels.cfg",
                                             "vx.keeper//Config/dated.cfg",
                                             "vx.keeper//Config/settings.cfg",
                                             "vx.keeper//Store/Messung-\xE9t\xE9.dat",
                                             "vx.keeper//Send/queue.dat",
                                             "vx.keeper//readme.txt",
                                             "ui.terminal.txt",
                                             "ui.terminal.rtf",
                                             "ui.usb.txt",
                                             "ui.usb.rtf",
                                             "ui.modem.txt",
                                             "ui.modem.rtf"};
  ASSERT_EQ(names, expected);
  EXPECT_EQ(zip64, "0");
  for (size_t i = 0; i < e.size(); ++i) {
    SCOPED_TRACE(e[i].name);
    EXPECT_EQ(e[i].flags & 1, i == 0 ? 0 : 1);  // only ui.info.txt is readable without it
    EXPECT_EQ(e[i].flags & 0x800, 0);           // no UTF-8 flag
    EXPECT_EQ(e[i].system, 0);                  // made on DOS
    EXPECT_EQ(e[i].method, 8);
    const bool device = i == 1 || (i >= 2 && i <= 7);
    EXPECT_EQ(e[i].attributes, device ? 0u : 0x20u);
  }
  EXPECT_EQ(e[0].content, "Corvane\r\n#A1234\r\n.nfi.uft.");
  EXPECT_GT(e[1].content.size(), 2000u);
  EXPECT_NE(e[1].content.find("\xB0"
                              "C\r\n"),
            std::string::npos);
  EXPECT_EQ(e[3].time, "2024-05-01-13:45:00");
  EXPECT_EQ(e[5].content, std::string("\x00\x01\xFE\xFF", 4));
  // A file without a time gets the time of the save.
  int year, month, day, h, m, s, ms;
  DecodeDateTime(TimeToLocalDateTime(std::time(nullptr)), year, month, day, h, m, s, ms);
  EXPECT_EQ(e[6].time.substr(0, 4), std::to_string(year));
  EXPECT_EQ(e[13].content, "pane ui.modem.rtf");
  EXPECT_EQ(steps.front(), "Create ZIP");
  EXPECT_EQ(steps[1], "Config & Information");
  EXPECT_EQ(steps[2], "Get /Config/channels.cfg");
  EXPECT_EQ(std::vector<std::string>(steps.end() - 3, steps.end()),
            (std::vector<std::string>{"Get /readme.txt", "UI Elements", "Finish ZIP"}));
  // Debian's unzip opens it with the password, and not without.
  EXPECT_EQ(
      std::system(
          ("unzip -qq -t -P \"$(printf 's\\351cret')\" " + path + " >/dev/null 2>&1").c_str()),
      0);
  EXPECT_NE(std::system(("unzip -qq -t -P wrong " + path + " >/dev/null 2>&1").c_str()), 0);
}

TEST_F(Diag, NoFoldersGiveTheEightToolEntriesAndReplaceAnOlderFile) {
  std::ofstream(path) << "not an archive at all";
  Save(Request({}));
  const std::vector<Entry> e = Read();
  ASSERT_EQ(e.size(), 8u);
  for (const Entry& x : e) {
    EXPECT_EQ(x.name.rfind("ui.", 0), 0u);
    EXPECT_EQ(x.flags & 1, 0);
  }
}

TEST_F(Diag, HostileAndDuplicateNamesAreLeftOut) {
  Device([](SimDevice& s) {
    s.Files().Faults().extraListing = {"..\t3\t32\t0\t0\t0",  "../x\t3\t32\t0\t0\t0",
                                       "a/b\t3\t32\t0\t0\t0", "a\\b\t3\t32\t0\t0\t0",
                                       "\t3\t32\t0\t0\t0",    "readme.txt\t3\t32\t0\t0\t0"};
  });
  const DiagResult r = Save(Request({"/"}));
  EXPECT_EQ(r.files, 1);
  EXPECT_EQ(r.skipped.size(), 5u);
  std::vector<std::string> device;
  for (const Entry& x : Read())
    if (x.name.rfind("vx.keeper/", 0) == 0) device.push_back(x.name);
  EXPECT_EQ(device, std::vector<std::string>{"vx.keeper//readme.txt"});
}

TEST_F(Diag, FailureOrCancelKeepsTheOlderFile) {
  std::ofstream(path) << "old";
  Device([](SimDevice& s) { s.Files().Faults().extraListing = {"bad\tx\t32\t0\t0\t0"}; });
  EXPECT_EQ(Save(Request({"/"})).result.reason, Reason::BadReply);
  std::atomic<bool> cancel{true};
  EXPECT_EQ(Save(Request({}), &cancel).result.reason, Reason::Cancelled);
  std::ifstream in(path);
  std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(kept, "old");
  EXPECT_EQ(fs::directory_iterator(dir) != fs::directory_iterator(), true);
  for (const auto& f : fs::directory_iterator(dir))
    EXPECT_TRUE(f.path().filename() == "out.zip" || f.path().filename() == "reader.py") << f.path();
}

TEST_F(Diag, ClosedLinkStillGivesAnArchive) {
  rig.link.Close();
  const DiagResult r = Save(Request({"/Config", "/"}));
  EXPECT_EQ(r.files, 0);
  const std::vector<Entry> e = Read();
  ASSERT_EQ(e.size(), 8u);
  EXPECT_EQ(e[1].name, "ui.c&i.txt");
  EXPECT_EQ(e[1].content, "");
}

}  // namespace
