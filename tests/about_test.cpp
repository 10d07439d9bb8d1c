// The about box on a desktop: which helper runs, how it is started, what its end means, and the
// real box on a virtual display.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "test_support.h"

extern char** environ;

namespace rawout::test {
namespace {

constexpr char kAboutCaption[] = "About rawout.dll";

std::vector<std::string> splitOnZero(const Bytes& bytes) {
  std::vector<std::string> parts;
  std::string current;
  for (const auto byte : bytes) {
    if (byte == 0) {
      parts.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(byte));
    }
  }
  return parts;
}

std::string textOf(const std::string& path) {
  const Bytes bytes = readFile(path);
  return {bytes.begin(), bytes.end()};
}

std::uint64_t signalSet(const std::string& facts, const std::string& field) {
  const std::size_t at = facts.find(field);
  return at == std::string::npos ? ~std::uint64_t{0}
                                 : std::stoull(facts.substr(at + field.size()), nullptr, 16);
}

// Ends this process's own children but `keep`, the dialog About started among them, by their ids.
void endOwnChildrenBut(pid_t keep) {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream children(task.path() / "children");
    for (pid_t child = 0; children >> child;) {
      if (child != keep) {
        ::kill(child, SIGTERM);
      }
    }
  }
}

// Only the fake helpers that a test installs can be found.
class AboutWithFakeHelpers : public ::testing::Test {
 protected:
  void SetUp() override {
    environment_.set("PATH", dir_.path());
    environment_.set("DISPLAY", ":fake");
    environment_.unset("WAYLAND_DISPLAY");
    environment_.set("FAKE_DIALOG_LOG", argvLog_);
    environment_.set("FAKE_DIALOG_FACTS", factsLog_);
    for (const char* name : {"FAKE_DIALOG_EXIT", "FAKE_DIALOG_STDERR", "FAKE_DIALOG_STDERR_BYTES",
                             "FAKE_DIALOG_SLEEP_MS", "FAKE_DIALOG_DONE"}) {
      environment_.unset(name);
    }
  }
  void install(const std::string& helper) {
    ASSERT_EQ(0, ::symlink(FAKE_DIALOG_PATH, (dir_ / helper).c_str()));
  }
  void behave(const std::string& name, const std::string& value) { environment_.set(name, value); }
  [[nodiscard]] std::vector<std::string> recordedArgv() const {
    return exists(argvLog_) ? splitOnZero(readFile(argvLog_)) : std::vector<std::string>{};
  }
  [[nodiscard]] std::string facts() const { return textOf(factsLog_); }

  TempDir dir_;
  ScopedEnvironment environment_;
  std::string argvLog_ = dir_ / "argv";
  std::string factsLog_ = dir_ / "facts";
};

TEST_F(AboutWithFakeHelpers, ZenityShowsTheAboutTextUnderTheCaption) {
  install("zenity");
  ASSERT_EQ(1, plugin().about());
  const auto argv = recordedArgv();
  ASSERT_EQ(8U, argv.size());
  EXPECT_EQ((std::vector<std::string>{"zenity", "--info", "--no-markup", "--no-wrap", "--title",
                                      kAboutCaption, "--text"}),
            std::vector<std::string>(argv.begin(), argv.begin() + 7));

  const std::string& text = argv[7];
  EXPECT_EQ(0U, text.rfind(std::string(plugin().description()) + " export\nVelmont plugin\n", 0));
  EXPECT_EQ(4, std::count(text.begin(), text.end(), '\n'));
  EXPECT_EQ(std::string::npos, text.find('\r'));
  EXPECT_NE('\n', text.back());
  const std::string contact = text.substr(text.rfind('\n') + 1);
  const std::size_t first = contact.find(" <> ");
  ASSERT_NE(std::string::npos, first);
  const std::size_t second = contact.find(" <> ", first + 4);
  ASSERT_NE(std::string::npos, second);
  EXPECT_EQ(std::string::npos, contact.find(" <> ", second + 4));
  EXPECT_GT(first, 0U);
  EXPECT_GT(contact.size(), second + 4);
}

TEST_F(AboutWithFakeHelpers, ClosingTheBoxAnyWayCountsAsShown) {
  install("zenity");
  behave("FAKE_DIALOG_EXIT", "1");  // Escape or the window's close button
  EXPECT_EQ(1, plugin().about());
}

TEST_F(AboutWithFakeHelpers, HelperThatCannotOpenTheDisplayGivesZero) {
  install("zenity");
  behave("FAKE_DIALOG_EXIT", "1");
  behave("FAKE_DIALOG_STDERR", "(zenity:42): Gtk-WARNING **: cannot open display: :fake\n");
  EXPECT_EQ(0, plugin().about());
  // The helper's message must reach the module even when the host runs without stdin or stdout.
  for (const int closed : {STDIN_FILENO, STDOUT_FILENO}) {
    EXPECT_EQ(0, runInChild([closed] {
                ::close(closed);
                return plugin().about();
              }))
        << "with descriptor " << closed << " closed";
  }
}

