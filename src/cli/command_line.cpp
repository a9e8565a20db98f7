#include "cli/command_line.h"

#include "sys/refusal.h"
#include "sys/standard_streams.h"

namespace {

const OptionRule* find(const std::vector<OptionRule>& rules, std::string_view name) {
  for (const OptionRule& s : rules)
    if (s.name == name) return &s;
  return nullptr;
}

}  // namespace

void refuse_command_line(const std::string& why, const Usage& usage) {
  throw Refusal(why + "\n" + usage.synopsis);
}

int print_usage(const Usage& usage) {
  print_out(usage.synopsis + "\n" + usage.details);
  return 0;
}

CommandLine parse_command_line(int argc, char** argv, const std::vector<OptionRule>& rules,
                               const Usage& usage) {
  CommandLine line;
  bool options_end = false;
  for (int k = 1; k < argc; k++) {
    std::string_view a = argv[k];
    if (options_end || a.size() < 2 || a[0] != '-') {
      line.operands.emplace_back(a);
      continue;
    }
    if (a == "--") {
      options_end = true;
      continue;
    }
    if (a == "-h" || a == "--help") {
      line.help = true;
      return line;
    }
    const OptionRule* rule = find(rules, a);
    std::string value;
    if (!rule && a[1] != '-') {  // a short option with its value attached: -j4
      rule = find(rules, a.substr(0, 2));
      if (!rule || !rule->value) refuse_command_line("unknown option " + std::string(a), usage);
      value = a.substr(2);
    } else if (!rule) {
      refuse_command_line("unknown option " + std::string(a), usage);
    } else if (rule->value) {
      if (k + 1 >= argc) refuse_command_line(std::string(a) + " needs " + rule->value, usage);
      value = argv[++k];
    }
    line.options.emplace_back(std::string(rule->name), value);
  }
  return line;
}
