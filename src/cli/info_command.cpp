#include "cli/info_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sys/refusal.h"
#include "srf/srf_facts.h"

namespace {

const char* usage = "usage: slipvel-fault info FILE.srf";

// The one operand; "--" lets a file's name start with "-".
std::string srf_path(int argc, char** argv) {
  int i = 1;
  if (i < argc && std::strcmp(argv[i], "--") == 0) i++;
  else if (i < argc && argv[i][0] == '-' && argv[i][1] != '\0')
    throw Refusal(std::string("info: unknown option ") + argv[i] + " (" + usage + ")");
  if (argc - i != 1) throw Refusal(usage);
  return argv[i];
}

// The facts reach standard output whole or the run fails with the reason.
void print(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw Refusal(std::string("standard output: write failed: ") + std::strerror(errno), status_failed);
}

}  // namespace

int srf_info_command(int argc, char** argv) {
  std::string path = srf_path(argc, argv);
  SrfFacts facts;
  std::vector<std::string> warnings;
  read_srf(path, facts, &warnings);
  for (const std::string& w : warnings) std::fprintf(stderr, "slipvel-fault: %s\n", w.c_str());
  print(facts_text(facts));
  return 0;
}
