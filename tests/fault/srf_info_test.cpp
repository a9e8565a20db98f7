// slipvel-fault info as a user meets it: the shared files of other programs,
// a pipe and a FIFO, files it may not read, a full standard output, and a
// file of a million points read in the memory of one.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "support/batch_support.h"

namespace {

std::string shared_srf(const std::string& name) { return SLIPVEL_SHARED "/srf/" + name; }

bool have_shared() { return std::filesystem::exists(shared_srf("README.md")); }

#define NEED_SHARED()                                                              \
  if (!have_shared()) GTEST_SKIP() << "no shared SRF files at " << shared_srf("") \
                                   << " (the folder ../shared beside the project)"

Ended info(const std::vector<std::string>& args, const TempDir& scratch) {
  std::vector<std::string> argv = {SLIPVEL_FAULT_BIN, "info"};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_command(argv, {}, scratch);
}

Ended shell(const std::string& script, const TempDir& scratch) {
  return run_command({"/bin/sh", "-c", script}, {}, scratch);
}

// The facts of the shared README's table, to its digits, and the largest
// misfit of the samples within its bound (9.1e-5 and 9.2e-4).
const char* m55_facts =
    "version: 2.0\n"
    "segments: 1 (27 x 27 subfaults, 5.6 x 5.6 km)\n"
    "POINTS blocks: 1\n"
    "points: 729\n"
    "points with samples (NT1 > 0): 638\n"
    "sum of AREA*SLIP1: 8.423107e+06 m^3\n"
    "moment M0: 1.995266e+17 N m\n"
    "Mw: 5.4667\n"
    "largest NT1: 15\n"
    "largest TINIT: 9.4834 s\n"
    "largest |DT*sum(SR1) - SLIP1|/SLIP1: 9.10e-05 (the point on line 1235)\n";

const char* m65_facts =
    "version: 2.0\n"
    "segments: 1 (100 x 65 subfaults, 20 x 13 km)\n"
    "POINTS blocks: 1\n"
    "points: 6500\n"
    "points with samples (NT1 > 0): 5303\n"
    "sum of AREA*SLIP1: 2.603017e+08 m^3\n"
    "moment M0: 6.166027e+18 N m\n"
    "Mw: 6.4600\n"
    "largest NT1: 68\n"
    "largest TINIT: 14.032 s\n"
    "largest |DT*sum(SR1) - SLIP1|/SLIP1: 9.12e-04 (the point on line 39137)\n";

struct SharedCase {
  const char* file;
  const char* facts;
};

TEST(SrfInfo, TheLargeSharedFilesGiveTheFactsOfTheirTable) {
  NEED_SHARED();
  TempDir scratch;
  for (SharedCase c : {SharedCase{"m5.5-5.6x5.6.s200.0.v5.1.srf", m55_facts},
                       SharedCase{"m6.5-20.0x13.0.s500.v5.1.srf", m65_facts}}) {
    Ended r = info({shared_srf(c.file)}, scratch);
    EXPECT_EQ(r.out, c.facts) << c.file;
    EXPECT_EQ(r.err, "") << c.file;
    EXPECT_EQ(r.code, 0) << c.file;
  }
}

// gauss2.srf says 2.0 but its points have 8 fields: read as 1.0 points, so
// it has no moment, with one warning naming its first point.
TEST(SrfInfo, Gauss2IsReadWithAWarningAndNoMoment) {
  NEED_SHARED();
  TempDir scratch;
  std::string path = shared_srf("gauss2.srf");
  Ended r = info({path}, scratch);
  EXPECT_EQ(r.out,
            "version: 2.0\n"
            "segments: 1 (2 x 2 subfaults, 4 x 4 km)\n"
            "POINTS blocks: 1\n"
            "points: 1\n"
            "points with samples (NT1 > 0): 1\n"
            "sum of AREA*SLIP1: 4.000000e+06 m^3\n"
            "moment M0: none (the points have no VS and DEN)\n"
            "Mw: none (no moment)\n"
            "largest NT1: 36\n"
            "largest TINIT: 3 s\n"
            "largest |DT*sum(SR1) - SLIP1|/SLIP1: 8.09e-06 (the point on line 6)\n");
  EXPECT_EQ(r.err, "slipvel-fault: " + path +
                       ":6: warning: a version 2.0 point with 8 fields (no VS, DEN): its points are "
                       "read as version 1.0 points, VS and DEN unknown\n");
  EXPECT_EQ(r.code, 0);
}

// rtest.srf declares 8 points and has the first line of a 9th: refused at
// that line, with the count POINTS declares.
TEST(SrfInfo, RtestIsRefusedAtItsNinthPoint) {
  NEED_SHARED();
  TempDir scratch;
  std::string path = shared_srf("rtest.srf");
  Ended r = info({path}, scratch);
  EXPECT_EQ(r.err, "slipvel-fault: " + path + ":53: more points than the 8 that POINTS on line 5 declares\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out, "");
}

// A 1.0 file says plainly that it has no moment.
TEST(SrfInfo, A10FileHasNoMoment) {
  TempDir scratch;
  scratch.write("f.srf", "1.0\nPOINTS 1\n0 0 1 0 90 1e10 0.5 0.01\n0 2 2 0 0 0 0\n100 100\n");
  Ended r = info({scratch.file("f.srf")}, scratch);
  EXPECT_EQ(r.out,
            "version: 1.0\n"
            "segments: none (no PLANE block)\n"
            "POINTS blocks: 1\n"
            "points: 1\n"
            "points with samples (NT1 > 0): 1\n"
            "sum of AREA*SLIP1: 2.000000e+04 m^3\n"
            "moment M0: none (version 1.0 files have no VS and DEN)\n"
            "Mw: none (no moment)\n"
            "largest NT1: 2\n"
            "largest TINIT: 0.5 s\n"
            "largest |DT*sum(SR1) - SLIP1|/SLIP1: 0.00e+00 (the point on line 3)\n");
  EXPECT_EQ(r.code, 0);
}

// Empty blocks: nothing to take a largest of, said so on each line.
TEST(SrfInfo, AFileOfNoPointsSaysSo) {
  TempDir scratch;
  scratch.write("f.srf", "2.0\nPOINTS 0\n");
  Ended r = info({scratch.file("f.srf")}, scratch);
  EXPECT_EQ(r.out,
            "version: 2.0\n"
            "segments: none (no PLANE block)\n"
            "POINTS blocks: 1\n"
            "points: 0\n"
            "points with samples (NT1 > 0): 0\n"
            "sum of AREA*SLIP1: 0.000000e+00 m^3\n"
            "moment M0: none (no points)\n"
            "Mw: none (no moment)\n"
            "largest NT1: none (no points)\n"
            "largest TINIT: none (no points)\n"
            "largest |DT*sum(SR1) - SLIP1|/SLIP1: none (no point with SLIP1 > 0)\n");
  EXPECT_EQ(r.code, 0);
}

// A file that arrives on a pipe or through a FIFO is read as it comes, as
// the same file on disk.
TEST(SrfInfo, APipeAndAFifoAreReadAsTheFileItself) {
  NEED_SHARED();
  TempDir scratch;
  std::string src = shared_srf("m5.5-5.6x5.6.s200.0.v5.1.srf"), fifo = scratch.file("in.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string bin = SLIPVEL_FAULT_BIN;
  Ended piped = shell("cat '" + src + "' | '" + bin + "' info /dev/stdin", scratch);
  EXPECT_EQ(piped.out, m55_facts);
  EXPECT_EQ(piped.code, 0) << piped.err;
  Ended fifoed = shell("cat '" + src + "' > '" + fifo + "' & exec '" + bin + "' info '" + fifo + "'", scratch);
  EXPECT_EQ(fifoed.out, m55_facts);
  EXPECT_EQ(fifoed.code, 0) << fifoed.err;
}

// A FIFO that no writer opens: an interrupt ends the wait at once.
TEST(SrfInfo, AnInterruptEndsTheWaitForAFifosWriter) {
  TempDir scratch;
  std::string fifo = scratch.file("in.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  pid_t pid = start_command({SLIPVEL_FAULT_BIN, "info", fifo}, {}, scratch);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  kill(pid, SIGINT);
  Ended r = finish_command(pid, scratch, 10);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.signal, SIGINT);
  EXPECT_EQ(r.out, "");
}

// A pipe that keeps bringing samples of a point that declares two billion:
// an interrupt ends the read within a chunk, not at the end of the data.
TEST(SrfInfo, AnInterruptEndsAReadThatGoesOn) {
  TempDir scratch;
  std::string fifo = scratch.file("in.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::signal(SIGPIPE, SIG_IGN);  // the reader's end is the writer's EPIPE
  pid_t pid = start_command({SLIPVEL_FAULT_BIN, "info", fifo}, {}, scratch);
  std::thread writer([&] {
    int fd = open(fifo.c_str(), O_WRONLY);
    std::string head = "2.0\nPOINTS 1\n0 0 1 0 90 1 0 0.01 1 1\n0 1 2000000000 0 0 0 0\n";
    std::string samples;
    while (samples.size() < 65536) samples += "1 1 1 1 1 1\n";
    bool ok = fd >= 0 && write(fd, head.data(), head.size()) > 0;
    while (ok) ok = write(fd, samples.data(), samples.size()) > 0;
    if (fd >= 0) close(fd);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(pid, SIGINT);
  Ended r = finish_command(pid, scratch, 10);
  writer.join();
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.signal, SIGINT);
  EXPECT_EQ(r.out, "");
}

// A file without line feeds is not held whole: its first 64 MiB are refused.
TEST(SrfInfo, ALineOf64MiBIsRefused) {
  TempDir scratch;
  Ended r = shell("{ echo 2.0; head -c 67108864 /dev/zero; } | exec '" SLIPVEL_FAULT_BIN
                  "' info /dev/stdin",
                  scratch);
  EXPECT_EQ(r.err, "slipvel-fault: /dev/stdin:2: a line of 67108864 bytes or more\n");
  EXPECT_EQ(r.code, 2);
}

struct Unreadable {
  const char* why;
  std::string (*make)(const TempDir&);  // returns the path given to info
  const char* reason;                   // after "slipvel-fault: PATH: "
};

const Unreadable unreadable[] = {
    {"a file that is not there", [](const TempDir& d) { return d.file("none.srf"); },
     "cannot open: No such file or directory"},
    {"a folder", [](const TempDir& d) { return d.path; }, "read failed: Is a directory"},
    {"a file its reader may not read",
     [](const TempDir& d) {
       d.write("secret.srf", "2.0\nPOINTS 0\n");
       chmod(d.file("secret.srf").c_str(), 0);
       return d.file("secret.srf");
     },
     "cannot open: Permission denied"},
};

// Files that cannot be read get the system's reason and status 1; root
// reads anything, so the run is made as nobody.
TEST(SrfInfo, AFileThatCannotBeReadGetsTheSystemsReason) {
  TempDir scratch;
  std::vector<std::string> as_nobody;
  if (geteuid() == 0) as_nobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  for (const Unreadable& u : unreadable) {
    std::string path = u.make(scratch);
    std::vector<std::string> argv = as_nobody;
    for (std::string a : {std::string(SLIPVEL_FAULT_BIN), std::string("info"), path}) argv.push_back(a);
    Ended r = run_command(argv, {}, scratch);
    EXPECT_EQ(r.err, "slipvel-fault: " + path + ": " + u.reason + "\n") << u.why;
    EXPECT_EQ(r.code, 1) << u.why;
    EXPECT_EQ(r.out, "") << u.why;
  }
}

// The facts reach standard output whole, or the run says why not.
TEST(SrfInfo, AFullStandardOutputIsAFailure) {
  TempDir scratch;
  scratch.write("f.srf", "2.0\nPOINTS 0\n");
  Ended r = shell("exec '" SLIPVEL_FAULT_BIN "' info '" + scratch.file("f.srf") + "' > /dev/full", scratch);
  EXPECT_EQ(r.err, "slipvel-fault: standard output: write failed: No space left on device\n");
  EXPECT_EQ(r.code, 1);
}

struct Usage {
  const char* why;
  std::vector<std::string> args;
  const char* message;
};

TEST(SrfInfo, AWrongCommandLineIsRefused) {
  TempDir scratch;
  const Usage cases[] = {
      {"no file", {}, "no SRF file given\nusage: slipvel-fault info FILE.srf"},
      {"two files", {"a.srf", "b.srf"}, "one SRF file at a time: b.srf\nusage: slipvel-fault info FILE.srf"},
      {"an option info does not have", {"-v", "a.srf"},
       "unknown option -v\nusage: slipvel-fault info FILE.srf"},
  };
  for (const Usage& u : cases) {
    Ended r = info(u.args, scratch);
    EXPECT_EQ(r.err, std::string("slipvel-fault: ") + u.message + "\n") << u.why;
    EXPECT_EQ(r.code, 2) << u.why;
  }
  // After "--" a name may start with "-".
  scratch.write("-f.srf", "2.0\nPOINTS 0\n");
  Ended r = shell("cd '" + scratch.path + "' && exec '" SLIPVEL_FAULT_BIN "' info -- -f.srf", scratch);
  EXPECT_EQ(r.code, 0) << r.err;
}

// A million points on a pipe: the reader holds one point at a time, so the
// run's peak memory stays that of a small file (a reader that kept the
// points would need some 300 MB). Each point: 1e10 cm^2, 1 cm of slip, in
// four samples of 25 cm/s at 0.01 s, mu = 0.1 * (3e5)^2 * 2.7 = 2.43e10 Pa,
// so the moment is 1e6 * 2.43e10 * 1e6 m^2 * 0.01 m = 2.43e20 N m and
// Mw = 2/3 (log10 2.43e20 - 9.1) = 7.5237.
TEST(SrfInfo, AMillionPointsAreReadInTheMemoryOfOne) {
  constexpr long n = 1000000;
  int feed[2], out[2];
  ASSERT_EQ(pipe(feed), 0);
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(feed[0], 0), dup2(out[1], 1);
    for (int fd : {feed[0], feed[1], out[0], out[1]}) close(fd);
    execl(SLIPVEL_FAULT_BIN, "slipvel-fault", "info", "/dev/stdin", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(feed[0]), close(out[1]);
  std::thread writer([&] {
    std::string point = "0.5 0.5 1 0 90 1e10 0 0.01 3e5 2.7\n0 1 4 0 0 0 0\n25 25 25 25\n";
    std::string chunk;
    for (int i = 0; i < 1000; i++) chunk += point;
    std::string head = "2.0\nPOINTS " + std::to_string(n) + "\n";
    bool ok = write(feed[1], head.data(), head.size()) == ssize_t(head.size());
    for (long k = 0; ok && k < n / 1000; k++) {
      for (size_t sent = 0; ok && sent < chunk.size();) {
        ssize_t w = write(feed[1], chunk.data() + sent, chunk.size() - sent);
        ok = w > 0;
        sent += ok ? size_t(w) : 0;
      }
    }
    close(feed[1]);
  });
  std::string text;
  char buf[4096];
  for (ssize_t got; (got = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, size_t(got));
  close(out[0]);
  writer.join();
  int status = 0;
  rusage use{};
  ASSERT_EQ(wait4(pid, &status, 0, &use), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(text,
            "version: 2.0\n"
            "segments: none (no PLANE block)\n"
            "POINTS blocks: 1\n"
            "points: 1000000\n"
            "points with samples (NT1 > 0): 1000000\n"
            "sum of AREA*SLIP1: 1.000000e+10 m^3\n"
            "moment M0: 2.430000e+20 N m\n"
            "Mw: 7.5237\n"
            "largest NT1: 4\n"
            "largest TINIT: 0 s\n"
            "largest |DT*sum(SR1) - SLIP1|/SLIP1: 0.00e+00 (the point on line 3)\n");
  EXPECT_LT(use.ru_maxrss, 32 * 1024) << "peak memory in KiB";
}

}  // namespace
