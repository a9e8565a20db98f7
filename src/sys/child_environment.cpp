#include "sys/child_environment.h"

extern char** environ;

std::vector<std::string> environment_with(const std::vector<std::string>& env) {
  std::vector<std::string> all;
  auto name = [](const std::string& e) { return e.substr(0, e.find('=') + 1); };
  for (char** e = environ; *e; e++) {
    bool replaced = false;
    for (const std::string& x : env) replaced |= name(x) == name(*e);
    if (!replaced) all.push_back(*e);
  }
  all.insert(all.end(), env.begin(), env.end());
  return all;
}

std::vector<char*> exec_array(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}
