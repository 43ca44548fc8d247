#include "cli/records/json.hpp"

#include <cstdio>

#include "ports/utf8.hpp"

namespace fwup::cli {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is none: a
// sequence is well formed when it decodes to a code point up to U+10FFFF that encodes back to the
// same bytes (so no overlong form, no surrogate, nothing cut short).
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || text.size() < length) return 0;
  std::uint32_t code = lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte & 0x3Fu);
  }
  std::string again;
  AppendUtf8(again, code);
  return code <= 0x10FFFF && again == text.substr(0, length) ? length : 0;
}

void Escape(std::string& out, unsigned code) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
  out += escaped;
}

void Quote(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      // UTF-8 passes through. Any other byte, as in a file name that is not UTF-8, is escaped
      // as a lone surrogate U+DC80 to U+DCFF, as Python's "surrogateescape" does, so that the
      // document stays UTF-8 and the byte can still be told.
      const std::size_t length = Utf8SequenceLength(text.substr(at));
      if (length == 0) Escape(out, 0xDC00u + byte);
      out.append(text.substr(at, length));
      at += length > 0 ? length - 1 : 0;
    } else if (c == '"' || c == '\\') {
      out += {'\\', c};
    } else if (c == '\n' || c == '\r' || c == '\t') {
      out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
    } else if (byte < 0x20) {
      Escape(out, byte);
    } else {
      out += c;
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
  return items_.emplace_back();
}

Json& Json::Append(Json value) {
  if (kind_ == Kind::Null) kind_ = Kind::Array;
  return items_.emplace_back(std::move(value));
}

std::string Json::Text(int indent) const {
  std::string out;
  DumpTo(out, indent);
  return out += '\n';
}

void Json::DumpTo(std::string& out, int indent) const {
  const auto newline = [&out, indent](int depth) {
    if (indent < 0) return;
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
          out += indent < 0 ? ":" : ": ";
        }
        items_[i].DumpTo(out, indent < 0 ? indent : indent + 1);
      }
      if (!items_.empty()) newline(indent);
      out += object ? '}' : ']';
      return;
    }
  }
}

}  // namespace fwup::cli
