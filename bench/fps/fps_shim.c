// Preloaded into intro-port to time its frames: the scene clears the screen exactly once per
// drawn frame, so each glClear is logged with a monotonic time stamp.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

void glClear(unsigned mask)
{
    static void (*real)(unsigned);
    static FILE* log;
    if (!real)
        real = (void (*)(unsigned))dlsym(RTLD_NEXT, "glClear");
    if (!log) {
        const char* path = getenv("FPS_LOG");
        log = fopen(path ? path : "/dev/null", "w");
    }
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    if (log)
        fprintf(log, "%lld.%09ld\n", (long long)ts.tv_sec, ts.tv_nsec);
    real(mask);
}
