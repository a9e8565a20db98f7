#pragma once
// The signals that end the run (interrupt, termination request, hangup,
// floating-point exception, abort). Their handlers only note which came
// first; the main line looks at the note at every record boundary and in
// every wait, and ends the run there as ordinary code.
#include <poll.h>

// Installs the handlers (the interrupt and hangup only if whoever started
// the run did not ignore them) and unblocks the signals. No handler restarts a system call: a signal ends any
// call that waits with EINTR, so the main line sees it at once.
void take_end_signals();

// The first end signal that came, or 0.
int end_signal();

// How a wait for a descriptor ended.
enum class Woken { ready, late, signalled };

// Waits until `fd` is ready for `events` or `timeout_ms` passes (-1: no
// bound). With `on_signal`, an end signal that came before or comes during
// the wait ends it too (signalled); without, a signal only wakes it early
// (ready), for the caller to try again.
Woken wait_ready(int fd, short events, int timeout_ms, bool on_signal);
