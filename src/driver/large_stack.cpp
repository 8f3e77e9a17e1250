#include "driver/large_stack.h"

#include <pthread.h>

#include <csignal>

namespace {

void* runWork(void* arg) {
    (*static_cast<const std::function<void()>*>(arg))();
    return nullptr;
}

}  // namespace

bool runOnSolverStack(const std::function<void()>& work) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_t thread;
    const bool created = pthread_attr_setstacksize(&attr, SOLVER_STACK_BYTES) == 0 &&
                         pthread_create(&thread, &attr, runWork, const_cast<std::function<void()>*>(&work)) == 0;
    pthread_attr_destroy(&attr);
    if (!created) return false;
    // While it waits, this thread leaves SIGTERM, SIGHUP and SIGINT to the
    // solving thread (blocked only after the thread was made, which inherits
    // the mask). A suspend file's save holds the first two there while its
    // temporary file comes into being, and they must not slip past through
    // here. Ctrl-C's handler then runs on the thread that asks the questions,
    // before that thread reads on past an answer typed after the Ctrl-C.
    sigset_t passed, previous;
    sigemptyset(&passed);
    sigaddset(&passed, SIGTERM);
    sigaddset(&passed, SIGHUP);
    sigaddset(&passed, SIGINT);
    pthread_sigmask(SIG_BLOCK, &passed, &previous);
    pthread_join(thread, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return true;
}
