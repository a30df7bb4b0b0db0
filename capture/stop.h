#pragma once
// The signals that stop a capture (SIGINT, SIGTERM, SIGHUP) only raise a flag, which the
// long-running steps look at. Once nothing of the run is left, the program ends by that same
// signal, so that whoever started it (a shell loop, make) sees it stopped, as by Ctrl+C, and stops
// too, rather than taking it for a failed capture and going on.
#include <csignal>

extern volatile sig_atomic_t stop_signal;  // the signal that asked the capture to stop, or 0

// Installs the stop signals' handler, except for a signal the parent left ignored (nohup), which
// stays ignored; and ignores SIGPIPE and SIGXFSZ, so a closed pipe or a file-size limit shows as a
// failed write instead of killing the program.
void catch_signals();

// Ends the process by stop_signal's default action.
[[noreturn]] void die_by_stop();
