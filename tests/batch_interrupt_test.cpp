// Ctrl-C on slipvel-batch: the interrupt goes to its process group, as a
// terminal sends it. One row is surely running when the interrupt comes: a
// run takes a few milliseconds, so the first row waits at its first prompt
// for answers held back by a stand-in beside the batch tool.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "batch_support.h"

namespace {

namespace fs = std::filesystem;

// Whether the process's status shows SIGINT in the signal set `key` (SigPnd,
// ShdPnd, SigCgt, ...).
bool has_sigint(pid_t pid, const std::string& key) {
  std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
  size_t at = status.find(key + ":\t");
  return at != std::string::npos &&
         std::stoull(status.substr(at + key.size() + 2, 16), nullptr, 16) & (1ull << (SIGINT - 1));
}

// The program running in folder `row` once it handles interrupts (one that
// has not yet taken the signal would simply die of it); its pid, or 0 if
// none ran within 20 s. The stand-in that starts it bears its name, and
// its shell may catch interrupts too: the program is known by its file.
pid_t row_program(const std::string& row) {
  const fs::path program = fs::canonical(build_dir() + "/slipvel");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const auto& p : fs::directory_iterator("/proc")) {
      std::string name = p.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::error_code ec;
      if (fs::read_symlink(p.path() / "exe", ec) != program) continue;
      if (fs::read_symlink(p.path() / "cwd", ec) != row) continue;
      pid_t pid = std::stoi(name);
      if (has_sigint(pid, "SigCgt")) return pid;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return 0;
}

// Each file is a prefix of the example run's file that ends with a record.
void expect_complete_records(const std::string& dir) {
  for (const char* f : {"slip_t.csv", "slip_a.csv", "slip_vel-5triangle.csv", "parameter.csv"}) {
    if (!fs::exists(dir + "/" + f)) continue;
    std::string text = read_file(dir + "/" + f);
    EXPECT_EQ(golden(f).compare(0, text.size(), text), 0) << f;
    EXPECT_TRUE(text.empty() || text.back() == '\n') << f;
  }
}

TEST(BatchInterrupt, EndsCleanlyAndTheSameCommandResumes) {
  TempDir scratch;
  std::vector<Row> rows;
  for (int k = 1; k <= 200; k++) rows.push_back({"p" + std::to_string(k), "6", "4.65", "4.32", "2.8"});
  scratch.write("t.csv", table_text(rows));
  std::string outdir = scratch.file("out");
  // The batch tool runs the program beside it: here a stand-in that holds
  // back the answers of the first row it starts (until the interrupt ends
  // its sleep) and runs every other row, and every later batch, at once.
  fs::create_directory(scratch.file("bin"));
  fs::copy_file(batch_tool(), scratch.file("bin/slipvel-batch"));
  scratch.write("bin/slipvel",
                "#!/bin/sh\n"
                "if mkdir \"$0.held\" 2>/dev/null; then\n"
                "  pwd >\"$0.held/row\"\n"
                "  trap : INT\n"
                "  { sleep 60; cat; } | '" + build_dir() + "/slipvel'\n"
                "else\n"
                "  exec '" + build_dir() + "/slipvel'\n"
                "fi\n");
  fs::permissions(scratch.file("bin/slipvel"), fs::perms::owner_all);
  std::vector<std::string> command = {scratch.file("bin/slipvel-batch"), scratch.file("t.csv"), outdir};

  pid_t batch = start_command(command, {}, scratch);
  std::string marker = scratch.file("bin/slipvel.held/row");
  for (int k = 0; k < 2000 && read_file(marker).empty(); k++)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::string held_dir = read_file(marker);
  if (!held_dir.empty()) held_dir.pop_back();  // the line end of pwd
  pid_t held = held_dir.empty() ? 0 : row_program(held_dir);
  if (held == 0) killpg(batch, SIGKILL);
  ASSERT_NE(held, 0) << "no row was seen running";
  // The held row waits at its first prompt; GNU parallel hands the
  // interrupt on to it, and the batch ends with it.
  killpg(batch, SIGINT);
  Ended end = finish_command(batch, scratch, 60);

  EXPECT_EQ(end.signal, SIGINT) << "exit " << end.code << ": " << end.err;
  // The program's own message for an interrupt.
  EXPECT_EQ(read_file(held_dir + "/stderr.txt"), "Interrupt\n");
  expect_complete_records(held_dir);

  // The job log holds the completed rows only; the summary names them and
  // leaves the status of the others empty.
  std::set<std::string> completed;
  for (const Job& job : read_joblog(outdir + "/joblog")) {
    EXPECT_EQ(job.exitval, 0);
    completed.insert(rows.at(job.seq - 1).id);
  }
  EXPECT_LT(completed.size(), rows.size());
  EXPECT_EQ(completed.count(fs::path(held_dir).filename()), 0u);
  auto summary = file_lines(outdir + "/summary.csv");
  ASSERT_EQ(summary.size(), rows.size() + 1);
  for (size_t k = 0; k < rows.size(); k++)
    EXPECT_EQ(summary[k + 1].rfind(rows[k].id + (completed.count(rows[k].id) ? ",0," : ",,"), 0), 0u)
        << summary[k + 1];
  EXPECT_NE(end.err.find(std::to_string(rows.size() - completed.size()) + " rows not run"),
            std::string::npos) << end.err;

  auto state = [&](const std::string& id) { return file_state(outdir + "/" + id + "/slip_a.csv"); };
  std::map<std::string, std::string> kept;
  for (const std::string& id : completed) kept[id] = state(id);
  Ended again = run_command(command, {}, scratch);
  EXPECT_EQ(again.code, 0) << again.err;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    for (const char* f : {"slip_t.csv", "slip_a.csv", "slip_vel-5triangle.csv", "parameter.csv"})
      EXPECT_TRUE(read_file(outdir + "/" + row.id + "/" + f) == golden(f)) << f;
  }
  for (const auto& [id, before] : kept) EXPECT_EQ(state(id), before) << id << " ran again";
}

}  // namespace
