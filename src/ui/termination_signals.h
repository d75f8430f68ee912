#pragma once
// SIGTERM, SIGHUP and SIGINT reach the event loop through a self-pipe. The first asks the
// window to close as its close box does. A further one before that close has finished means
// the program must end now: the loop gets a few seconds to save and exit, and when it cannot
// (stuck in a call that does not return) the process ends anyway when they are up.
namespace ui::termination {

inline constexpr unsigned kGraceSeconds = 5;

// Installs the handlers once; returns the pipe's read end to watch, or -1 on failure.
int Install();
// Empties the pipe; returns how many signals arrived since the last Reset.
int Drain();
// The number of the signal that arrived last.
int LastSignal();
// The close that a signal asked for has finished (or a new window took over): the next signal
// counts as a first one again, and a pending deadline is called off.
void Reset();

}  // namespace ui::termination
