#pragma once
// The program's one-line messages on standard error.

// Prints "intro-capture: " and the formatted message as one line, after ending any progress bar
// line, and returns false so a failing step can `return fail(...)`. Only the first failure is
// printed, and none after a stop signal: what follows from those would only repeat them.
bool fail(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Prints an informative line the same way.
void note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

extern bool failed;  // a failure has been reported
