// The software device's worker threads: created once, they share the blocks of each draw
// with the calling thread, which waits until all are shaded.
#pragma once

#include "layer_only.h"

// Runs task(context, i) for every i in [0, count) on the workers and the calling thread;
// returns when all have finished. Tasks must not call RunTasks themselves.
void RunTasks(int count, void (*task)(void* context, int index), void* context);

// Threads that shade a draw, the caller included: by default one per processor.
int WorkerThreadCount();
