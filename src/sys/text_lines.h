#pragma once
// The lines of a text file, read through one buffer in large chunks: a file
// of any length (a pipe or a FIFO too) in the memory of its longest line.
#include <string>
#include <string_view>
#include <vector>

class TextLines {
 public:
  // Opens `path` for reading ("-": standard input, named so in reports); a
  // file that cannot be opened is refused with the path and the system's
  // reason (exit status 1).
  explicit TextLines(std::string path);
  ~TextLines();
  TextLines(const TextLines&) = delete;
  TextLines& operator=(const TextLines&) = delete;

  // The next line without its line feed; false at the end of the file. The
  // view holds until the next call. A line of 64 MiB or more is refused with
  // its number (exit status 2).
  bool next(std::string_view& line);
  // The number of the line last returned, from 1 (0 before the first).
  long number() const { return number_; }

 private:
  bool fill();  // reads more; false at the end of the file

  std::string path_;
  int fd_ = -1;
  bool owned_ = true;  // closed at the end (not standard input)
  std::vector<char> buf_;
  size_t begin_ = 0, end_ = 0;  // unread bytes
  bool at_end_ = false;
  long number_ = 0;
};
