// The system's hidapi on a machine without the device: the walk finds no boot loader, and what
// hidapi lists is listed as it is.
#include <gtest/gtest.h>

#include "device/find_device.hpp"
#include "hidapi/hidapi_bus.hpp"

namespace fwup::hidapi {
namespace {

TEST(SystemHidapi, StartsAndFindsNoBootLoaderWhereThereIsNone) {
  std::string why;
  std::unique_ptr<Library> library = OpenSystemLibrary(why);
  ASSERT_TRUE(library) << why;
  const std::vector<DeviceEntry> entries = library->Enumerate();
  for (const DeviceEntry& entry : entries) {
    if (entry.vendor_id == 0x7E51 && entry.product_id == 0x0A3D) GTEST_SKIP() << "a real boot loader is attached";
  }
  HidapiBus bus(std::move(library));
  for (const HidInterfaceInfo& interface : ListInterfaces(bus)) {
    EXPECT_FALSE(interface.matches) << interface.path;
    EXPECT_EQ(interface.hardware_id.rfind(u"HID\\VID_", 0), 0u);
  }
}

TEST(SystemHidapi, OpeningAPathThatIsNotThereFails) {
  std::string why;
  std::unique_ptr<Library> library = OpenSystemLibrary(why);
  ASSERT_TRUE(library) << why;
  HidapiBus bus(std::move(library));
  const OpenResult result = bus.Open("/dev/hidraw-none-such", HidAccess::Write);
  EXPECT_FALSE(result.link);
  EXPECT_NE(result.error, kErrorSuccess);
}

}  // namespace
}  // namespace fwup::hidapi
