#pragma once

#include "parallel/executor.hpp"
#include "superpixels/thread_pool.hpp"

namespace superpixels {

// The executor behind a pool, for the engine's stages and writers, which take an Executor.
Executor& executorOf(ThreadPool& pool);

}  // namespace superpixels
