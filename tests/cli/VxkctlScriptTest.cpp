// vxkctl for scripts: one batch over one connection covers the command-line basics, each line
// checked against its JSON result; then standard input and output, link failures and the
// batch file's own rules.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

#include "CliRig.h"
#include "comms/Ticks.h"

using namespace vxk;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The JSON lines of a batch run with --json, by line number.
std::map<int, Json> StepsByLine(const std::string& out) {
  std::map<int, Json> steps;
  size_t start = 0;
  for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    const Json step = ParseJson(out.substr(start, end - start));
    steps[static_cast<int>(step["line"].number)] = step;
  }
  return steps;
}

class VxkctlScript : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path root(rig.root.path);
    WriteFile(root / "Logs" / "a.log", "alpha");
    WriteFile(root / "Logs" / "b.log", "bravo");
    WriteFile(root / "Logs" / "c.txt", "charlie");
    // The device's own name is Windows-1252.
    WriteFile(root / "Store" / "Messung-\xE9t\xE9.dat", std::string("\x00\x01\xFE", 3));
  }
  fs::path L(const std::string& rel = "") const { return fs::path(local.path) / rel; }
  CliRig rig;
  TempDir local;
};

TEST_F(VxkctlScript, BasicsInOneBatch) {
  fs::create_directories(L("pat"));
  fs::create_directories(L("two"));
  using Check = std::function<void(const Json& result)>;
  struct Case {
    std::string line;
    int exit;
    Check check;
  };
  const auto reason = [](const char* code, const char* status) -> Check {
    return [=](const Json& r) {
      EXPECT_EQ(r["reason"].text, code);
      if (status) {
        EXPECT_EQ(r["status"].text, status);
      }
    };
  };
  const std::vector<Case> cases = {
      {"ls /Logs/a.log", 0,
       [](const Json& r) {
         ASSERT_EQ(r.items.size(), 1u);
         EXPECT_EQ(r.items[0]["name"].text, "a.log");
       }},
      {"get '/Logs/*.LOG' " + L("pat").string() + "/", 0,
       [&](const Json& r) {
         EXPECT_EQ(r["saved"].number, 2);
         EXPECT_EQ(ReadAll(L("pat/b.log")), "bravo");
         EXPECT_FALSE(fs::exists(L("pat/c.txt")));
       }},
      {"get /Logs/a.log /Logs/c.txt " + L("two").string(), 0,
       [&](const Json& r) {
         EXPECT_EQ(r["items"].items.size(), 2u);
         EXPECT_EQ(ReadAll(L("two/c.txt")), "charlie");
       }},
      {"get /Store/Messung-\xC3\xA9t\xC3\xA9.dat " + L().string(), 0,
       [&](const Json&) {
         EXPECT_EQ(ReadAll(L("Messung-\xC3\xA9t\xC3\xA9.dat")), std::string("\x00\x01\xFE", 3));
       }},
      {"get /Logs/a.log " + L("missing/a.log").string(), 1,
       [&](const Json& r) {
         EXPECT_EQ(r["reason"].text, "local_error");
         EXPECT_FALSE(fs::exists(L("missing")));
       }},
      {"get -p /Logs/a.log " + L("made/a.log").string(), 0,
       [&](const Json&) { EXPECT_EQ(ReadAll(L("made/a.log")), "alpha"); }},
      {"get /Logs/nothing.log", 1, reason("not_found", nullptr)},
      {"exec echo hello   world", 0,
       [](const Json& r) { EXPECT_NE(r["reply"].text.find("hello world"), std::string::npos); }},
      {"exec frobnicate now", 1, reason("refused", "Unknown command: frobnicate now")},
      {"rm /Nope", 1, reason("refused", "2:File not found")},
      {"mkdir /M1 /M2", 0,
       [&](const Json& r) {
         EXPECT_EQ(r["made"].items.size(), 2u);
         EXPECT_TRUE(fs::is_directory(fs::path(rig.root.path) / "M2"));
       }},
      {"mv /M1 N1", 0, [](const Json& r) { EXPECT_EQ(r["to"].text, "/N1"); }},
      {"lcd --png=" + L("nodir/x.png").string(), 1, reason("local_error", nullptr)},
      {"lcd --png=" + L("lcd.png").string(), 0,
       [&](const Json& r) {
         // The picture's own size, bezel included, as its IHDR says.
         EXPECT_EQ(r["width"].number, 280);
         EXPECT_EQ(r["height"].number, 152);
         EXPECT_EQ(ReadAll(L("lcd.png")).substr(16, 8), std::string("\0\0\1\x18\0\0\0\x98", 8));
       }},
      {"diag --zip=" + L("d.zip").string() + " --folders=/Nope,/Logs", 0,
       [](const Json& r) {
         ASSERT_EQ(r["missing_folders"].items.size(), 1u);
         EXPECT_EQ(r["missing_folders"].items[0].text, "/Nope");
       }},
      {"time", 0,
       [](const Json& r) {
         EXPECT_TRUE(std::regex_match(r["device_time"].text,
                                      std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
             << r["device_time"].text;
         EXPECT_LT(std::abs(r["difference_s"].number), 5);
       }},
      {"info", 0, [](const Json& r) { EXPECT_EQ(r["serial"].text, "777"); }},
      {"cat /Logs/a.log /Logs/b.log", 0,
       [](const Json& r) { EXPECT_EQ(r["files"].items.at(1)["content"].text, "bravo"); }},
      {"rm '/Logs/*.log'", 0,
       [&](const Json& r) {
         EXPECT_EQ(r["removed"].items.size(), 2u);
         EXPECT_TRUE(fs::exists(fs::path(rig.root.path) / "Logs" / "c.txt"));
       }},
  };
  std::string script = "# every line is one command\n\n";
  for (const Case& c : cases) script += c.line + "\n";
  const fs::path file = L("script.vxk");
  WriteFile(file, script);
  const CtlResult r =
      rig.Run({"batch", "--json", "--keep-going", file.string()}, {"--serial", "777"});
  EXPECT_EQ(r.status, 1) << r.err;  // the first failure's
  const std::map<int, Json> steps = StepsByLine(r.out);
  ASSERT_EQ(steps.size(), cases.size()) << r.out << r.err;
  for (size_t i = 0; i < cases.size(); ++i) {
    const Json& step = steps.at(static_cast<int>(i) + 3);
    SCOPED_TRACE(cases[i].line);
    EXPECT_EQ(step["command"].text, cases[i].line);
    EXPECT_EQ(step["exit"].number, cases[i].exit) << r.err;
    cases[i].check(step["result"]);
  }
  // What get, mkdir, mv and rm did, on standard error.
  for (const char* note :
       {"/Logs/b.log -> ", "made folder /M2", "renamed /M1 -> /N1", "removed /Logs/b.log"})
    EXPECT_NE(r.err.find(note), std::string::npos) << note << "\n" << r.err;
}

TEST_F(VxkctlScript, BatchStopsAtTheFirstFailure) {
  WriteFile(L("b.vxk"), "mkdir /B1\nrm /Nope   # fails\nmkdir /B2\n");
  const CtlResult r = rig.Run({"batch", "--json", "-q", L("b.vxk").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(StepsByLine(r.out).size(), 2u) << r.out;
  EXPECT_TRUE(fs::is_directory(fs::path(rig.root.path) / "B1"));
  EXPECT_FALSE(fs::exists(fs::path(rig.root.path) / "B2"));
  // -q keeps the notes back, not the failure.
  EXPECT_EQ(r.err, "vxkctl: cannot delete /Nope: 2:File not found\n");
}

// "-" is standard input or output; messages stay on standard error.
TEST_F(VxkctlScript, StandardStreams) {
  const CtlResult got = rig.Run({"get", "/Logs/a.log", "-"});
  EXPECT_EQ(got.status, 0) << got.err;
  EXPECT_EQ(got.out, "alpha");
  const CtlResult put = rig.Run({"put", "-", "/Logs/in.txt"}, {}, "k", "k", std::string("piped\n"));
  EXPECT_EQ(put.status, 0) << put.err;
  EXPECT_EQ(ReadAll(fs::path(rig.root.path) / "Logs" / "in.txt"), "piped\n");
  const CtlResult lcd = rig.Run({"-q", "lcd", "--png=-"});
  EXPECT_EQ(lcd.status, 0) << lcd.err;
  EXPECT_EQ(lcd.out.substr(0, 8), "\x89PNG\r\n\x1a\n");
  WriteFile(L("in.vxk"), "ls /Logs\nls /Store\n");
  const CtlResult batch = rig.Run({"batch", "-"}, {}, "k", "k", ReadAll(L("in.vxk")));
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_NE(batch.out.find("c.txt"), std::string::npos);
}

TEST_F(VxkctlScript, LinkFailuresExitThree) {
  const CtlResult noKey = rig.Run({"ls"}, {}, "", "k");
  EXPECT_EQ(noKey.status, 3);
  EXPECT_NE(noKey.err.find("no key was given"), std::string::npos) << noKey.err;
  EXPECT_EQ(noKey.err.find("wrong key?"), std::string::npos);

  // A serial port with nothing on its other end: no identity, and nobody answers.
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  CtlProcess silent;
  ASSERT_TRUE(silent.Start({"--com=" + std::string(ptsname(master)), "info"}, rig.Env()));
  EXPECT_EQ(silent.Wait(20000), 3) << silent.err;
  EXPECT_NE(silent.err.find("no device answers"), std::string::npos) << silent.err;
  ::close(master);

  const std::string pty = local.path + "/ttyVXK";
  ChildProcess sim;
  ASSERT_TRUE(sim.Start({VxksimPath(), "--pty", pty, "--root", rig.root.path}));
  const int64_t deadline = TickCount() + 10000;
  while (!fs::exists(pty) && TickCount() < deadline) SleepMs(20);
  CtlProcess info;
  ASSERT_TRUE(info.Start({"--com=" + pty, "info", "--json"}, rig.Env()));
  ASSERT_EQ(info.Wait(30000), 0) << info.err;
  const Json identity = ParseJson(info.out);
  for (const char* field : {"serial", "product", "firmware", "manufacturer"})
    EXPECT_EQ(identity[field].kind, Json::Null) << field << ": " << info.out;
}

// Mistakes of a batch or job line are found before any device is waited for.
TEST(VxkctlScriptUsage, LinesAreCheckedFirst) {
  TempDir dir;
  struct Case {
    std::string script;
    std::vector<std::string> args;  // before the file
    std::string err;
  };
  const std::vector<Case> cases = {
      {"ls\nls --bogus\n", {"batch"}, "line 2: unknown option --bogus"},
      {"ls 'open\n", {"batch"}, "line 1: a ' is not closed"},
      {"--com=1 ls\n", {"batch"}, "line 1: link options go"},
      {"shell\n", {"batch"}, "line 1: shell cannot run in a batch"},
      {"get /a out/{serail}\n", {"batch"}, "{serail} is none of"},
      {"get /a -\n", {"serve", "--results=r"}, "no standard input or output"},
      {"ls\n", {"serve", "--results=r"}, "serve needs --listen=PORT"},
  };
  for (const Case& c : cases) {
    const std::string file = dir.path + "/s.vxk";
    WriteFile(file, c.script);
    std::vector<std::string> args = c.args;
    const bool serve = args[0] == "serve";
    args.push_back(serve ? "--job=" + file : file);
    if (serve && c.err.find("--listen") == std::string::npos)
      args.insert(args.begin(), "--listen=" + FreePort());
    CtlProcess ctl;
    ASSERT_TRUE(ctl.Start(args, {"XDG_RUNTIME_DIR=" + dir.path}));
    EXPECT_EQ(ctl.Wait(10000), 2) << c.script << ctl.err;
    EXPECT_NE(ctl.err.find(c.err), std::string::npos) << c.script << ": " << ctl.err;
  }
  CtlProcess mixed;
  ASSERT_TRUE(mixed.Start({"get", "/a", "-", "--json"}, {"XDG_RUNTIME_DIR=" + dir.path}));
  EXPECT_EQ(mixed.Wait(10000), 2);
  EXPECT_EQ(ParseJson(mixed.out)["reason"].text, "usage") << mixed.out;
}

}  // namespace
