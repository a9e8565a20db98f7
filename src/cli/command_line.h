#pragma once
// The one option parser of slipvel-fault and its commands: options first or
// among the operands, "--" ends the options, "-" alone is an operand (a
// standard stream), "-h" and "--help" ask for the usage.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct OptionRule {
  std::string_view name;         // "-o", "--csv", "--map"
  const char* value = nullptr;   // what its value is, for "-o needs a PREFIX"; null: an option without one
};

struct CommandLine {
  std::vector<std::pair<std::string, std::string>> options;  // name and value ("" without one), in order
  std::vector<std::string> operands;
  bool help = false;  // -h or --help: the rest is not looked at
};

// A command's usage: its synopsis line(s), "usage: ..." first, and what its
// options mean.
struct Usage {
  std::string synopsis;  // "usage: slipvel-fault info FILE.srf"
  std::string details;   // the options and operands, one a line
};

// argv[0] is the command word. An unknown option or one without its value is
// refused (status 2) with the synopsis on the next line; a short option
// takes its value attached too (-j4).
CommandLine parse_command_line(int argc, char** argv, const std::vector<OptionRule>& rules,
                               const Usage& usage);

// Refuses the command line (status 2): `why`, then the synopsis.
[[noreturn]] void refuse_command_line(const std::string& why, const Usage& usage);

// The usage on standard output, for --help (exit status 0).
int print_usage(const Usage& usage);