TEST_F(AboutWithFakeHelpers, HelperFailingOtherwiseGivesZero) {
  install("zenity");
  behave("FAKE_DIALOG_EXIT", "255");
  EXPECT_EQ(0, plugin().about());
}

TEST_F(AboutWithFakeHelpers, FallsBackToXmessageWhenZenityCannotBeStarted) {
  install("xmessage");
  behave("FAKE_DIALOG_EXIT", "101");  // its OK button
  ASSERT_EQ(1, plugin().about());
  const auto argv = recordedArgv();
  ASSERT_EQ(9U, argv.size());
  EXPECT_EQ((std::vector<std::string>{"xmessage", "-title", kAboutCaption, "-buttons", "OK",
                                      "-default", "OK", "-center"}),
            std::vector<std::string>(argv.begin(), argv.begin() + 8));
  EXPECT_EQ(0U, argv[8].rfind("Binary File export\n", 0));

  behave("FAKE_DIALOG_EXIT", "1");
  behave("FAKE_DIALOG_STDERR", "Error: Can't open display: :fake\n");
  EXPECT_EQ(0, plugin().about());
}

TEST_F(AboutWithFakeHelpers, NoHelperGivesZero) { EXPECT_EQ(0, plugin().about()); }

// The current folder, often a project nobody vetted, is never searched, however PATH names it.
TEST_F(AboutWithFakeHelpers, NeverRunsAHelperFromTheCurrentFolder) {
  install("zenity");
  install("xmessage");
  std::filesystem::create_directory(dir_ / "sub");
  ASSERT_EQ(0, ::symlink(FAKE_DIALOG_PATH, (dir_ / "sub/zenity").c_str()));
  for (const std::string path :
       {".", "", ":/nonexistent", "/nonexistent:", "/nonexistent::/none", "sub", "./sub"}) {
    const int result = runInChild([&] {
      return ::chdir(dir_.path().c_str()) == 0 && ::setenv("PATH", path.c_str(), 1) == 0
                 ? plugin().about()
                 : 9;
    });
    EXPECT_EQ(0, result) << "PATH=" << path;
    EXPECT_FALSE(exists(argvLog_)) << "PATH=" << path;
  }
}

TEST_F(AboutWithFakeHelpers, WithoutADisplayNothingIsStarted) {
  install("zenity");
  environment_.unset("DISPLAY");
  EXPECT_EQ(0, plugin().about());
  environment_.set("DISPLAY", "");
  EXPECT_EQ(0, plugin().about());
  EXPECT_FALSE(exists(argvLog_));

  environment_.set("WAYLAND_DISPLAY", "wayland-0");
  EXPECT_EQ(1, plugin().about());
  EXPECT_TRUE(exists(argvLog_));
}

TEST_F(AboutWithFakeHelpers, HelperStartsCleanWhateverTheHostHasOpenBlockedOrIgnored) {
  install("zenity");
  const std::string stray = dir_ / "stray";
  const int result = runInChild([&] {
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
    ::open(stray.c_str(), O_WRONLY | O_CREAT, 0600);  // inheritable, on purpose
    return plugin().about();
  });
  EXPECT_EQ(1, result);
  const std::string inherited = facts();
  EXPECT_NE(std::string::npos, inherited.find("fds 0 1 2\n")) << inherited;
  EXPECT_NE(std::string::npos, inherited.find("stdin /dev/null\n")) << inherited;
  EXPECT_NE(std::string::npos, inherited.find("stdout /dev/null\n")) << inherited;
  EXPECT_EQ(0U, signalSet(inherited, "SigBlk:")) << inherited;
  // glibc's spawn leaves its own reserved signals ignored; the helper's C library re-arms them.
  std::uint64_t reserved = 0;
  for (int signal = 32; signal < SIGRTMIN; ++signal) {
    reserved |= std::uint64_t{1} << (signal - 1);
  }
  EXPECT_EQ(0U, signalSet(inherited, "SigIgn:") & ~reserved) << inherited;
}

TEST_F(AboutWithFakeHelpers, ChattyHelperNeitherBlocksNorReachesTheHostsStderr) {
  install("zenity");
  behave("FAKE_DIALOG_STDERR_BYTES", "1048576");
  const std::string captured = dir_ / "host-stderr";
  const int result = runInChild([&] {
    const int file = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(file, 2);
    return plugin().about();
  });
  EXPECT_EQ(1, result);
  EXPECT_TRUE(readFile(captured).empty());
}

TEST_F(AboutWithFakeHelpers, HostThatIgnoresOrReapsChildrenStillGetsOne) {
  install("zenity");
  behave("FAKE_DIALOG_SLEEP_MS", "50");
  EXPECT_EQ(1, runInChild([] {
              ::signal(SIGCHLD, SIG_IGN);
              return plugin().about();
            }));
  EXPECT_EQ(1, runInChild([] {
              struct sigaction reaper {};
              reaper.sa_handler = [](int) {
                const int saved = errno;
                while (::waitpid(-1, nullptr, WNOHANG) > 0) {
                }
                errno = saved;
              };
              ::sigaction(SIGCHLD, &reaper, nullptr);
              return plugin().about();
            }));
}

