// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QThreadPool>
#include <future>
#include <memory>
#include <type_traits>

// Runs `work` on a thread of Qt's pool and hands its result over through the future; with no thread
// free, runs it here and now, so that waiting for it never waits for other work. `work` owns what it
// reads, or whoever started it waits for the future before any of that goes.
template <typename Work> std::future<std::invoke_result_t<Work>> RunOffThread(Work work)
{
    using Value = std::invoke_result_t<Work>;
    auto task = std::make_shared<std::packaged_task<Value()>>(std::move(work));
    std::future<Value> result = task->get_future();
    if (!QThreadPool::globalInstance()->tryStart([task] { (*task)(); }))
        (*task)();
    return result;
}
