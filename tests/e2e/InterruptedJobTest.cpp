// Jobs stopped at random moments, and jobs that overlap, against the
// private Dovecot with the program as the build leaves it: no message is
// ever lost, and the next job saves and names what the stopped one left.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "Corpus.h"
#include "Files.h"
#include "PrivateDovecot.h"
#include "Process.h"
#include "QuarrowJob.h"
#include "Unavailable.h"

namespace {

using harness::CorpusMessage;
using harness::ProcessResult;

harness::PrivateDovecot* server = nullptr;

ProcessResult Job(const std::string& drive,
                  const std::function<void(int pid)>& started = {}) {
  return harness::RunQuarrowJob(QUARROW_BUILT_PROGRAM, *server, server->pop3Port(), "Velbrin",
                                server->password(), drive, {}, started);
}

std::vector<std::string> PartFiles(const std::string& folder) {
  std::vector<std::string> parts;
  for (const std::string& name : harness::ListFolder(folder))
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0) parts.push_back(name);
  return parts;
}

TEST(InterruptedJob, KillsAtRandomMomentsLoseNoMessage) {
  const std::vector<CorpusMessage> corpus = harness::Corpus();
  // How long a whole job takes here, to spread the kills over it.
  double jobSeconds;
  {
    harness::TempFolder drive("quarrow-kill-d");
    server->SetMessages(harness::RawMessages(corpus));
    const ProcessResult whole = Job(drive.path());
    ASSERT_EQ(whole.status, 0) << whole.err;
    jobSeconds = whole.seconds;
  }
  const char* given = std::getenv("QUARROW_KILL_SEED");
  const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10))
                              : static_cast<unsigned>(std::random_device{}());
  std::cout << "kill campaign seed " << seed << " (QUARROW_KILL_SEED repeats it)" << std::endl;
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> moment(0.0, jobSeconds * 1.1);

  const int kTrials = 24;
  int recovered = 0;  // trials whose next job saved the stopped one's results
  for (int trial = 0; trial < kTrials; ++trial) {
    // SIGKILL and SIGTERM, each to quarrow alone and to its whole group.
    const int signal = trial % 2 == 0 ? SIGKILL : SIGTERM;
    const bool group = trial % 4 >= 2;
    const auto delay = std::chrono::microseconds(static_cast<long>(moment(random) * 1e6));
    std::string what = "trial " + std::to_string(trial) + ": " +
                       (signal == SIGKILL ? "SIGKILL" : "SIGTERM") + (group ? " to the group" : " to quarrow") +
                       " after " + std::to_string(delay.count() / 1000) + " ms, seed " +
                       std::to_string(seed);
    harness::TempFolder drive("quarrow-kill-d");
    server->SetMessages(harness::RawMessages(corpus));
    // The signal goes through a pidfd, so it can never reach another
    // process that has been given the id since, and not at all once the job
    // has ended.
    std::mutex guard;
    std::condition_variable endedChanged;
    bool ended = false;
    int pidfd = -1;
    std::thread killer;
    const ProcessResult killed = Job(drive.path(), [&](int pid) {
      pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
      killer = std::thread([&, pid] {
        std::unique_lock<std::mutex> lock(guard);
        if (endedChanged.wait_for(lock, delay, [&] { return ended; }) || pidfd < 0) return;
        if (!group) {
          ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0);
        } else if (::syscall(SYS_pidfd_send_signal, pidfd, 0, nullptr, 0) == 0) {
          ::kill(-pid, signal);  // not reaped yet: the group is still ours
        }
      });
    });
    {
      const std::lock_guard<std::mutex> lock(guard);
      ended = true;
    }
    endedChanged.notify_all();
    killer.join();
    if (pidfd >= 0) ::close(pidfd);
    // A polite stop ends with 1; before the handlers are in place the
    // signal itself ends the program.
    if (signal == SIGTERM && killed.status != 0) {
      EXPECT_TRUE(killed.status == 1 || killed.status == 128 + SIGTERM) << what << "\n" << killed.err;
    }
    // Saved attachments that the stopped job had not renamed yet.
    bool extractsLeft = false;
    for (const std::string& name : harness::ListFolder(drive / "job"))
      extractsLeft = extractsLeft || name.rfind("Extract", 0) == 0;

    const ProcessResult next = Job(drive.path());
    recovered += next.err.find("of an interrupted job") != std::string::npos;
    EXPECT_TRUE(next.status == 0 || next.status == 3) << what << "\n" << next.err;
    harness::ExpectNothingLost(corpus, drive.path(), *server, what);
    if (extractsLeft) {
      EXPECT_THAT(next.err, ::testing::HasSubstr("of an interrupted job")) << what;
    }
    // Every name the next job gave for the stopped one's results is there.
    for (size_t at = next.err.find("\""); at != std::string::npos;) {
      const size_t end = next.err.find("\"", at + 1);
      if (end == std::string::npos) break;
      const std::string name = next.err.substr(at + 1, end - at - 1);
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".vch") == 0) {
        EXPECT_TRUE(harness::Exists(drive / ("job/" + name))) << what << ": " << name;
      }
      at = next.err.find("\"", end + 1);
    }
    EXPECT_FALSE(harness::Exists(drive / "job/.quarrow-retrieval")) << what;
    EXPECT_THAT(harness::BadlyNamedResults(drive / "job"), ::testing::IsEmpty()) << what;
    EXPECT_THAT(PartFiles(drive / "job"), ::testing::IsEmpty()) << what;
  }
  std::cout << kTrials << " kills, " << recovered
            << " of them followed by a job that saved the stopped one's results" << std::endl;
}

