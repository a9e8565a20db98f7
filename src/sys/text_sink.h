#pragma once
// Where generated program text goes: a child's standard input (or, in a
// test, whatever the test keeps).
#include <string>
#include <string_view>

struct TextSink {
  virtual ~TextSink() = default;
  virtual void put(std::string_view text) = 0;
};
