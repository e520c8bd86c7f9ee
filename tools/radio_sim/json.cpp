#include "tools/radio_sim/json.h"

#include <cstdio>
#include <cstdlib>

namespace vexo::sim {

namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<JsonValue> Document() {
    std::optional<JsonValue> v = Value(0);
    SkipSpace();
    if (!v || pos_ != text_.size()) return std::nullopt;
    return v;
  }

 private:
  static constexpr int kMaxDepth = 64;

  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\t')) {
      ++pos_;
    }
  }
  bool Eat(char c) {
    SkipSpace();
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  bool Word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::optional<JsonValue> Value(int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    SkipSpace();
    if (pos_ >= text_.size()) return std::nullopt;
    JsonValue v;
    char c = text_[pos_];
    if (c == '{') return Object(depth);
    if (c == '[') return Array(depth);
    if (c == '"') {
      std::optional<std::string> s = String();
      if (!s) return std::nullopt;
      v.type = JsonValue::Type::string;
      v.text = std::move(*s);
      return v;
    }
    bool is_true = Word("true");
    if (is_true || Word("false")) {
      v.type = JsonValue::Type::boolean;
      v.boolean = is_true;
      return v;
    }
    if (Word("null")) return v;
    return Number();
  }

  std::optional<JsonValue> Number() {
    std::size_t start = pos_;
    while (pos_ < text_.size() &&
           std::string_view("+-0123456789.eE").find(text_[pos_]) != std::string_view::npos) {
      ++pos_;
    }
    std::string digits(text_.substr(start, pos_ - start));
    if (digits.empty()) return std::nullopt;
    char* end = nullptr;
    double number = std::strtod(digits.c_str(), &end);
    if (end != digits.c_str() + digits.size()) return std::nullopt;
    JsonValue v;
    v.type = JsonValue::Type::number;
    v.number = number;
    return v;
  }

  std::optional<std::string> String() {
    if (!Eat('"')) return std::nullopt;
    std::string out;
    while (pos_ < text_.size()) {
      char c = text_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) return std::nullopt;
      char e = text_[pos_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          if (pos_ + 4 > text_.size()) return std::nullopt;
          unsigned code = std::strtoul(std::string(text_.substr(pos_, 4)).c_str(), nullptr, 16);
          pos_ += 4;
          if (code > 0xFF) return std::nullopt;  // the report writes bytes only
          out += static_cast<char>(code);
          break;
        }
        default:
          out += e;
          break;  // \" \\ \/
      }
    }
    return std::nullopt;
  }

  std::optional<JsonValue> Array(int depth) {
    Eat('[');
    JsonValue v;
    v.type = JsonValue::Type::array;
    if (Eat(']')) return v;
    do {
      std::optional<JsonValue> item = Value(depth + 1);
      if (!item) return std::nullopt;
      v.items.push_back(std::move(*item));
    } while (Eat(','));
    if (!Eat(']')) return std::nullopt;
    return v;
  }

  std::optional<JsonValue> Object(int depth) {
    Eat('{');
    JsonValue v;
    v.type = JsonValue::Type::object;
    if (Eat('}')) return v;
    do {
      SkipSpace();
      std::optional<std::string> key = String();
      if (!key || !Eat(':')) return std::nullopt;
      std::optional<JsonValue> member = Value(depth + 1);
      if (!member) return std::nullopt;
      v.members.emplace_back(std::move(*key), std::move(*member));
    } while (Eat(','));
    if (!Eat('}')) return std::nullopt;
    return v;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const auto& [name, value] : members) {
    if (name == key) return &value;
  }
  return nullptr;
}

std::string JsonQuote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::optional<JsonValue> ParseJson(std::string_view text) {
  return Reader(text).Document();
}

}  // namespace vexo::sim
