// The process-wide thread pool: a fixed set of workers, no queue. A job is a
// callback and one data pointer; the first idle worker (by index) runs it.
#pragma once

// Creates the pool's lock; once at start-up, before ThreadPool. Cannot fail (1).
int ThreadPool_Init(void);

// Stops any running workers (waiting up to 5 seconds for each, or what
// ThreadPool_SetStopWait set, with the calling thread's window messages
// running meanwhile), then starts count
// workers; 0 only stops. Nothing changes when count is the current count.
// Returns 1; a worker that cannot be created is a fatal stop.
int ThreadPool(int count);

// How long stopping waits for each worker, in milliseconds (a test's
// shorter wait); returns the wait it replaces. Cannot fail.
int ThreadPool_SetStopWait(int milliseconds);

// Hands a job to the first idle worker: 1. With no workers the job runs on
// the calling thread before this returns 1. 0 when every worker is busy (the
// job is not run). A null callback is a fatal stop.
int ThreadPool_Run(void* data, void (*callback)(void* data));

// Runs loop(data) on the calling thread and on up to workers - 1 idle pool
// workers at once, and returns when every call has returned; the loops
// share their work through data, under a lock of their own. A worker the
// pool cannot give (all busy) is logged, naming what, and the others go on.
// Returns the loops run, the caller's included (1 or more).
int ThreadPool_RunLoops(void* data, void (*loop)(void* data), int workers, const char* what);

// The processors the machine has, at least 1: the workers a run can keep
// busy. Cannot fail.
int ThreadPool_Processors(void);

// Destroys the pool's lock at exit, after ThreadPool(0). Cannot fail (1).
int ThreadPool_Close(void);

// The 1-based index of the worker running the calling thread, 0 when the
// caller is not a worker of the current pool.
int ThreadPool_CurrentWorker(void);