TEST_F(AboutWithFakeHelpers, SignalsDuringTheBoxDoNotEndTheWait) {
  install("zenity");
  behave("FAKE_DIALOG_SLEEP_MS", "200");
  const std::string done = dir_ / "done";
  behave("FAKE_DIALOG_DONE", done);
  const int result = runInChild([&] {
    struct sigaction interrupt {};
    interrupt.sa_handler = [](int) {};  // no SA_RESTART: waitpid sees EINTR
    ::sigaction(SIGALRM, &interrupt, nullptr);
    const itimerval often{{0, 2000}, {0, 2000}};
    ::setitimer(ITIMER_REAL, &often, nullptr);
    const int shown = plugin().about();
    return shown == 1 && exists(done) ? 1 : 0;
  });
  EXPECT_EQ(1, result);
}

// The real helpers on a virtual X display of the test's own.
class AboutOnADisplay : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!hasTool("Xvfb")) {
      return;
    }
    int pipeFds[2];
    ASSERT_EQ(0, ::pipe(pipeFds));
    const std::string fdArgument = std::to_string(pipeFds[1]);
    const char* argv[] = {"Xvfb",    "-displayfd", fdArgument.c_str(), "-nolisten", "tcp",
                          "-screen", "0",          "800x600x24",       nullptr};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ::posix_spawnp(&server_, "Xvfb", &actions, nullptr, const_cast<char* const*>(argv), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    pollfd ready{pipeFds[0], POLLIN, 0};
    char number[16] = {};
    if (::poll(&ready, 1, 20000) == 1 && ::read(pipeFds[0], number, sizeof number - 1) > 0) {
      display_ = std::string(":") + std::to_string(std::atoi(number));
    }
    ::close(pipeFds[0]);
  }
  static void TearDownTestSuite() {
    if (server_ > 0) {
      ::kill(server_, SIGTERM);
      ::waitpid(server_, nullptr, 0);
    }
  }
  void SetUp() override {
    REQUIRE_TOOL("Xvfb");
    REQUIRE_TOOL("xdotool");
    ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
    environment_.set("DISPLAY", display_);
    environment_.unset("WAYLAND_DISPLAY");
    // Found now: a test may narrow PATH to the helper it is about.
    xdotool_ = toolPath("xdotool");
    timeout_ = toolPath("timeout");
  }

  // Shows the box on another thread, finds its window, checks About still waits, presses Return.
  void showAndDismiss() const {
    std::atomic<bool> returned{false};
    int result = -1;
    std::thread caller([&] {
      result = plugin().about();
      returned = true;
    });
    const ProcessResult found = runProcess(
        {timeout_, "30", xdotool_, "search", "--sync", "--name", "^About rawout\\.dll$"});
    const std::string window = found.out.substr(0, found.out.find('\n'));
    EXPECT_EQ(0, found.exitCode) << found.err;
    EXPECT_FALSE(returned) << "About returned before the box was dismissed";
    if (!window.empty()) {
      const ProcessResult pressed =
          runProcess({timeout_, "10", xdotool_, "windowfocus", "--sync", window, "key", "Return"});
      EXPECT_EQ(0, pressed.exitCode) << pressed.err;
    }
    for (int wait = 0; wait < 300 && !returned; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!returned) {
      ADD_FAILURE() << "About did not return after the box was dismissed";
      endOwnChildrenBut(server_);
    }
    caller.join();
    EXPECT_EQ(1, result);
  }

  std::string xdotool_;
  std::string timeout_;
  static inline pid_t server_ = 0;
  static inline std::string display_;
  ScopedEnvironment environment_;
};

TEST_F(AboutOnADisplay, ZenityBoxBlocksUntilDismissedThenGivesOne) {
  REQUIRE_TOOL("zenity");
  showAndDismiss();
}

TEST_F(AboutOnADisplay, XmessageBoxBlocksUntilDismissedThenGivesOne) {
  REQUIRE_TOOL("xmessage");
  const TempDir onlyXmessage;
  ASSERT_EQ(0, ::symlink(toolPath("xmessage").c_str(), (onlyXmessage / "xmessage").c_str()));
  environment_.set("PATH", onlyXmessage.path());
  showAndDismiss();
}

TEST_F(AboutOnADisplay, UnreachableDisplayGivesZero) {
  REQUIRE_TOOL("zenity");
  environment_.set("DISPLAY", ":4093");
  EXPECT_EQ(0, plugin().about());
}

TEST(AboutHeadless, NoDisplayGivesZero) {
  ScopedEnvironment environment;
  environment.unset("DISPLAY");
  environment.unset("WAYLAND_DISPLAY");
  EXPECT_EQ(0, plugin().about());
}

}  // namespace
}  // namespace rawout::test
