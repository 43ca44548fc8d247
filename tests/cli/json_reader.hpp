// Reads the JSON that --json prints, so that tests look at its shape rather than its spelling.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fwup::cli::testing {

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<JsonValue> items;   // of an array, or the values of an object
  std::vector<std::string> keys;  // of an object, beside items

  bool Has(std::string_view key) const;
  // The member `key`; a test fails (throws) when it is missing.
  const JsonValue& operator[](std::string_view key) const;
  const JsonValue& operator[](std::size_t index) const { return items.at(index); }
  std::size_t size() const { return items.size(); }
};

// Throws std::runtime_error naming the offset of the first thing that is not JSON, or of text
// after the value.
JsonValue ParseJson(std::string_view text);

}  // namespace fwup::cli::testing
