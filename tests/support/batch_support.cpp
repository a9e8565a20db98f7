// Process plumbing and comparisons for the tests of slipvel-batch.
#include "support/batch_support.h"

#include "sys/child_environment.h"

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

pid_t start_command(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    const TempDir& scratch) {
  std::vector<std::string> args = argv, vars = environment_with(env);
  std::vector<char*> arg_p = exec_array(args), var_p = exec_array(vars);
  std::string out = scratch.file("command.out"), err = scratch.file("command.err");
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    int in = open("/dev/null", O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0) _exit(127);
    dup2(in, 0), dup2(o, 1), dup2(e, 2);
    for (int s : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD}) std::signal(s, SIG_DFL);
    execve(arg_p[0], arg_p.data(), var_p.data());
    _exit(127);
  }
  setpgid(pid, pid);  // either side may win the race; both set the same group
  return pid;
}

Ended finish_command(pid_t pid, const TempDir& scratch, int bound_s) {
  Ended r;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(bound_s);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      killpg(pid, SIGKILL);
      waitpid(pid, &status, 0);
      r.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status)) r.code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  r.out = scratch.read("command.out");
  r.err = scratch.read("command.err");
  return r;
}

Ended run_command(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const TempDir& scratch, int bound_s) {
  return finish_command(start_command(argv, env, scratch), scratch, bound_s);
}

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
