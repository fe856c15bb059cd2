// Building list records by field name (format/record_fields.h) rather than
// by position: the texts land where the runtime reads them whatever order
// they are given in, and a record that misses or repeats a field of its
// list is a programming error found at once.
#pragma once
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "format/record_fields.h"
#include "format/script.h"

namespace pvx::tool {

// One value per field of `kind`'s records, each field exactly once; the
// result is in field order, as wide as the list.
template <class T>
std::vector<T> ByField(ListKind kind, std::initializer_list<std::pair<unsigned, T>> fields) {
  const unsigned width = ShapeOf(kind).width;
  std::vector<T> out(width);
  std::vector<bool> given(width, false);
  for (const auto& [k, value] : fields) {
    if (k >= width || given[k])
      throw std::logic_error(std::string("field ") + std::to_string(k) + " of a record of " + ListName(kind) +
                             (k >= width ? " is outside its width" : " is given twice"));
    given[k] = true;
    out[k] = value;
  }
  for (unsigned k = 0; k < width; ++k)
    if (!given[k])
      throw std::logic_error(std::string("field ") + std::to_string(k) + " of a record of " + ListName(kind) +
                             " is missing");
  return out;
}

using Record = std::vector<std::string>;

inline Record MakeRecord(ListKind kind, std::initializer_list<std::pair<unsigned, std::string>> fields) {
  return ByField<std::string>(kind, fields);
}

}  // namespace pvx::tool
