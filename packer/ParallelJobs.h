// Work items on several threads while the calling thread keeps a progress line alive.
#ifndef LUMIVO_PACKER_PARALLELJOBS_H
#define LUMIVO_PACKER_PARALLELJOBS_H

#include <functional>
#include <stddef.h>
#include <vector>

// Runs work(index) for every index of order, taken in that order by up to jobs threads, while the
// calling thread calls tick every 100 ms. After a failure no new item starts; once the threads
// are done, the failure of the lowest index is thrown again.
void RunParallel(const std::vector<size_t>& order, int jobs, const std::function<void(size_t index)>& work,
                 const std::function<void()>& tick);

#endif
