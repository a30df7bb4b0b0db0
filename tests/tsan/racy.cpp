// Two threads bump one counter with nothing ordering them: the kind of fault the ThreadSanitizer
// run of intro-port must catch, here for certain, to show that the check sees it.
#include <thread>

int hits;  // written by both threads, unguarded

static void bump()
{
    for (int i = 0; i < 1000; i++)
        hits = hits + 1;
}

int main()
{
    std::thread a(bump), b(bump);
    a.join();
    b.join();
    return 0;
}
