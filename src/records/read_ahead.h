#pragma once
// Input of a channel: read ahead a buffer at a time, a carriage return
// before a line feed dropped, one character put back.

constexpr int read_failed = -2;
// A character, -1 at the end of input, or read_failed with the channel's
// failure set (an end signal included: err_end_signal).
int next_char(int unit);
void put_back(int unit, int c);
