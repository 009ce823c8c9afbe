#include "core/model/DeferredText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace ostrel {
namespace {

TEST(DeferredText, GivenAndEmptyTexts) {
    const DeferredText none;
    EXPECT_TRUE(none.isWritten());
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none, "");
    DeferredText given = std::string("<svg/>");
    EXPECT_TRUE(given.isWritten());
    EXPECT_EQ(given, "<svg/>");
    EXPECT_EQ(given.find("svg"), 1u);
    given = "other";
    EXPECT_EQ(given.text(), "other");
}

TEST(DeferredText, ARecipeRunsOnceForEveryCopyAndThread) {
    std::atomic<int> runs{0};
    const DeferredText text = DeferredText::later([&runs] {
        ++runs;
        return std::string(100000, 'x');
    });
    const DeferredText copy = text;  // shares the recipe
    EXPECT_FALSE(copy.isWritten());
    EXPECT_EQ(runs.load(), 0);

    std::vector<std::thread> readers;
    std::atomic<int> right{0};
    for (int i = 0; i < 8; ++i) {
        readers.emplace_back([&text, &copy, &right, i] {
            const std::string& read = (i % 2 ? text : copy).text();
            if (read.size() == 100000 && read.back() == 'x') ++right;
        });
    }
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(right.load(), 8);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(text.isWritten());
    EXPECT_EQ(&text.text(), &copy.text());
}

TEST(DeferredText, AFailedRecipeIsTriedAgainByTheNextReader) {
    int attempts = 0;
    const DeferredText text = DeferredText::later([&attempts] {
        if (++attempts == 1) throw std::runtime_error("no memory");
        return std::string("written");
    });
    EXPECT_THROW((void)text.text(), std::runtime_error);
    EXPECT_FALSE(text.isWritten());
    EXPECT_EQ(text, "written");
    EXPECT_EQ(attempts, 2);
}

}  // namespace
}  // namespace ostrel
