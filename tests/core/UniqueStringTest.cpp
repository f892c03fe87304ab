#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include <tavrel/core/ExitFunction.h>
#include <tavrel/core/UniqueString.h>

using namespace Tavrel;

TEST(UniqueStringTest, EqualTextsShareOnePointerThatOutlivesTheHandle)
{
    UniqueString::StringPtr kept = nullptr;
    {
        const UniqueString a(std::string("_occupancy"));
        kept = a.GetStringPtr();
    }
    const UniqueString b("_occupancy");
    EXPECT_EQ(b.GetStringPtr(), kept);
    EXPECT_EQ(*kept, "_occupancy");
    EXPECT_EQ(UniqueString::Intern("_occupancy"), kept);

    EXPECT_NE(UniqueString("_Occupancy").GetStringPtr(), kept);
    EXPECT_EQ(UniqueString().GetString(), "");
    EXPECT_EQ(UniqueString(), UniqueString(""));
    EXPECT_EQ(UniqueString(std::string_view("a\0b", 3)).GetString().size(), 3u);
    EXPECT_NE(UniqueString(std::string_view("a\0b", 3)), UniqueString("a"));
}

TEST(UniqueStringTest, InterningFromManyThreadsAgrees)
{
    std::vector<UniqueString::StringPtr> results(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&results, i] {
            for (int k = 0; k < 200; ++k)
                UniqueString::Intern("thread-" + std::to_string(k));
            results[i] = UniqueString::Intern("thread-shared");
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const UniqueString::StringPtr result : results)
        EXPECT_EQ(result, results.front());
}

TEST(ExitFunctionTest, RunsOnceWhenDestroyed)
{
    int runs = 0;
    {
        const ExitFunction exit([&runs] { ++runs; });
        EXPECT_EQ(runs, 0);
    }
    EXPECT_EQ(runs, 1);

    { const ExitFunction empty(nullptr); }
    { const ExitFunction throwing([] { throw std::runtime_error("at unload"); }); }
    SUCCEED();
}
