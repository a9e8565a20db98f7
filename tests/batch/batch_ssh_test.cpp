// slipvel-batch on other machines: the rows go over ssh to an sshd that the
// test starts on 127.0.0.1 with a throw-away host key and login key, and their
// folders come back. Skipped, with the reason, where sshd cannot start.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <set>
#include <thread>

#include "support/batch_support.h"

namespace {

const char* sshd = "/usr/sbin/sshd";

// A port on 127.0.0.1 that nothing listens on now.
int free_port() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

bool accepts(int port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(s);
  return ok;
}

// An sshd of the test's own, in the foreground, ended with the test. The
// client side is an ssh config file: the key, the port and the host key.
class Sshd {
 public:
  std::string skip;  // why it does not run, if it does not
  std::string ssh_config;

  Sshd() {
    for (const char* tool : {sshd, "/usr/bin/ssh", "/usr/bin/ssh-keygen", "/usr/bin/rsync"})
      if (access(tool, X_OK) != 0) skip = std::string(tool) + " is missing (openssh-server, rsync)";
    if (skip.empty() && geteuid() != 0) skip = "sshd for a login to this machine needs root";
    if (!skip.empty()) return;
    mkdir("/run/sshd", 0755);  // sshd's own empty folder, as its service makes it
    for (const char* key : {"host_key", "login_key"})
      if (run_command({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", keys.file(key)}, {}, keys)
              .code != 0)
        skip = "ssh-keygen failed";
    if (!skip.empty()) return;
    start(free_port());
    if (!skip.empty()) return;
    Ended login = run_command({"/usr/bin/ssh", "-F", ssh_config, "127.0.0.1", "true"}, {}, keys);
    if (login.code != 0) skip = "no login to the test's sshd: " + login.err;
  }

  // The batch's environment: GNU parallel's ssh with this client config.
  std::vector<std::string> env() const { return {"PARALLEL_SSH=ssh -F " + ssh_config}; }

  ~Sshd() {
    if (pid > 0) {
      killpg(pid, SIGTERM);
      finish_command(pid, log, 10);
    }
  }

 private:
  TempDir keys, log;
  pid_t pid = 0;

  void start(int port) {
    std::string p = std::to_string(port);
    keys.write("authorized_keys", keys.read("login_key.pub"));
    keys.write("sshd_config", "ListenAddress 127.0.0.1:" + p + "\nHostKey " + keys.file("host_key") +
                                  "\nAuthorizedKeysFile " + keys.file("authorized_keys") +
                                  "\nPidFile none\nStrictModes no\nUsePAM no\n"
                                  "PasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                                  "PermitRootLogin prohibit-password\n"
                                  // The remote side finds the built program on its PATH.
                                  "SetEnv PATH=" + build_dir() + ":/usr/local/bin:/usr/bin:/bin\n");
    keys.write("known_hosts", "[127.0.0.1]:" + p + " " + keys.read("host_key.pub"));
    ssh_config = keys.file("ssh_config");
    keys.write("ssh_config", "Host *\n  Port " + p + "\n  IdentityFile " + keys.file("login_key") +
                                 "\n  IdentitiesOnly yes\n  UserKnownHostsFile " + keys.file("known_hosts") +
                                 "\n  StrictHostKeyChecking yes\n  BatchMode yes\n  LogLevel ERROR\n");
    pid = start_command({sshd, "-D", "-e", "-f", keys.file("sshd_config")}, {}, log);
    for (int k = 0; k < 100 && !accepts(port); k++) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!accepts(port)) skip = "sshd did not start: " + log.read("command.err");
  }
};

// The rows run on the machines given with -S; with ":" some run on this
// machine, in OUTDIR itself, and the others come back beside them.
class BatchSsh : public testing::TestWithParam<const char*> {};

TEST_P(BatchSsh, RowsRunOverSshAndTheirFoldersComeBack) {
  const std::string logins = GetParam();
  Sshd server;
  if (!server.skip.empty()) GTEST_SKIP() << server.skip;
  TempDir scratch;
  std::vector<std::string> env = server.env();

  scratch.write("victim", "");
  std::string canary = scratch.file("canary");
  std::vector<Row> rows = {
      {"example", "6", "4.65", "4.32", "2.8"},
      {"units", "6 (Hz)", "4.65 (m)", "4.32 (m/s)", "2.8 (s)"},
      {"zero", "0", "4.65", "4.32", "2.8"},
      {"subst", "$(touch " + canary + ")", "4.65", "4.32", "2.8"},
      {"list", "6;rm -f " + scratch.file("victim"), "4.65", "4.32", "2.8"},
      {"quotes", "6", "`touch " + canary + "`", "'4.32\"", "2.8 $HOME"},
      {"readback", "6", "100", "1", "1"},
  };
  for (int k = 1; k <= 9; k++) rows.push_back({"p" + std::to_string(k), "6", "4.65", "4.32", "2.8"});
  scratch.write("t.csv", table_text(rows));
  Ended end = run_command({batch_tool(), "-j", "1", "-S", logins, scratch.file("t.csv"), scratch.file("out")},
                          env, scratch);
  EXPECT_EQ(end.code, 1) << end.err;

  std::set<std::string> hosts;
  for (const Job& job : read_joblog(scratch.file("out/joblog"))) hosts.insert(job.host);
  std::set<std::string> machines = {"127.0.0.1"};
  if (logins == "127.0.0.1,:") machines.insert(":");
  EXPECT_EQ(hosts, machines);
  std::vector<int> statuses = expect_direct_rows(scratch.file("out"), rows);
  auto summary = file_lines(scratch.file("out/summary.csv"));
  ASSERT_EQ(summary.size(), rows.size() + 1);
  for (size_t k = 0; k < rows.size(); k++)
    EXPECT_EQ(summary[k + 1].rfind(rows[k].id + "," + std::to_string(statuses[k]) + ",", 0), 0u) << summary[k + 1];
  EXPECT_FALSE(scratch.exists("canary"));
  EXPECT_TRUE(scratch.exists("victim"));
  // OUTDIR holds the rows and the batch's own files, nothing of the
  // machines' working folders.
  std::set<std::string> names, expected = {"summary.csv", "table.csv", "joblog", "failed", ".batch"};
  for (const auto& e : std::filesystem::directory_iterator(scratch.file("out"))) names.insert(e.path().filename());
  for (size_t k = 0; k < rows.size(); k++)
    if (statuses[k] == 0) expected.insert(rows[k].id);
  EXPECT_EQ(names, expected);
}

INSTANTIATE_TEST_SUITE_P(Logins, BatchSsh, testing::Values("127.0.0.1", "127.0.0.1,:"));

}  // namespace

namespace {

// Whether a row's folder is a whole run: its six files, each ending with a
// line end (stderr.txt empty), and the program's four with all their lines.
bool whole_row(const std::string& dir) {
  const std::pair<const char*, int> files[] = {{"slip_t.csv", 1002}, {"slip_a.csv", 2513},
                                               {"slip_vel-5triangle.csv", 1002}, {"parameter.csv", 11},
                                               {"stdout.txt", -1}, {"stderr.txt", 0}};
  for (auto [name, lines] : files) {
    std::string path = dir + "/" + name;
    if (!std::filesystem::is_regular_file(path)) return false;
    std::string text = read_file(path);
    if (lines == 0 ? !text.empty() : text.empty() || text.back() != '\n') return false;
    if (lines > 0 && count_lines(text) != lines) return false;
  }
  return true;
}

// Two machines, the batch polled while the other machine's rows come back
// and then stopped by SIGTERM: at every poll each folder OUTDIR/ID is a
// whole run; the same command again completes the batch.
TEST(BatchSshReturns, FoldersAppearWholeAndATermLeavesNoneCut) {
  Sshd server;
  if (!server.skip.empty()) GTEST_SKIP() << server.skip;
  TempDir scratch;
  std::vector<std::string> env = server.env();
  std::vector<Row> rows = example_rows(40);
  scratch.write("t.csv", table_text(rows));
  std::string outdir = scratch.file("out");
  std::vector<std::string> command = {batch_tool(), "-j", "2", "-S", "127.0.0.1,:", scratch.file("t.csv"), outdir};
  // Rows on both machines; the other machine's come back file by file.
  pid_t batch = start_command(command, env, scratch);
  int polls = 0, seen = 0;
  bool termed = false;
  auto start = std::chrono::steady_clock::now();
  auto running = [&] {
    siginfo_t info{};
    return waitid(P_PID, batch, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
  };
  while (running() && std::chrono::steady_clock::now() - start < std::chrono::seconds(150)) {
    polls++;
    int in_place = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(outdir, ec)) {
      std::string name = e.path().filename();
      if (!e.is_directory() || name == "failed" || name == ".batch") continue;
      in_place++;
      // A cheap look at every poll (the six files there), the whole check
      // at the end: a folder filled file by file shows fewer.
      int files = 0;
      for (const auto& f : std::filesystem::directory_iterator(e.path(), ec)) files += f.is_regular_file();
      EXPECT_EQ(files, 6) << name << " at poll " << polls;
    }
    seen = std::max(seen, in_place);
    // Stopped once a group of the other machine has come back, while the
    // next ones may be coming back.
    bool returned = read_file(outdir + "/joblog").find("\t127.0.0.1\t") != std::string::npos;
    if (!termed && (returned || std::chrono::steady_clock::now() - start > std::chrono::seconds(60))) {
      kill(batch, SIGTERM);
      termed = true;
    }
  }
  Ended end = finish_command(batch, scratch, 60);
  EXPECT_TRUE(termed);
  EXPECT_EQ(end.signal, SIGTERM) << end.code << end.err;
  for (const auto& e : std::filesystem::directory_iterator(outdir)) {
    std::string name = e.path().filename();
    if (e.is_directory() && name != "failed" && name != ".batch") EXPECT_TRUE(whole_row(e.path())) << name;
  }
  // No row outlives the batch: the same command again runs at once.
  Ended again = run_command(command, env, scratch);
  EXPECT_EQ(again.code, 0) << again.err;
  expect_direct_rows(outdir, rows);
  std::printf("%d polls, up to %d folders in place before the end\n", polls, seen);
}

}  // namespace
