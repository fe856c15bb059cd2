// A small JSON writer with fixed key order, so inspect's output is stable.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pvx::tool {

class Json {
 public:
  Json& BeginObject() { return Open('{'); }
  Json& EndObject() { return Close('}'); }
  Json& BeginArray() { return Open('['); }
  Json& EndArray() { return Close(']'); }
  Json& Key(const std::string& k) {
    Comma();
    Quote(k);
    out_ += ": ";
    pendingValue_ = true;
    return *this;
  }
  Json& String(const std::string& utf8) {
    Comma();
    Quote(utf8);
    return *this;
  }
  Json& Int(int64_t v) {
    Comma();
    out_ += std::to_string(v);
    return *this;
  }
  Json& UInt(uint64_t v) {
    Comma();
    out_ += std::to_string(v);
    return *this;
  }
  Json& Bool(bool v) {
    Comma();
    out_ += v ? "true" : "false";
    return *this;
  }
  Json& Null() {
    Comma();
    out_ += "null";
    return *this;
  }
  const std::string& str() const { return out_; }

 private:
  Json& Open(char c) {
    Comma();
    out_ += c;
    first_.push_back(true);
    return *this;
  }
  Json& Close(char c) {
    bool empty = first_.back();
    first_.pop_back();
    if (!empty) Newline();
    out_ += c;
    return *this;
  }
  void Newline() {
    out_ += '\n';
    out_.append(first_.size() * 2, ' ');
  }
  void Comma() {
    if (pendingValue_) {
      pendingValue_ = false;
      return;
    }
    if (first_.empty()) return;
    if (!first_.back()) out_ += ',';
    first_.back() = false;
    Newline();
  }
  void Quote(const std::string& s) {
    out_ += '"';
    for (unsigned char c : s) {
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
          if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out_ += buf;
          } else {
            out_ += static_cast<char>(c);
          }
      }
    }
    out_ += '"';
  }
  std::string out_;
  std::vector<bool> first_;
  bool pendingValue_ = false;
};

}  // namespace pvx::tool
