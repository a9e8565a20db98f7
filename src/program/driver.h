#pragma once

// The whole run: time grid, dialogue, slip-velocity function, the stages
// in their fixed order, then the end of the run. Never returns.
[[noreturn]] void run_driver();
