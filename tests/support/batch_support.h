#pragma once
// Runs slipvel-batch as a user does from a shell, and compares the folders it
// leaves with direct runs of the program.
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/run_program.h"

// One row of a batch table: the folder name and the four answers as typed.
struct Row {
  std::string id, fmax, slip, vm, ts;
  std::string answers() const { return fmax + "\n" + slip + "\n" + vm + "\n" + ts + "\n"; }
};

std::string table_text(const std::vector<Row>& rows);

// The built program's folder and the batch tool beside the built program.
std::string build_dir();
std::string batch_tool();

// The status a shell reports for a run of the program.
int shell_status(const RunResult& r);

// Expects `dir` to hold what a direct run with `answers` leaves in an empty
// folder (the same four files, or the same missing ones) and the run's
// standard output and error as stdout.txt and stderr.txt; returns that run.
RunResult expect_direct_run(const std::string& dir, const std::string& answers);

// Inode and modification time of a file: both stay while it is not rewritten.
std::string file_state(const std::string& path);

// The rows of a file, without their line ends.
std::vector<std::string> file_lines(const std::string& path);

// Sequence numbers and exit statuses of the jobs in a GNU parallel job log.
struct Job {
  int seq;
  std::string host;
  int exitval, signal;
};
std::vector<Job> read_joblog(const std::string& path);

// Where a row's folder ends up in OUTDIR: ID once its run ended with 0 (the
// commit), failed/ID after any other end.
std::string row_folder(const std::string& outdir, const std::string& id, int status);

// Expects the folder of each row in `outdir` to be a direct run with its
// answers, in ID or failed/ID as that run ends; returns the direct runs'
// statuses as a shell gives them.
std::vector<int> expect_direct_rows(const std::string& outdir, const std::vector<Row>& rows);

// `n` rows of the example answers, ids p1 .. pn.
std::vector<Row> example_rows(int n);

// A copy of the batch tool in scratch/bin beside a stand-in for the program:
// the shell script `body`, in which $SLIPVEL is the built program. Returns
// the copy's path.
std::string batch_beside(const TempDir& scratch, const std::string& body);

// argv as the user nobody (CI runs as root; permissions bind only others).
std::vector<std::string> as_nobody(std::vector<std::string> argv);

inline const char* row_files[] = {"slip_t.csv", "slip_a.csv", "slip_vel-5triangle.csv",
                                  "parameter.csv", "stdout.txt", "stderr.txt"};

// Runs a batch command again once the rows that outlived the batch before it
// have ended: while they hold OUTDIR's lock the run is refused with 2; tried
// for at most 10 s.
Ended rerun_when_unlocked(const std::vector<std::string>& command, const TempDir& scratch);
