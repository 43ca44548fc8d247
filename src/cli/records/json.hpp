// The little JSON that --json prints: objects keep their members in the order they were set.
#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fwup::cli {

class Json {
 public:
  enum class Kind { Null, Bool, Integer, Real, String, Array, Object };

  Json() = default;
  Json(bool value) : kind_(Kind::Bool), bool_(value) {}  // NOLINT: implicit by design
  template <std::integral T>
  Json(T value) : kind_(Kind::Integer), integer_(static_cast<std::int64_t>(value)) {}          // NOLINT
  Json(double value) : kind_(std::isfinite(value) ? Kind::Real : Kind::Null), real_(value) {}  // NOLINT
  Json(std::string value) : kind_(Kind::String), string_(std::move(value)) {}                  // NOLINT
  Json(std::string_view value) : Json(std::string(value)) {}                                   // NOLINT
  Json(const char* value) : Json(std::string(value)) {}                                        // NOLINT

  static Json Array() { return Json(Kind::Array); }
  static Json Object() { return Json(Kind::Object); }

  // The member `key` of an object, added as null when it is not there yet.
  Json& operator[](std::string_view key);
  Json& Append(Json value);  // to an array; returns the value appended

  // Indented by two spaces, ending in a newline.
  std::string Dump() const { return Text(0); }
  // On one line, ending in a newline: a record of a log that is read line by line.
  std::string Line() const { return Text(-1); }

 private:
  explicit Json(Kind kind) : kind_(kind) {}
  // `indent` < 0: on one line.
  std::string Text(int indent) const;
  void DumpTo(std::string& out, int indent) const;

  Kind kind_ = Kind::Null;
  bool bool_ = false;
  std::int64_t integer_ = 0;
  double real_ = 0;
  std::string string_;
  std::vector<std::string> keys_;  // of an object, beside items_
  std::vector<Json> items_;
};

}  // namespace fwup::cli
