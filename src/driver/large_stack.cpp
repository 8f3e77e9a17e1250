#include "driver/large_stack.h"

#include <pthread.h>

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
    pthread_join(thread, nullptr);
    return true;
}
