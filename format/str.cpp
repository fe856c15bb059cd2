#include "format/str.h"

#include <cstdlib>
#include <cstring>

namespace pvx {

char* LeanString::EmptyBuffer() {
  static char empty[1] = {0};
  return empty;
}

LeanString::LeanString(const char* text) { append(text); }
LeanString::LeanString(const char* data, size_t n) { append(data, n); }
LeanString::LeanString(size_t n, char c) { resize(n, c); }
LeanString::LeanString(const LeanString& other) { append(other); }
LeanString::LeanString(LeanString&& other) noexcept
    : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
  other.data_ = nullptr;
  other.size_ = other.capacity_ = 0;
}
LeanString::~LeanString() {
  if (capacity_) delete[] data_;
}

LeanString& LeanString::operator=(const LeanString& other) {
  if (this != &other) {
    size_ = 0;
    append(other);
  }
  return *this;
}

LeanString& LeanString::operator=(LeanString&& other) noexcept {
  if (this != &other) {
    if (capacity_) delete[] data_;
    data_ = other.data_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
  }
  return *this;
}

LeanString& LeanString::operator=(const char* text) {
  LeanString copy(text);  // text may point into this string
  return *this = static_cast<LeanString&&>(copy);
}

void LeanString::Grow(size_t needed) {
  if (needed <= capacity_) return;
  // A text in place (no capacity of its own) may be longer than what is
  // asked for: its copy keeps all of it until the caller shortens it.
  if (needed < size_) needed = size_;
  size_t capacity = capacity_ * 2 > needed ? capacity_ * 2 : needed;
  if (capacity < 15) capacity = 15;
  char* data = new char[capacity + 1];
  if (size_) std::memcpy(data, data_, size_);
  data[size_] = 0;
  if (capacity_) delete[] data_;
  data_ = data;
  capacity_ = capacity;
}

void LeanString::clear() {
  size_ = 0;
  if (data_) data_[0] = 0;
}

void LeanString::reserve(size_t n) { Grow(n); }

void LeanString::resize(size_t n, char c) {
  Grow(n);
  if (n > size_) std::memset(data_ + size_, c, n - size_);
  size_ = n;
  if (data_) data_[n] = 0;
}

void LeanString::push_back(char c) { append(&c, 1); }

void LeanString::pop_back() { data_[--size_] = 0; }

LeanString& LeanString::append(const char* data, size_t n) {
  if (n == 0) return *this;
  if (data >= data_ && data < data_ + size_ && size_ + n > capacity_) {
    LeanString copy(data, n);  // appending a part of itself while growing
    return append(copy.data_, n);
  }
  Grow(size_ + n);
  std::memmove(data_ + size_, data, n);
  size_ += n;
  data_[size_] = 0;
  return *this;
}

LeanString& LeanString::append(const char* text) { return append(text, std::strlen(text)); }

LeanString& LeanString::erase(size_t position, size_t n) {
  if (position >= size_) return *this;
  if (n > size_ - position) n = size_ - position;
  std::memmove(data_ + position, data_ + position + n, size_ - position - n + 1);
  size_ -= n;
  return *this;
}

LeanString& LeanString::replace(size_t position, size_t n, const LeanString& with) {
  if (position > size_) position = size_;
  if (n > size_ - position) n = size_ - position;
  LeanString result(c_str(), position);
  result.append(with);
  result.append(c_str() + position + n, size_ - position - n);
  return *this = static_cast<LeanString&&>(result);
}

LeanString& LeanString::insert(size_t position, const LeanString& text) {
  return replace(position, 0, text);
}

LeanString LeanString::substr(size_t position, size_t n) const {
  if (position >= size_) return LeanString();
  if (n > size_ - position) n = size_ - position;
  return LeanString(c_str() + position, n);
}

size_t LeanString::FindBytes(const char* needle, size_t n, size_t position) const {
  if (position > size_ || n > size_ - position) return npos;
  const char* text = c_str();
  for (size_t i = position; i + n <= size_; ++i)
    if (std::memcmp(text + i, needle, n) == 0) return i;
  return npos;
}

size_t LeanString::find(const char* needle, size_t position) const {
  return FindBytes(needle, std::strlen(needle), position);
}
size_t LeanString::find(const LeanString& needle, size_t position) const {
  return FindBytes(needle.c_str(), needle.size_, position);
}
size_t LeanString::find(char c, size_t position) const { return FindBytes(&c, 1, position); }

size_t LeanString::find_first_of(const char* set, size_t position) const {
  for (size_t i = position; i < size_; ++i)
    if (std::strchr(set, data_[i]) && data_[i]) return i;
  return npos;
}

size_t LeanString::find_last_of(const char* set, size_t position) const {
  if (size_ == 0) return npos;
  size_t i = position < size_ ? position : size_ - 1;
  for (;; --i) {
    if (data_[i] && std::strchr(set, data_[i])) return i;
    if (i == 0) return npos;
  }
}

int LeanString::compare(const LeanString& other) const {
  size_t n = size_ < other.size_ ? size_ : other.size_;
  int c = std::memcmp(c_str(), other.c_str(), n);
  if (c) return c;
  return size_ < other.size_ ? -1 : size_ > other.size_ ? 1 : 0;
}

bool operator==(const LeanString& a, const LeanString& b) {
  return a.size() == b.size() && std::memcmp(a.c_str(), b.c_str(), a.size()) == 0;
}
bool operator==(const LeanString& a, const char* b) {
  size_t n = std::strlen(b);
  return a.size() == n && std::memcmp(a.c_str(), b, n) == 0;
}
LeanString operator+(const LeanString& a, const LeanString& b) {
  LeanString r(a);
  return static_cast<LeanString&&>(r.append(b));
}
LeanString operator+(const LeanString& a, const char* b) {
  LeanString r(a);
  return static_cast<LeanString&&>(r.append(b));
}
LeanString operator+(const char* a, const LeanString& b) {
  LeanString r(a);
  return static_cast<LeanString&&>(r.append(b));
}
LeanString operator+(const LeanString& a, char b) {
  LeanString r(a);
  r.push_back(b);
  return r;
}
LeanString operator+(LeanString&& a, const LeanString& b) {
  return static_cast<LeanString&&>(a.append(b));
}
LeanString operator+(LeanString&& a, const char* b) {
  return static_cast<LeanString&&>(a.append(b));
}

}  // namespace pvx
