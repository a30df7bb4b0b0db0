// Reads past the end of a block and decides on a value nobody wrote: the kinds of fault the
// memcheck run of intro-port must catch, here for certain, to show that the check sees them.
#include <cstdlib>

[[gnu::noinline]] static int judge(volatile int* v)
{
    int past = v[4];  // one past a block of four
    if (v[0] > 0)     // never written
        return past;
    return 0;
}

int main()
{
    int* v = static_cast<int*>(std::malloc(4 * sizeof(int)));
    int r = judge(v);
    std::free(v);
    return r == 1;
}
