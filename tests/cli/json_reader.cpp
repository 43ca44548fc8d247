#include "json_reader.hpp"

#include <cstdlib>
#include <stdexcept>

namespace fwup::cli::testing {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  JsonValue Document() {
    JsonValue value = Value();
    Space();
    if (at_ != text_.size()) Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("not JSON at offset " + std::to_string(at_) + ": " + what);
  }

  void Space() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t')) {
      ++at_;
    }
  }

  bool Take(char c) {
    Space();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  void Expect(char c) {
    if (!Take(c)) Fail(std::string("expected '") + c + "'");
  }

  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  JsonValue Value() {
    Space();
    if (at_ >= text_.size()) Fail("value missing");
    JsonValue value;
    const char c = text_[at_];
    if (c == '{') {
      ++at_;
      value.kind = JsonValue::Kind::Object;
      if (Take('}')) return value;
      do {
        Space();
        value.keys.push_back(String());
        Expect(':');
        value.items.push_back(Value());
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      ++at_;
      value.kind = JsonValue::Kind::Array;
      if (Take(']')) return value;
      do {
        value.items.push_back(Value());
      } while (Take(','));
      Expect(']');
    } else if (c == '"') {
      value.kind = JsonValue::Kind::String;
      value.string = String();
    } else if (Word("true") || Word("false")) {
      value.kind = JsonValue::Kind::Bool;
      value.boolean = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
    } else if (Word("null")) {
      value.kind = JsonValue::Kind::Null;
    } else {
      const std::string rest(text_.substr(at_, 40));
      char* end = nullptr;
      value.number = std::strtod(rest.c_str(), &end);
      if (end == rest.c_str()) Fail("unexpected character");
      value.kind = JsonValue::Kind::Number;
      at_ += static_cast<std::size_t>(end - rest.c_str());
    }
    return value;
  }

  std::string String() {
    if (at_ >= text_.size() || text_[at_] != '"') Fail("expected a string");
    ++at_;
    std::string out;
    while (at_ < text_.size() && text_[at_] != '"') {
      char c = text_[at_++];
      if (static_cast<unsigned char>(c) < 0x20) Fail("control character in a string");
      if (c == '\\') {
        if (at_ >= text_.size()) Fail("escape at the end");
        c = text_[at_++];
        switch (c) {
          case 'n':
            out += '\n';
            break;
          case 'r':
            out += '\r';
            break;
          case 't':
            out += '\t';
            break;
          case 'u':
            out += static_cast<char>(std::strtol(std::string(text_.substr(at_, 4)).c_str(), nullptr, 16));
            at_ += 4;
            break;
          default:
            out += c;
        }
      } else {
        out += c;
      }
    }
    if (at_ >= text_.size()) Fail("string not closed");
    ++at_;
    return out;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

bool JsonValue::Has(std::string_view key) const {
  for (const std::string& name : keys) {
    if (name == key) return true;
  }
  return false;
}

const JsonValue& JsonValue::operator[](std::string_view key) const {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) return items[i];
  }
  throw std::runtime_error("no member '" + std::string(key) + "'");
}

JsonValue ParseJson(std::string_view text) { return Reader(text).Document(); }

}  // namespace fwup::cli::testing
