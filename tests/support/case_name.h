#pragma once
// Names for the cases of a parameterised test, made from the text each case
// is about, so that test lists and ctest read "3_0x3" rather than "3".

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>

namespace vedo::test {

// The case's index (names must be unique), then `text` with its letters and
// digits as they are, a few signs spelled out and anything else as "_".
inline std::string caseName(std::size_t index, std::string_view text) {
  std::string name = std::to_string(index) + "_";
  for (unsigned char c : text) {
    if (std::isalnum(c)) {
      name += static_cast<char>(c);
    } else if (c == '+') {
      name += "Plus";
    } else if (c == '-') {
      name += "Minus";
    } else if (c == '$') {
      name += "Dollar";
    } else if (c == '"') {
      name += "Quote";
    } else {
      name += '_';
    }
  }
  return name;
}

// A name generator for INSTANTIATE_TEST_SUITE_P: the case's `Field` member
// gives the text.
template <auto Field>
struct NamedBy {
  template <typename Case>
  std::string operator()(const testing::TestParamInfo<Case>& info) const {
    return caseName(info.index, info.param.*Field);
  }
};

}  // namespace vedo::test
