#include <gtest/gtest.h>

#include "comms/Hid.h"
#include "comms/RawHid.h"
#include "comms/vxComms.h"
#include "sim/FakeHidBackend.h"

using namespace vxk;

namespace {

HidDeviceInfo Interface(const std::string& path, int vendor, int product, int page, int usage) {
  HidDeviceInfo info;
  info.path = path;
  info.vendorId = vendor;
  info.productId = product;
  info.usagePage = page;
  info.usage = usage;
  return info;
}

constexpr int kVid = TvxComms::kVendorId;
constexpr int kPid = TvxComms::kProductId;
constexpr int kPage = TvxComms::kUsagePage;

TEST(HidDiscovery, OnlyTheVendorInterfaceOfTheRightDeviceMatches) {
  VirtualDevice device;
  FakeHidBackend backend;
  backend.AddInterface(Interface("kbd", kVid, kPid, 0x01, 6), &device);  // keyboard interface
  backend.AddInterface(Interface("other-maker", 0x1234, kPid, kPage, 1), &device);
  backend.AddInterface(Interface("other-product", kVid, 0x0001, kPage, 1), &device);
  backend.AddInterface(Interface("vendor", kVid, kPid, kPage, 1), &device);
  std::vector<std::string> paths;
  EXPECT_EQ(FindHidDevices(backend, paths, kVid, kPid, kPage, -1), 1);
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(paths[0], "vendor");
}

TEST(HidDiscovery, PresentDevicesAreListedWithTheirNamesWithoutBeingOpened) {
  VirtualDevice device;
  device.Identity().serial = "100042";
  device.Identity().product = "vx.keeper Logger";
  FakeHidBackend backend;
  backend.AddInterface(Interface("kbd", kVid, kPid, 0x01, 6), &device);
  backend.AddInterface(Interface("held", kVid, kPid, kPage, 1), nullptr);  // cannot be opened
  backend.AddInterface(Interface("other", 0x1234, kPid, kPage, 1), &device);
  backend.AddInterface(Interface("vendor", kVid, kPid, kPage, 1), &device);
  const std::vector<HidDeviceInfo> found = PresentHidDevices(backend, kVid, kPid, kPage);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].path, "held");
  EXPECT_EQ(found[1].path, "vendor");
  EXPECT_EQ(found[1].serialNumber, "100042");
  EXPECT_EQ(found[1].product, "vx.keeper Logger");
}

TEST(HidDiscovery, DevicesThatCannotBeOpenedAreNotListed) {
  VirtualDevice device;
  FakeHidBackend backend;
  backend.AddInterface(Interface("held", kVid, kPid, kPage, 1), nullptr);
  backend.AddInterface(Interface("free", kVid, kPid, kPage, 1), &device);
  std::vector<std::string> paths;
  EXPECT_EQ(FindHidDevices(backend, paths, kVid, kPid, kPage, -1), 1);
  EXPECT_EQ(paths[0], "free");
}

TEST(HidDiscovery, TwoDevicesAreListedInOrderAndTheFirstIsOpened) {
  VirtualDevice first;
  VirtualDevice second;
  first.Identity().serial = "1";
  second.Identity().serial = "2";
  FakeHidBackend backend;
  backend.AddInterface(Interface("a", kVid, kPid, kPage, 1), &first);
  backend.AddInterface(Interface("b", kVid, kPid, kPage, 2), &second);
  std::vector<std::string> paths;
  EXPECT_EQ(FindHidDevices(backend, paths, kVid, kPid, kPage, -1), 2);
  EXPECT_EQ(paths, (std::vector<std::string>{"a", "b"}));
  // A specific usage narrows the match.
  EXPECT_EQ(FindHidDevices(backend, paths, kVid, kPid, kPage, 2), 1);
  EXPECT_EQ(paths[0], "b");

  TRawHid hid(&backend);
  ASSERT_TRUE(hid.OpenFirst(kVid, kPid, kPage, -1));
  EXPECT_EQ(hid.Path(), "a");
  EXPECT_EQ(hid.SerialNumber(), "1");
}

TEST(HidDiscovery, NegativeCriteriaAreNotTested) {
  VirtualDevice device;
  FakeHidBackend backend;
  backend.AddInterface(Interface("x", 0x1111, 0x2222, 0x0C, 3), &device);
  std::vector<std::string> paths;
  EXPECT_EQ(FindHidDevices(backend, paths, -1, -1, -1, -1), 1);
  EXPECT_EQ(FindHidDevices(backend, paths, kVid, -1, -1, -1), 0);
  EXPECT_TRUE(paths.empty());
}

TEST(RawHid, ReportFramingAndLimits) {
  VirtualDevice device;
  FakeHidBackend backend(&device);
  backend.CaptureWrites(true);
  TRawHid hid(&backend);
  unsigned char data[600] = {};
  // Closed: nothing can be read or written.
  EXPECT_EQ(hid.ReadReport(data, 64, 0), -1);
  EXPECT_EQ(hid.WriteReport(data, 64, 0), -1);
  ASSERT_TRUE(hid.OpenFirst(kVid, kPid, kPage, -1));
  // A report of 516 data bytes is the largest; the identifier makes 517.
  EXPECT_EQ(hid.WriteReport(data, 516, 0), -1);
  data[2] = 3;
  EXPECT_EQ(hid.WriteReport(data, 64, 0), 64);
  EXPECT_EQ(backend.WrittenPackets().size(), 1u);
  // Reads deliver at most the length asked for.
  backend.InjectReport(std::string(64, 'z'));
  EXPECT_EQ(hid.ReadReport(data, 10, 1000), 10);
  EXPECT_EQ(hid.ReadReport(data, 64, 0), -1);
}

}  // namespace
