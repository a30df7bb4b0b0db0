// The stop signals: a flag while the capture cleans up, then death by the same signal.
#include "stop.h"

#include <initializer_list>
#include <unistd.h>

volatile sig_atomic_t stop_signal;

namespace {
void on_stop(int sig) { stop_signal = sig; }
}

void catch_signals()
{
    struct sigaction sa {};
    sa.sa_handler = on_stop;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: a blocked write returns, and the flag is seen at once
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction was;
        if (sigaction(sig, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
            sigaction(sig, &sa, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void die_by_stop()
{
    int sig = stop_signal;
    std::signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    sigprocmask(SIG_UNBLOCK, &one, nullptr);
    raise(sig);
    _exit(128 + sig);  // only if the signal did not end the process after all
}
