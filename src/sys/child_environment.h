#pragma once
// What a child program is started with: this process's environment with some
// variables set on top, and the argument and environment arrays that exec
// takes.
#include <string>
#include <vector>

// This process's environment with each "NAME=value" of `env` set on top
// (replacing that NAME where it is set).
std::vector<std::string> environment_with(const std::vector<std::string>& env);

// The strings as exec's null-terminated array; it points into `strings`,
// which must outlive it.
std::vector<char*> exec_array(std::vector<std::string>& strings);
