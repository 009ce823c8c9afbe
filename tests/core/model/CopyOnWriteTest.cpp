#include "core/model/CopyOnWrite.h"
#include "core/model/VectorModel.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ostrel {
namespace {

TEST(SharedVector, CopiesShareUntilOneIsWritten) {
    SharedVector<int> a{1, 2, 3};
    SharedVector<int> b = a;
    EXPECT_TRUE(b.sharesElementsWith(a));
    // Reading never separates the copies.
    EXPECT_EQ(b[1], 2);
    EXPECT_EQ(std::count(b.begin(), b.end(), 3), 1);
    EXPECT_TRUE(b.sharesElementsWith(a));

    // Every kind of write leaves the other copy as it was.
    b.edit()[0] = 10;
    EXPECT_FALSE(b.sharesElementsWith(a));
    EXPECT_EQ(a.vector(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(b.vector(), (std::vector<int>{10, 2, 3}));
    SharedVector<int> c = a;
    c.push_back(4);
    SharedVector<int> d = a;
    for (int& v : d.edit()) v *= 2;
    SharedVector<int> e = a;
    e.clear();
    EXPECT_EQ(a.vector(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(c.vector(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(d.vector(), (std::vector<int>{2, 4, 6}));
    EXPECT_TRUE(e.empty());
    EXPECT_EQ(a, SharedVector<int>({1, 2, 3}));
    EXPECT_FALSE(a == b);
}

TEST(SharedVector, PositionsTakenFromSharedElementsStayRight) {
    const SharedVector<int> original{1, 2, 3, 4};
    SharedVector<int> a = original;
    // cbegin() points into the elements still shared with `original`: the write carries it over.
    a.insert(a.cbegin() + 1, 9);
    EXPECT_EQ(a.vector(), (std::vector<int>{1, 9, 2, 3, 4}));
    SharedVector<int> b = original;
    b.erase(b.cbegin() + 1, b.cbegin() + 3);
    EXPECT_EQ(b.vector(), (std::vector<int>{1, 4}));
    SharedVector<int> c = original;
    c.erase(c.cbegin());
    EXPECT_EQ(c.vector(), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(original.vector(), (std::vector<int>{1, 2, 3, 4}));
}

TEST(SharedVector, AStrokeCopyEditedLeavesTheOriginal) {
    VectorPath stroke;
    stroke.points = {{1, 1}, {2, 2}};
    stroke.pointRadiiPx = {0.5, 0.5};
    VectorPath moved = stroke;
    for (auto& p : moved.points.edit()) p.x += 5;
    const VectorPath reversed = stroke.reversedPath();
    EXPECT_EQ(stroke.points.vector(), (std::vector<VectorPoint>{{1, 1}, {2, 2}}));
    EXPECT_EQ(moved.points.vector(), (std::vector<VectorPoint>{{6, 1}, {7, 2}}));
    EXPECT_EQ(reversed.points.vector(), (std::vector<VectorPoint>{{2, 2}, {1, 1}}));
    EXPECT_TRUE(moved.pointRadiiPx.sharesElementsWith(stroke.pointRadiiPx));
    EXPECT_FALSE(moved == stroke);
}

TEST(SharedMap, CopiesShareUntilOneIsWritten) {
    SharedMap<int, int> a(std::unordered_map<int, int>{{1, 10}, {2, 20}});
    SharedMap<int, int> b = a;
    b[3] = 30;
    SharedMap<int, int> c = a;
    EXPECT_EQ(c.erase(1), 1u);
    EXPECT_EQ(c.erase(7), 0u);
    EXPECT_EQ(a.size(), 2u);
    EXPECT_EQ(b.size(), 3u);
    EXPECT_EQ(c.size(), 1u);
    EXPECT_EQ(a.at(1), 10);
    EXPECT_FALSE(c.contains(1));
    EXPECT_TRUE(b.contains(3));
    EXPECT_FALSE(a.contains(3));
    const SharedMap<int, int> same(std::unordered_map<int, int>{{2, 20}, {1, 10}});
    EXPECT_TRUE(a == same);
    EXPECT_FALSE(a == c);
    const SharedMap<int, int> none;
    EXPECT_TRUE(none.find(1) == none.end());
}

}  // namespace
}  // namespace ostrel
