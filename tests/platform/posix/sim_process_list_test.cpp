// The simulated process list read while the device's processes come and go:
// a process that ends while its /proc files are read is left out, never an
// error or an exception.
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/process_list.h"
#include "tests/support/scratch.h"

extern char** environ;

namespace {

class SimProcessListTest : public testsupport::ScratchTest {};

// Short-lived programs of this device (they inherit its root), one after
// another, until the object goes.
class Churn {
 public:
  Churn()
      : thread_([this] {
          char* const arguments[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(":"),
                                     nullptr};
          while (!done_) {
            pid_t pid = 0;
            if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, arguments, environ) != 0) break;
            ++started_;
            waitpid(pid, nullptr, 0);
            // Room for the tests that run beside this one.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          }
        }) {}
  ~Churn() {
    done_ = true;
    thread_.join();
  }
  int started() const { return started_; }

 private:
  std::atomic<bool> done_{false};
  std::atomic<int> started_{0};
  std::thread thread_;
};

TEST_F(SimProcessListTest, ProcessesEndingWhileTheListIsReadAreLeftOut) {
  Churn churn;
  for (int lists = 0; lists < 600 || churn.started() < 50; ++lists) {
    std::vector<platform::ProcessEntry> processes;
    ASSERT_TRUE(platform::ListProcesses(&processes)) << platform::LastError();
    ASSERT_FALSE(processes.empty()) << "the calling process is always listed";
    ASSERT_LT(lists, 10000) << "no program of the device started";
  }
}

}  // namespace
