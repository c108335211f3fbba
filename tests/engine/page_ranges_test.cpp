// Page selections: the preview's item-by-item test and the whole reading
// of the command line and the filter.
#include "engine/PageRanges.h"

#include "platform/core/errors.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

namespace velm {
namespace {

std::string Problem(const std::function<void()>& read)
{
    try {
        read();
    } catch (const ConversionError& e) {
        return e.what();
    }
    return "no error";
}

TEST(PageRange, ItemsAreTakenOneAtATime)
{
    std::string rest = "7-14,21";
    EXPECT_EQ(NextRangeItem(21, rest), 2);
    EXPECT_EQ(rest, "21");
    EXPECT_EQ(NextRangeItem(21, rest), 1);
    EXPECT_EQ(rest, "");
    EXPECT_EQ(NextRangeItem(21, rest), 0);

    EXPECT_TRUE(PageInRange(9, "1,2,5,7-14,21"));
    EXPECT_FALSE(PageInRange(6, "1,2,5,7-14,21"));
    EXPECT_FALSE(PageInRange(9, "14-7"));
    EXPECT_TRUE(PageInRange(2, "1,2,"));
    EXPECT_FALSE(PageInRange(3, "1,2,"));
    EXPECT_TRUE(PageInRange(7, "1, 7"));
    EXPECT_TRUE(PageInRange(1, "1,,3")); // the bad item is never reached
    EXPECT_TRUE(PageInRange(16, "$10"));
}

TEST(PageRange, MalformedItemsNameTheirTextWhenReached)
{
    const auto at = [](int page, const std::string& range) { return Problem([&] { PageInRange(page, range); }); };
    EXPECT_EQ(at(2, "1,,3"), "'' is not a valid integer value");
    EXPECT_EQ(at(8, "7 - 9"), "'7 ' is not a valid integer value");
    EXPECT_EQ(at(1, "5-"), "'' is not a valid integer value");
    EXPECT_EQ(at(1, "-5"), "'' is not a valid integer value");
    EXPECT_EQ(at(1, "x3"), "'x3' is not a valid integer value");
    EXPECT_EQ(at(1, ",1"), "'' is not a valid integer value");
    // The upper bound is read from at most 20 characters.
    EXPECT_EQ(at(1, "1-" + std::string(25, '9')), "'" + std::string(20, '9') + "' is not a valid integer value");
    // An item is cut to 255 characters.
    EXPECT_EQ(at(1, std::string(300, 'a')), "'" + std::string(255, 'a') + "' is not a valid integer value");
}

TEST(PageSelection, IsReadWholeWithOpenEnds)
{
    const struct {
        const char* text;
        std::vector<int> selected, skipped;
    } cases[] = {
        {"1,2,5,7-14,21", {1, 2, 5, 7, 14, 21}, {3, 6, 15, 22}},
        {"14-", {14, 15, INT_MAX}, {1, 13}},
        {"-3", {1, 2, 3}, {0, 4}},
        {"3,1-2,", {1, 2, 3}, {4}},
        {"$FFFFFFFF-2", {-1, 1, 2}, {3}},
        {"14-7", {}, {7, 10, 14}},
    };
    for (const auto& c : cases) {
        const PageSelection selection = PageSelection::Read(c.text);
        for (int page : c.selected)
            EXPECT_TRUE(selection.Selects(page)) << c.text << " " << page;
        for (int page : c.skipped)
            EXPECT_FALSE(selection.Selects(page)) << c.text << " " << page;
    }
    const auto read = [](const std::string& text) { return Problem([&] { PageSelection::Read(text); }); };
    EXPECT_EQ(read("$FFFFFFFF-2,abc"), "'abc' is not a valid integer value");
    EXPECT_EQ(read("1,,3"), "'' is not a valid integer value");
    EXPECT_EQ(read("-"), "'' is not a valid integer value");
    EXPECT_EQ(read("1 -"), "'1 ' is not a valid integer value");
}

} // namespace
} // namespace velm
