// Process plumbing and comparisons for the tests of slipvel-batch.
#include "support/batch_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <thread>

#ifndef SLIPVEL_BIN
#define SLIPVEL_BIN "build/slipvel"
#endif

std::string table_text(const std::vector<Row>& rows) {
  std::string text = "id,fmax,slip,vm,ts\n";
  for (const Row& r : rows) text += r.id + "," + r.fmax + "," + r.slip + "," + r.vm + "," + r.ts + "\n";
  return text;
}

std::string build_dir() { return std::filesystem::path(SLIPVEL_BIN).parent_path(); }
std::string batch_tool() { return build_dir() + "/slipvel-batch"; }

int shell_status(const RunResult& r) { return r.exited ? r.code : 128 + r.code; }

RunResult expect_direct_run(const std::string& dir, const std::string& answers) {
  TempDir direct;
  RunResult r = run_slipvel(direct.path, answers);
  for (const char* f : row_files) {
    std::string name = f, path = dir + "/" + name;
    if (name == "stdout.txt" || name == "stderr.txt") {
      EXPECT_TRUE(read_file(path) == (name == "stdout.txt" ? r.out : r.err)) << path;
    } else if (!direct.exists(name)) {
      EXPECT_FALSE(std::filesystem::exists(path)) << path << " (a direct run writes none)";
    } else {
      EXPECT_TRUE(std::filesystem::exists(path) && read_file(path) == direct.read(name))
          << path << " differs from a direct run";
    }
  }
  return r;
}

std::string file_state(const std::string& path) {
  struct stat s {};
  if (stat(path.c_str(), &s) != 0) return "missing";
  return std::to_string(s.st_ino) + "@" + std::to_string(s.st_mtim.tv_sec) + "." +
         std::to_string(s.st_mtim.tv_nsec);
}

std::vector<std::string> file_lines(const std::string& path) {
  std::vector<std::string> v;
  std::istringstream s(read_file(path));
  for (std::string l; std::getline(s, l);) v.push_back(l);
  return v;
}

std::vector<Job> read_joblog(const std::string& path) {
  std::vector<Job> jobs;
  for (const std::string& line : file_lines(path)) {
    std::vector<std::string> f;
    std::istringstream s(line);
    for (std::string x; f.size() < 8 && std::getline(s, x, '\t');) f.push_back(x);
    if (f.size() < 8 || f[0] == "Seq") continue;
    jobs.push_back({std::stoi(f[0]), f[1], std::stoi(f[6]), std::stoi(f[7])});
  }
  return jobs;
}

std::string row_folder(const std::string& outdir, const std::string& id, int status) {
  return outdir + (status == 0 ? "/" : "/failed/") + id;
}

std::vector<int> expect_direct_rows(const std::string& outdir, const std::vector<Row>& rows) {
  std::vector<int> statuses;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    TempDir direct;
    int status = shell_status(run_slipvel(direct.path, row.answers()));
    expect_direct_run(row_folder(outdir, row.id, status), row.answers());
    EXPECT_FALSE(std::filesystem::exists(row_folder(outdir, row.id, status == 0 ? 1 : 0)));
    statuses.push_back(status);
  }
  return statuses;
}

std::vector<Row> example_rows(int n) {
  std::vector<Row> rows;
  for (int k = 1; k <= n; k++) rows.push_back({"p" + std::to_string(k), "6", "4.65", "4.32", "2.8"});
  return rows;
}

std::string batch_beside(const TempDir& scratch, const std::string& body) {
  std::filesystem::create_directories(scratch.file("bin"));
  std::filesystem::copy_file(batch_tool(), scratch.file("bin/slipvel-batch"),
                             std::filesystem::copy_options::overwrite_existing);
  scratch.write("bin/slipvel", "#!/bin/sh\nSLIPVEL='" + build_dir() + "/slipvel'\n" + body);
  std::filesystem::permissions(scratch.file("bin/slipvel"), std::filesystem::perms::owner_all |
                                                               std::filesystem::perms::group_exec |
                                                               std::filesystem::perms::others_exec);
  return scratch.file("bin/slipvel-batch");
}

std::vector<std::string> as_nobody(std::vector<std::string> argv) {
  argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"});
  return argv;
}

Ended rerun_when_unlocked(const std::vector<std::string>& command, const TempDir& scratch) {
  Ended again;
  for (int k = 0; k < 100; k++) {
    again = run_command(command, {}, scratch);
    if (again.code != 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return again;
}
