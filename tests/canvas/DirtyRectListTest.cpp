#include "canvas/DirtyRectList.h"

#include <gtest/gtest.h>

#include <random>

namespace
{
using plugkit::canvas::DirtyRectList;
using plugkit::canvas::IBounds;

bool Covered(const DirtyRectList& list, float x, float y)
{
    for (int i = 0; i < list.Size(); ++i)
        if (list.Get(i).Contains(x, y))
            return true;
    return false;
}

std::vector<IBounds> Rects(const DirtyRectList& list)
{
    std::vector<IBounds> out;
    for (int i = 0; i < list.Size(); ++i)
        out.push_back(list.Get(i));
    return out;
}

TEST(DirtyRectList, RemovesDuplicatesAndCoveredAndMergesStackedNeighbours)
{
    struct Case
    {
        const char* name;
        std::vector<IBounds> in;
        std::vector<IBounds> out;
    };
    const Case cases[] = {
        {"identical", {{0, 0, 10, 10}, {0, 0, 10, 10}}, {{0, 0, 10, 10}}},
        {"inside", {{2, 2, 5, 5}, {0, 0, 10, 10}}, {{0, 0, 10, 10}}},
        {"stacked, touching", {{0, 0, 10, 5}, {0, 5, 10, 9}}, {{0, 0, 10, 9}}},
        {"side by side, touching", {{0, 0, 4, 5}, {4, 0, 10, 5}}, {{0, 0, 10, 5}}},
        {"apart", {{0, 0, 4, 4}, {6, 6, 8, 8}}, {{0, 0, 4, 4}, {6, 6, 8, 8}}},
        {"zero area dropped", {{3, 3, 3, 9}, {0, 0, 1, 1}}, {{0, 0, 1, 1}}},
    };
    for (const Case& c : cases)
    {
        DirtyRectList list;
        for (const IBounds& r : c.in)
            list.Add(r);
        list.Optimize();
        EXPECT_EQ(Rects(list), c.out) << c.name;
    }
}

TEST(DirtyRectList, CrossingRectanglesKeepBothHalves)
{
    // A horizontal bar through a vertical one: cutting the bar leaves a piece on each side.
    DirtyRectList list;
    list.Add({0, 4, 10, 6});
    list.Add({4, 0, 6, 10});
    list.Optimize();
    for (const float x : {1.f, 5.f, 9.f})
        EXPECT_TRUE(Covered(list, x, 5.f)) << x;
    EXPECT_TRUE(Covered(list, 5.f, 1.f));
    EXPECT_TRUE(Covered(list, 5.f, 9.f));
    float area = 0.f;
    for (const IBounds& r : Rects(list))
        area += r.Area();
    EXPECT_EQ(area, 36.f); // 20 + 20 - 4: no pixel twice
}

TEST(DirtyRectList, OptimisedListCoversExactlyTheUnionOfRandomSets)
{
    // Edges on a half-unit grid; sampling the centre of every quarter cell decides coverage.
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<int> coord(0, 40);
    std::uniform_int_distribution<int> count(1, 9);
    constexpr float kCell = 0.5f;
    for (int trial = 0; trial < 3000; ++trial)
    {
        DirtyRectList in;
        const int n = count(rng);
        for (int i = 0; i < n; ++i)
        {
            float a = coord(rng) * kCell, b = coord(rng) * kCell;
            float c = coord(rng) * kCell, d = coord(rng) * kCell;
            in.Add({std::min(a, b), std::min(c, d), std::max(a, b), std::max(c, d)});
        }
        DirtyRectList out = in;
        out.Optimize();
        float outArea = 0.f;
        for (const IBounds& r : Rects(out))
            outArea += r.Area();
        float unionArea = 0.f;
        for (float y = kCell / 2; y < 20.f; y += kCell)
        {
            for (float x = kCell / 2; x < 20.f; x += kCell)
            {
                const bool inside = Covered(in, x, y);
                ASSERT_EQ(inside, Covered(out, x, y))
                    << "trial " << trial << " at " << x << ", " << y;
                unionArea += inside ? kCell * kCell : 0.f;
            }
        }
        // Covering the union exactly with disjoint pieces: the areas agree.
        ASSERT_EQ(outArea, unionArea) << "trial " << trial;
    }
}

} // namespace
