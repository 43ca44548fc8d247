#include "cli/json.hpp"

#include <cmath>
#include <cstdio>

namespace fwup::cli {
namespace {

void Quote(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;  // UTF-8 passes through
        }
    }
  }
  out += '"';
}

}  // namespace

Json& Json::operator[](std::string_view key) {
  if (kind_ == Kind::Null) kind_ = Kind::Object;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] == key) return items_[i];
  }
  keys_.emplace_back(key);
  items_.emplace_back();
  return items_.back();
}

bool Json::Has(std::string_view key) const {
  for (const std::string& name : keys_) {
    if (name == key) return true;
  }
  return false;
}

void Json::Append(Json value) {
  if (kind_ == Kind::Null) kind_ = Kind::Array;
  items_.push_back(std::move(value));
}

std::string Json::Dump() const {
  std::string out;
  DumpTo(out, 0);
  out += '\n';
  return out;
}

void Json::DumpTo(std::string& out, int indent) const {
  const auto newline = [&out](int depth) {
    out += '\n';
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
  };
  switch (kind_) {
    case Kind::Null:
      out += "null";
      return;
    case Kind::Bool:
      out += bool_ ? "true" : "false";
      return;
    case Kind::Integer:
      out += std::to_string(integer_);
      return;
    case Kind::Real: {
      if (!std::isfinite(real_)) {
        out += "null";
        return;
      }
      char text[32];
      std::snprintf(text, sizeof text, "%.3f", real_);
      out += text;
      return;
    }
    case Kind::String:
      Quote(out, string_);
      return;
    case Kind::Array:
    case Kind::Object: {
      const bool object = kind_ == Kind::Object;
      out += object ? '{' : '[';
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i > 0) out += ',';
        newline(indent + 1);
        if (object) {
          Quote(out, keys_[i]);
          out += ": ";
        }
        items_[i].DumpTo(out, indent + 1);
      }
      if (!items_.empty()) newline(indent);
      out += object ? '}' : ']';
      return;
    }
  }
}

}  // namespace fwup::cli
