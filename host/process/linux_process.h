// What Linux says of processes, in the words exporthost reports them in. Linux sources only.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rawout {

// "SIGSEGV", or "signal 77" for a number the C library has no name for.
std::string signalName(int signal);

// How a process ended, from waitpid's status: "exit status 3" or "killed by SIGSEGV".
std::string processEnd(int waitStatus);
// The same from waitid's report: `code` is si_code, `status` si_status.
std::string processEnd(int code, int status);

// The children of every thread of this process, from /proc/self/task/*/children.
std::vector<pid_t> childProcesses();

// Makes this process the one that its descendants' orphans come to (a subreaper), or no longer.
void adoptOrphansAsSubreaper(bool adopt);

// Ends every child of this process but those started through startOwnChild, and reaps it: the
// orphans it adopted as a subreaper. Ending one hands its own children to this process in turn,
// so the sweep goes on until a pass finds none.
void endAdoptedChildren();

// How a wait for a child ended: with the child's end (waitid's si_code and si_status), with the
// time up, or with exporthost asked to stop (Interruptible).
struct ChildWait {
  enum class Outcome { Ended, Stopped, TimedOut, Interrupted, Readable };
  Outcome outcome = Outcome::Ended;
  int code = 0;
  int status = 0;
};
// Waits for `child` to end, up to `deadline` when there is one, without reaping it: its process
// group must not be ended after its id may have been reused. With `stops`, a child that stops
// ends the wait too (Stopped), the stop taken. With `readable`, so does that descriptor having
// something to read, or its writers gone (Readable).
ChildWait waitWithoutReaping(pid_t child,
                             std::optional<std::chrono::steady_clock::time_point> deadline,
                             bool stops = false, int readable = -1);

// Runs `start`, which starts a child and gives its id (or -1), so that no sweep on another thread
// takes the child for an orphan; the caller waits for it, then calls ownChildEnded.
pid_t startOwnChild(const std::function<pid_t()>& start);
// After the child has been reaped.
void ownChildEnded(pid_t child);

}  // namespace rawout
