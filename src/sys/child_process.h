#pragma once
// A helper program (gnuplot, gmt) run as a child: its standard input is a
// pipe that this process writes, its standard error is kept for the report,
// and it is ended and reaped when this object goes (a signal or a refusal
// in the middle leaves no child writing on).
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "sys/text_sink.h"

struct ChildCommand {
  std::vector<std::string> argv;   // argv[0] is looked up on PATH
  std::string package;             // "Debian package ...": what brings it, for the report
  std::string folder;              // working folder; empty: this one
  std::vector<std::string> env;    // "NAME=value" entries set on top of this environment
};

class ChildProcess : public TextSink {
 public:
  // Starts the program; a program that is not installed is refused (status 1)
  // naming its package.
  explicit ChildProcess(ChildCommand command);
  ~ChildProcess() override;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Buffered writes to the child's standard input; an end signal while
  // writing throws EndSignal.
  void put(std::string_view text) override;
  // Closes its input, waits for it (an end signal throws EndSignal) and
  // refuses (status 1) an unclean end with the first lines it wrote on
  // standard error.
  void finish();

 private:
  void flush();
  [[noreturn]] void fail(const std::string& why);
  std::string name_, stderr_path_;
  pid_t pid_ = -1;
  int input_ = -1, errors_ = -1;
  std::string buffer_;
  bool broken_ = false;  // the child closed its input
};

// Refuses (status 1) at once, naming `package`, where `program` is not on
// PATH: before any work that would be lost.
void require_program(const std::string& program, const std::string& package);

// Starts and finishes a program that takes no input.
void run_child(ChildCommand command);
