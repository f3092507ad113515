// Loaded into qvn with LD_PRELOAD by the tests: every thread creation fails as it does in a process
// at its limit of processes or of memory (EAGAIN).
#include <errno.h>
#include <pthread.h>

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*), void* argument)
{
    (void)thread;
    (void)attributes;
    (void)start;
    (void)argument;
    return EAGAIN;
}
