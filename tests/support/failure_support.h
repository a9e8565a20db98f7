#pragma once
// What the end-to-end fault tests share: the example run to compare with,
// the failure report's text, and starting, tracing and watching the program
// on descriptors of the test's choosing.
#include <sys/types.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/run_program.h"

// The four files of a run, in the order the run writes them.
inline const char* const output_files[] = {"slip_t.csv", "slip_a.csv",
                                           "slip_vel-5triangle.csv", "parameter.csv"};

// What a complete run on the example answers prints and writes.
struct Reference {
  std::string out;
  std::map<std::string, std::string> files;
};
const Reference& reference();

// Equality of long texts, reported by the first differing line.
testing::AssertionResult same_text(const std::string& got, const std::string& want);

// The named files hold exactly what the example run wrote.
void expect_example_files(const TempDir& dir,
                          const std::vector<std::string>& names = {std::begin(output_files),
                                                                   std::end(output_files)});

// The failure report: what failed, the channel, the layout, the direction.
std::string report(const std::string& what, const std::string& unit, const std::string& format,
                   const char* direction);
inline const char* const malformed = ": incomprehensible list input";
inline const std::string file_unit = "unit 10 named ";
inline const std::string slip_a_row = R"((f8.4,",",3(e15.5,",")))";

bool aborted(const RunResult& r);
bool exited_with(const RunResult& r, int code);

// The names in the directory, sorted.
std::vector<std::string> listing(const TempDir& dir);
bool starts_with(const std::string& text, const std::string& prefix);

// A file cut at a record boundary: a prefix of what the complete run wrote,
// ending with a line end (or empty).
void expect_complete_records(const std::string& text, const std::string& whole,
                             const std::string& name);

// Every record of `text` has the length of a header, then of a row, and the
// text ends with a line end.
void expect_rows(const std::string& text, size_t header, size_t row);

// An ordinary run needs well under 2 MB of data; 8 MB leaves no room for
// keeping a 10 MB input line. The sanitizers reserve their shadow memory as
// data, so their build runs without the limit.
#if defined(__SANITIZE_ADDRESS__)
constexpr long hostile_data_limit = -1;
#else
constexpr long hostile_data_limit = 8 << 20;
#endif

// Follows a run started with `traced` from its start, system call by system
// call, until its first write to `file` has returned, and sends it `sig`
// there (then lets it run on untraced). False if the run ended before.
bool signal_after_first_write(pid_t pid, const std::string& file, int sig);

// Standard input from a file (huge inputs need no pipe), standard output
// to `out_path` or collected.
RunResult run_from_file(const TempDir& dir, const std::string& input,
                        const std::string& out_path = "", const RunOptions& opt = {});

// The run's state as the kernel tells it: 'S' while it waits.
char process_state(pid_t pid);

// Waits until `ready` holds while the run sleeps, for at most 20 s.
template <class Ready>
bool wait_until(pid_t pid, Ready ready) {
  for (int k = 0; k < 10000; k++) {
    if (ready() && process_state(pid) == 'S') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// Everything queued in a pipe or FIFO, read without waiting.
std::string drain(int fd);
// The bytes queued in a pipe or FIFO.
int queued(int fd);
