#pragma once
// The end signals (INT, TERM, HUP): a handler records which came, and the
// main line looks at it between pieces of work, ends its writers (their
// temporaries removed) and then ends the process by that signal.
#include <stdexcept>

// Installs the handlers; called once at start.
void install_end_signals();
// Thrown by check_end_signal(); main ends the process by `signal`.
struct EndSignal : std::runtime_error {
  int signal;
  explicit EndSignal(int s) : std::runtime_error("interrupted"), signal(s) {}
};
// Throws EndSignal when an end signal has come.
void check_end_signal();
// Ends the process by the signal with its default action.
[[noreturn]] void end_process_by(int signal);
