#pragma once
// The record under construction, shared by free-format and fixed-field
// statements (only one statement is under way at a time).
#include <cstddef>

struct Record {
  char* buf = nullptr;
  size_t len = 0, cap = 0;
  void put(const char* text, size_t n);
  void put(char c, size_t n);  // c, n times
  // Room for n more characters after len; the caller writes them there and
  // adds what it wrote to len.
  char* room(size_t n);
};

extern Record record;
