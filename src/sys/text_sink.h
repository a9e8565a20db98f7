#pragma once
// Where generated program text goes: a child's standard input, or a string
// in a test.
#include <string>
#include <string_view>

struct TextSink {
  virtual ~TextSink() = default;
  virtual void put(std::string_view text) = 0;
};

struct StringSink : TextSink {
  std::string text;
  void put(std::string_view t) override { text += t; }
};
