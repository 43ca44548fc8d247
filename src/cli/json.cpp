#include "cli/json.hpp"

#include <cmath>
#include <cstdio>

namespace fwup::cli {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is none
// (a stray continuation byte, a cut-off sequence, an overlong form, a surrogate, or past U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

void Quote(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (static_cast<unsigned char>(c) >= 0x80) {
      // UTF-8 passes through. Any other byte, as in a file name that is not UTF-8, is escaped
      // as a lone surrogate U+DC80 to U+DCFF, as Python's "surrogateescape" does, so that the
      // document stays UTF-8 and the byte can still be told.
      const std::size_t length = Utf8SequenceLength(text.substr(at));
      if (length == 0) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", 0xDC00u + static_cast<unsigned char>(c));
        out += escaped;
      } else {
        out.append(text.substr(at, length));
        at += length - 1;
      }
      continue;
    }
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
          out += c;
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
