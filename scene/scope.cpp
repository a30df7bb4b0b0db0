// The scope reference the audio thread publishes and the picture reads.
#include "scope.h"

std::atomic<scope_buf*> smp{nullptr};
