// The JSON writer: what --json prints must be JSON that any reader takes.
#include "cli/records/json.hpp"

#include <gtest/gtest.h>

#include "cli_runner.hpp"

namespace fwup::cli {
namespace {

using testing::Contains;
using testing::JsonValue;
using testing::ParseJson;

TEST(Json, KeepsMembersInTheOrderTheyWereSet) {
  Json object = Json::Object();
  object["zeta"] = 1;
  object["alpha"] = 2;
  object["zeta"] = 3;  // set again: stays first
  const JsonValue read = ParseJson(object.Dump());
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read.begin().key(), "zeta");
  EXPECT_EQ(read.begin().value(), 3);
  EXPECT_EQ(std::next(read.begin()).key(), "alpha");
}

TEST(Json, EscapesWhatAStringCannotHoldAsIs) {
  Json object = Json::Object();
  object["text"] = std::string("Firmware download Success\r\nPress \"OK\"\t\\ \x01");
  const std::string dumped = object.Dump();
  EXPECT_TRUE(Contains(dumped, "\\r\\n"));
  EXPECT_TRUE(Contains(dumped, "\\u0001"));
  EXPECT_EQ(ParseJson(dumped)["text"].get<std::string>(), "Firmware download Success\r\nPress \"OK\"\t\\ \x01");
}

// A file name need not be UTF-8; the document must be. Each byte that is not part of UTF-8 is
// written as U+DC80 + byte, so that it can still be told; UTF-8 passes as it is.
TEST(Json, EscapesBytesThatAreNotUtf8) {
  Json object = Json::Object();
  object["file"] = std::string("fw-\xFF-\xC3\xA9-\xE2\x82-\xED\xA0\x80.hex");  // stray, é, cut short, a surrogate
  const std::string dumped = object.Dump();
  EXPECT_TRUE(Contains(dumped, "fw-\\udcff-\xC3\xA9-"));
  EXPECT_TRUE(Contains(dumped, "\\udce2\\udc82-\\udced\\udca0\\udc80.hex"));

  // An overlong zero, a code point above U+10FFFF, a sequence cut short at the very end.
  object["file"] = std::string("\xC0\x80\xF4\x90\x80\x80\xE2\x82");
  EXPECT_TRUE(Contains(object.Dump(), "\"\\udcc0\\udc80\\udcf4\\udc90\\udc80\\udc80\\udce2\\udc82\""));

  // The first and last characters of each length pass as they are.
  object["file"] = std::string("\xC2\x80-\xDF\xBF-\xE0\xA0\x80-\xEF\xBF\xBF-\xF0\x90\x80\x80-\xF4\x8F\xBF\xBF");
  EXPECT_TRUE(Contains(object.Dump(), "\xC2\x80-\xDF\xBF-\xE0\xA0\x80-\xEF\xBF\xBF-\xF0\x90\x80\x80-\xF4\x8F\xBF\xBF"));
}

TEST(Json, WritesNestedArraysNullsAndNumbers) {
  Json object = Json::Object();
  Json list = Json::Array();
  list.Append(Json());
  list.Append(true);
  list.Append(-5);
  list.Append(0.25);
  list.Append(Json::Array());
  list.Append(Json::Object());
  object["list"] = std::move(list);
  object["size"] = std::uint64_t{57344};
  JsonValue read = ParseJson(object.Dump());
  JsonValue& items = read["list"];
  ASSERT_EQ(items.size(), 6u);
  EXPECT_TRUE(items[0].is_null());
  EXPECT_TRUE(items[1].get<bool>());
  EXPECT_EQ(items[2].get<double>(), -5);
  EXPECT_DOUBLE_EQ(items[3].get<double>(), 0.25);
  EXPECT_TRUE(items[4].is_array());
  EXPECT_TRUE(items[5].is_object());
  EXPECT_EQ(read["size"].get<double>(), 57344);
}

}  // namespace
}  // namespace fwup::cli