// Two jobs started together on one folder: one works, the other waits a
// few seconds and, the folder still busy or not, nothing is fetched twice
// and nothing is lost.
TEST(InterruptedJob, OverlappingJobsNeitherLoseNorDoubleAnything) {
  const std::vector<CorpusMessage> corpus = harness::Corpus();
  harness::TempFolder drive("quarrow-overlap-d");
  server->SetMessages(harness::RawMessages(corpus));
  ProcessResult first, second;
  std::thread other([&] { second = Job(drive.path()); });
  first = Job(drive.path());
  other.join();
  for (const ProcessResult* job : {&first, &second}) {
    EXPECT_TRUE(job->status == 0 || job->status == 1) << job->err;
    if (job->status == 1) {
      EXPECT_THAT(job->err, ::testing::HasSubstr("Another Quarrow job is working in the mail folder d:\\job"));
    }
  }
  harness::ExpectFetched(corpus, harness::VelbrinIds(corpus), drive.path(), *server);

  // A job that keeps the folder longer than a second one waits: that one
  // ends with its message, and has touched nothing.
  server->SetMessages(harness::RawMessages(corpus));
  harness::WriteFile(drive / "job/MSG1.TXT", "the other job's header file");
  const int lock = ::open((drive / "job/.quarrow.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
  const ProcessResult refused = Job(drive.path());
  ::close(lock);
  EXPECT_EQ(refused.status, 1) << refused.err;
  EXPECT_THAT(refused.err, ::testing::HasSubstr("Another Quarrow job is working in the mail folder d:\\job"));
  EXPECT_EQ(harness::ReadFile(drive / "job/MSG1.TXT"), "the other job's header file");
  EXPECT_EQ(server->Messages().size(), corpus.size());
}

// The power cut cannot be pulled here, so the order is watched instead:
// each result's rename, and each record, reaches the disk (a folder fsync)
// before the next tool run starts and before the job ends.
TEST(InterruptedJob, RenamesAreSyncedBeforeTheNextToolRunAndTheEnd) {
  const std::vector<CorpusMessage> corpus = harness::Corpus();
  harness::TempFolder drive("quarrow-order-d");
  server->SetMessages(harness::RawMessages(corpus));
  ::mkdir((drive / "job").c_str(), 0755);
  const std::string log = drive / "order.log";
  std::map<std::string, std::optional<std::string>> env = server->ToolEnvironment();
  env["QUARROW_HEADLESS"] = "1";
  env["QUARROW_DRIVE_D"] = drive.path();
  env["LD_PRELOAD"] = LOG_FILE_ORDER_PATH;
  env["QUARROW_ORDER_LOG"] = log;
  const ProcessResult job = harness::RunProcess(
      {QUARROW_BUILT_PROGRAM, harness::BatchCommandLine(*server, server->pop3Port(), "Velbrin",
                                                        server->password(), "d:\\job")},
      drive.path(), env, 300);
  ASSERT_EQ(job.status, 0) << job.err;
  harness::ExpectFetched(corpus, harness::VelbrinIds(corpus), drive.path(), *server);

  std::istringstream lines(harness::ReadFile(log));
  std::string quarrow, line;
  int renames = 0, starts = 0;
  bool unsynced = false;
  while (std::getline(lines, line)) {
    const std::string pid = line.substr(0, line.find(' '));
    const std::string event = line.substr(line.find(' ') + 1);
    if (quarrow.empty() && event == "start") quarrow = pid;
    if (pid != quarrow) continue;  // the tool's own
    if (event.rfind("rename ", 0) == 0) {
      const bool result = event.size() > 4 && event.compare(event.size() - 4, 4, ".vch") == 0;
      const bool record = event.find(".quarrow-retrieval") != std::string::npos;
      renames += result;
      unsynced = unsynced || result || record;
    } else if (event == "sync-folder") {
      unsynced = false;
    } else if (event == "start") {
      ++starts;
      EXPECT_FALSE(unsynced) << "a tool run started before a rename was synced";
    }
  }
  EXPECT_FALSE(unsynced) << "the job ended before a rename was synced";
  EXPECT_EQ(renames, static_cast<int>(harness::ExpectedOutcome(corpus, harness::VelbrinIds(corpus))
                                          .results.size()));
  EXPECT_EQ(starts, 1 + static_cast<int>(harness::VelbrinIds(corpus).size()));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (std::optional<std::string> why = harness::PrivateDovecot::Unavailable())
    return harness::SkipUnlessRequired("quarrow_interrupted_job_tests", *why, "QUARROW_REQUIRE_DOVECOT");
  harness::PrivateDovecot dovecot;
  server = &dovecot;
  int status = RUN_ALL_TESTS();
  server = nullptr;
  return status;
}
