// The text type of the format library and the runtime.
//
// On Windows it is LeanString: the subset of std::string that this code
// uses, implemented once, out of line, without the small-string buffer,
// allocator machinery and inlined fast paths that make std::string cost
// several hundred bytes at every call site of a size-bound stub. Natively
// it is std::string itself (unless PVX_LEAN_STR asks for LeanString, as a
// fuzz target does), so the tool passes texts straight through;
// LeanString is also built natively and tested against std::string.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace pvx {

class LeanString {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  LeanString() = default;
  // A text that lies in a block kept elsewhere, NUL-terminated at n: read
  // and changed in place, never freed; a change that needs more room makes
  // it a text of its own. The block must outlive it and never move.
  static LeanString InPlace(char* text, size_t n) {
    LeanString s;
    s.data_ = text;
    s.size_ = n;
    return s;
  }
  LeanString(const char* text);  // NOLINT: implicit like std::string
  LeanString(const char* data, size_t n);
  LeanString(size_t n, char c);
  LeanString(const LeanString& other);
  LeanString(LeanString&& other) noexcept;
  ~LeanString();
  LeanString& operator=(const LeanString& other);
  LeanString& operator=(LeanString&& other) noexcept;
  LeanString& operator=(const char* text);

  size_t size() const { return size_; }
  size_t length() const { return size_; }
  bool empty() const { return size_ == 0; }
  const char* c_str() const { return data_ ? data_ : ""; }
  const char* data() const { return c_str(); }
  char* data() { return data_ ? data_ : EmptyBuffer(); }
  char& operator[](size_t i) { return data_[i]; }
  char operator[](size_t i) const { return c_str()[i]; }
  char& back() { return data_[size_ - 1]; }
  char back() const { return data_[size_ - 1]; }
  char front() const { return c_str()[0]; }
  char* begin() { return data(); }
  char* end() { return data() + size_; }
  const char* begin() const { return c_str(); }
  const char* end() const { return c_str() + size_; }

  void clear();
  void reserve(size_t n);
  void resize(size_t n, char c = '\0');
  void push_back(char c);
  void pop_back();
  LeanString& append(const char* data, size_t n);
  LeanString& append(const LeanString& s) { return append(s.c_str(), s.size_); }
  LeanString& append(const char* text);
  LeanString& operator+=(const LeanString& s) { return append(s); }
  LeanString& operator+=(const char* text) { return append(text); }
  LeanString& operator+=(char c) {
    push_back(c);
    return *this;
  }
  LeanString& erase(size_t position = 0, size_t n = npos);
  LeanString& replace(size_t position, size_t n, const LeanString& with);
  LeanString& insert(size_t position, const LeanString& text);

  LeanString substr(size_t position = 0, size_t n = npos) const;
  size_t find(const char* needle, size_t position = 0) const;
  size_t find(const LeanString& needle, size_t position = 0) const;
  size_t find(char c, size_t position = 0) const;
  size_t find_first_of(const char* set, size_t position = 0) const;
  size_t find_last_of(const char* set, size_t position = npos) const;
  int compare(const LeanString& other) const;

 private:
  static char* EmptyBuffer();
  void Grow(size_t needed);
  size_t FindBytes(const char* needle, size_t n, size_t position) const;
  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;  // 0 with data: a text in place, not ours to free
};

bool operator==(const LeanString& a, const LeanString& b);
bool operator==(const LeanString& a, const char* b);
inline bool operator==(const char* a, const LeanString& b) { return b == a; }
inline bool operator!=(const LeanString& a, const LeanString& b) { return !(a == b); }
inline bool operator!=(const LeanString& a, const char* b) { return !(a == b); }
inline bool operator<(const LeanString& a, const LeanString& b) { return a.compare(b) < 0; }
LeanString operator+(const LeanString& a, const LeanString& b);
LeanString operator+(const LeanString& a, const char* b);
LeanString operator+(const char* a, const LeanString& b);
LeanString operator+(const LeanString& a, char b);
LeanString operator+(LeanString&& a, const LeanString& b);
LeanString operator+(LeanString&& a, const char* b);

#if defined(_WIN32) || defined(PVX_LEAN_STR)
using Str = LeanString;
// A text of a block that outlives it (see LeanString::InPlace); natively a
// copy.
inline Str TextInBlock(char* text, size_t n) { return LeanString::InPlace(text, n); }
#else
using Str = std::string;
inline Str TextInBlock(char* text, size_t n) { return Str(text, n); }
#endif

}  // namespace pvx
