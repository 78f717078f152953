#include "win32/Worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <set>
#include <thread>
#include <vector>

namespace kelvane::win32 {
namespace {

TEST(Worker, RunsEveryJobInOrderOnOneThreadOfItsOwn) {
    Worker worker;
    std::vector<int> order;
    std::set<std::thread::id> threads;
    std::promise<void> done;
    for (int job = 0; job < 5; ++job) {
        worker.run([&, job] {
            order.push_back(job);
            threads.insert(std::this_thread::get_id());
            if (job == 4) {
                done.set_value();
            }
        });
    }
    done.get_future().wait();
    worker.stop();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST(Worker, StopLetsTheJobUnderWayFinishAndWorksAgainAfterwards) {
    Worker worker;
    std::promise<void> started;
    std::atomic<bool> finished{false};
    worker.run([&] {
        started.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        finished = true;
    });
    started.get_future().wait();
    worker.stop();
    EXPECT_TRUE(finished);

    std::promise<void> again;
    worker.run([&] { again.set_value(); });
    EXPECT_EQ(again.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST(Worker, IsBusyWhileAJobRunsAndNotOnceItIsDone) {
    Worker worker;
    EXPECT_FALSE(worker.busy());
    std::promise<void> started;
    std::promise<void> release;
    worker.run([&] {
        started.set_value();
        release.get_future().wait();
    });
    started.get_future().wait();
    EXPECT_TRUE(worker.busy());

    release.set_value();
    worker.run([] {});
    worker.stop();
    EXPECT_FALSE(worker.busy());
}

}  // namespace
}  // namespace kelvane::win32
