#include "reader/background_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "tests/support/fakes.h"

namespace pelmaro {
namespace {

using namespace std::chrono_literals;

void waitUntilIdle(BackgroundJob& job) {
    while (!job.idle()) {
        std::this_thread::sleep_for(1ms);
    }
}

TEST(BackgroundJob, ResultsOfADroppedOrReplacedPieceAreNeverApplied) {
    test::FakeUiThread ui;
    BackgroundJob job(ui);
    std::vector<std::string> applied;
    const auto handOver = [&](std::string what) {
        return [&applied, what](std::stop_token, const BackgroundJob::Post& post) {
            post([&applied, what] { applied.push_back(what); });
        };
    };
    job.start(handOver("first"));
    job.start(handOver("second"));  // replaces the first before its result arrives
    waitUntilIdle(job);
    ui.runPosted();
    EXPECT_EQ(applied, std::vector<std::string>{"second"});

    job.start(handOver("third"));
    job.drop();
    waitUntilIdle(job);
    ui.runPosted();
    EXPECT_EQ(applied, std::vector<std::string>{"second"});
}

TEST(BackgroundJob, StartAndDropNeverWaitForAPieceThatIgnoresItsStop) {
    test::FakeUiThread ui;
    std::atomic<bool> release = false;
    std::atomic<int> ran = 0;
    {
        BackgroundJob job(ui);
        job.start([&](std::stop_token, const BackgroundJob::Post&) {
            while (!release) {
                std::this_thread::sleep_for(1ms);
            }
            ++ran;
        });
        const auto before = std::chrono::steady_clock::now();
        job.start([&](std::stop_token, const BackgroundJob::Post&) { ++ran; });
        job.drop();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
        EXPECT_FALSE(job.idle());
        release = true;
    }  // the end of the job waits for both
    EXPECT_EQ(ran, 2);
}

TEST(BackgroundJob, FailuresOfTheWorkAndOfItsTasksReachTheWindowsThread) {
    test::FakeUiThread ui;
    BackgroundJob job(ui);
    std::vector<std::string> errors;
    const auto onError = [&](const std::string& message) { errors.push_back(message); };
    job.start([](std::stop_token, const BackgroundJob::Post&) { throw Error("disk gone"); },
              onError);
    ASSERT_TRUE(ui.runUntil([&] { return errors.size() == 1; }));
    job.start([](std::stop_token,
                 const BackgroundJob::Post& post) { post([] { throw Error("list full"); }); },
              onError);
    ASSERT_TRUE(ui.runUntil([&] { return errors.size() == 2; }));
    EXPECT_EQ(errors, (std::vector<std::string>{"disk gone", "list full"}));
}

}  // namespace
}  // namespace pelmaro
