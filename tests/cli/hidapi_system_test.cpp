// The system's hidapi as the adapter starts it: it starts, and a path that is not there fails
// with a code the core can judge.
#include <gtest/gtest.h>

#include "hidapi/hidapi_bus.hpp"

namespace fwup::hidapi {
namespace {

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
