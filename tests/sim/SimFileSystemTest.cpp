#include "sim/SimFileSystem.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "sim/FileService.h"
#include "sim/VirtualDevice.h"

using namespace vxk;

namespace {

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

TEST(SimFileSystem, NamesIgnoreCaseAndKeepIt) {
  SimFileSystem fs;
  ASSERT_EQ(fs.MakeDirectory("/Data", 0), SimFileSystem::Result::Ok);
  EXPECT_EQ(fs.MakeDirectory("/DATA", 0), SimFileSystem::Result::Exists);
  ASSERT_EQ(fs.WriteFile("//data//Log.TXT", "x", 7), SimFileSystem::Result::Ok);
  ASSERT_NE(fs.Find("/DATA/log.txt"), nullptr);
  EXPECT_EQ(fs.Find("/data/log.txt")->name, "Log.TXT");
  EXPECT_EQ(fs.Find("/data/log.txt")->time, 7u);
  EXPECT_EQ(fs.WriteFile("/nowhere/x", "x", 0), SimFileSystem::Result::PathNotFound);
  EXPECT_EQ(fs.WriteFile("/Data/..", "x", 0), SimFileSystem::Result::Denied);
  EXPECT_EQ(fs.Delete("/Data"), SimFileSystem::Result::NotEmpty);
  EXPECT_EQ(fs.Rename("/Data/Log.TXT", "../../etc"), SimFileSystem::Result::Ok);
  EXPECT_NE(fs.Find("/Data/etc"), nullptr);  // only the last part of a new name counts
}

TEST(SimFileSystem, MirrorFolderIsLoadedAndKeptInStep) {
  char pattern[] = "/tmp/vxksim-mirror-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string root = pattern;
  ASSERT_EQ(mkdir((root + "/Config").c_str(), 0755), 0);
  std::ofstream(root + "/Config/a.cfg") << "alpha";

  SimFileSystem fs;
  ASSERT_TRUE(fs.MirrorFolder(root));
  ASSERT_NE(fs.Find("/Config/a.cfg"), nullptr);
  EXPECT_EQ(fs.Find("/Config/a.cfg")->data, "alpha");
  EXPECT_NE(fs.Find("/Config/a.cfg")->time, 0u);

  // Changes made through the device's commands reach the folder.
  FileService service(std::make_unique<SimFileSystem>());
  ASSERT_TRUE(service.Files().MirrorFolder(root));
  VirtualDevice device;
  service.Install(device);
  device.Receive(0, "NFMKDIR /Logs\r");
  device.Receive(0, "NFWRITE \"/Logs/new file.txt\"\t5\tw\rhello");
  device.Receive(0, "NFRENAME /Config/a.cfg b.cfg\r");
  device.Receive(0, "NFDEL /Config/b.cfg\r");
  EXPECT_EQ(ReadHostFile(root + "/Logs/new file.txt"), "hello");
  EXPECT_FALSE(Exists(root + "/Config/a.cfg"));
  EXPECT_FALSE(Exists(root + "/Config/b.cfg"));
  device.Receive(0, "NFWIPEDIR /Logs\r");
  EXPECT_FALSE(Exists(root + "/Logs"));
  const std::string out = device.TakeOutput(0, SIZE_MAX);
  int ok = 0;
  for (size_t at = out.find("0:No error"); at != std::string::npos;
       at = out.find("0:No error", at + 1))
    ++ok;
  EXPECT_EQ(ok, 5) << out;

  EXPECT_FALSE(fs.MirrorFolder(root + "/missing"));
  rmdir((root + "/Config").c_str());
  rmdir(root.c_str());
}

}  // namespace
