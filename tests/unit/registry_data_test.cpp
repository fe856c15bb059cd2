#include "actions/registry_data.h"

#include <gtest/gtest.h>

namespace pvx {
namespace {

TEST(RegistryDataTest, HexPairs) {
  struct Case {
    const char* data;
    std::string bytes;
  } cases[] = {
      {"0A1BFF", std::string("\x0A\x1B\xFF", 3)},
      {"0a1bff", std::string("\x0A\x1B\xFF", 3)},
      {"0A0B0", std::string("\x0A\x0B", 2)},  // the unpaired digit is dropped
      {"", ""},
      {"7", ""},
      {"00", std::string(1, '\0')},
      {"G1", std::string(1, '\0')},  // a pair ends at its first non-digit
      {"1G", std::string(1, '\x01')},
      {"F G1", std::string("\x0F\x00", 2)},
      {"-1", std::string(1, '\0')},
      {"1-2", std::string(1, '\x01')},
      {"fF", std::string(1, '\xFF')},
  };
  for (const Case& c : cases) EXPECT_EQ(HexPairBytes(c.data), c.bytes) << '"' << c.data << '"';
}

TEST(RegistryDataTest, Dword) {
  struct Case {
    const char* data;
    uint32_t value;
  } cases[] = {
      {"-1", 0xFFFFFFFFu}, {"12abc", 12},         {"", 0},          {"+5", 5},
      {" 7", 0},           {"4294967295", 0xFFFFFFFFu}, {"4294967296", 0}, {"-2147483648", 0x80000000u},
      {"0x10", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(DwordData(c.data), c.value) << '"' << c.data << '"';
}

}  // namespace
}  // namespace pvx
