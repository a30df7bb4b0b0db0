// One-line messages: what failed, and the closing word on a finished capture.
#include "report.h"

#include <cstdarg>
#include <cstdio>

#include "progress.h"
#include "stop.h"

bool failed;

namespace {
void say(const char* fmt, va_list ap)
{
    progress_break();
    std::fputs("intro-capture: ", stderr);
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
}
}

bool fail(const char* fmt, ...)
{
    // After a stop signal, a step that gives up was told to: the stop is the one thing to say.
    if (failed || stop_signal)
        return false;
    failed = true;
    va_list ap;
    va_start(ap, fmt);
    say(fmt, ap);
    va_end(ap);
    return false;
}

void note(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    say(fmt, ap);
    va_end(ap);
}
