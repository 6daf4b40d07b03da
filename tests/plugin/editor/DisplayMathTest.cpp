#include "plugin/editor/DisplayMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace lumenfall::editor
{
namespace
{

using engine::ParamId;
using engine::ReverbModel;

ParamValues Defaults()
{
    ParamValues values;
    for (int i = 0; i < engine::kParamCount; ++i)
        values[static_cast<std::size_t>(i)] = engine::ParamDefault(i);
    return values;
}

void Set(ParamValues& values, ParamId id, double value)
{
    values[static_cast<std::size_t>(id)] = value;
}

constexpr int kGated = static_cast<int>(ReverbModel::Gated);
constexpr int kReverse = static_cast<int>(ReverbModel::Reverse);
constexpr int kHall = static_cast<int>(ReverbModel::Hall);

std::string Caption(const ParamValues& values)
{
    char text[80];
    FormatGuideCaption(MakeGuideTiming(values, DisplayedModel(values)), values, text, 80);
    return text;
}

TEST(SpatialDisplayMath, SchematicScaleFollowsSize)
{
    EXPECT_NEAR(SchematicScale(10.0), 0.738f, 1e-6f);
    EXPECT_NEAR(SchematicScale(100.0), 0.9f, 1e-6f);
    EXPECT_NEAR(SchematicScale(200.0), 1.08f, 1e-6f);
    EXPECT_NEAR(SchematicScale(1.0), 0.738f, 1e-6f);
    EXPECT_NEAR(SchematicScale(500.0), 1.08f, 1e-6f);
}

TEST(SpatialDisplayMath, ModelIsTruncatedAndHeld)
{
    ParamValues values = Defaults();
    const std::pair<double, int> cases[] = {{10.9, 10}, {-3.0, 0}, {40.0, 12}, {NAN, 0}};
    for (const auto& [type, model] : cases)
    {
        Set(values, ParamId::ReverbType, type);
        EXPECT_EQ(DisplayedModel(values), model) << type;
    }
}

TEST(SpatialDisplayMath, DecayCurvesReachMinus60DbAtTheirTime)
{
    ParamValues values = Defaults();
    const GuideTiming timing = MakeGuideTiming(values, kHall);
    EXPECT_FALSE(timing.envelope);
    EXPECT_NEAR(timing.span, 1.16 * 2.4, 1e-6);
    // Pre-delay 22 ms puts the marker 22 ms into the 2.806 s the guide covers.
    EXPECT_NEAR(timing.markerX, 753.0 + 0.022 / (0.022 + 1.16 * 2.4) * 290.0, 1e-3);
    EXPECT_NEAR(GuideLevel(timing, values, kHall, 1.0, 2.4), 0.001, 1e-6);
    EXPECT_NEAR(GuideLevel(timing, values, kHall, 0.5, 1.2), 0.001, 1e-6);
    EXPECT_EQ(GuideLevel(timing, values, kHall, 1.0, 0.0), 1.0);

    const auto curve = GuideCurve(timing, values, kHall, 1.0);
    EXPECT_FLOAT_EQ(curve.front().x, timing.markerX);
    EXPECT_FLOAT_EQ(curve.front().y, kGuideBounds.T);
    EXPECT_FLOAT_EQ(curve.back().x, kGuideBounds.R);
    EXPECT_GT(curve.back().y, kGuideBounds.B - 1.f);
    EXPECT_EQ(Caption(values), "2.40 s DECAY / NOT AN AUDIO TRACE");
}

TEST(SpatialDisplayMath, GatedEnvelopeIsFlatThenReleasesLinearly)
{
    ParamValues values = Defaults(); // gate 450 ms, release 80 ms, shape 0
    Set(values, ParamId::ReverbType, kGated);
    const GuideTiming timing = MakeGuideTiming(values, kGated);
    EXPECT_TRUE(timing.envelope);
    EXPECT_NEAR(timing.span, 0.53, 1e-9);
    EXPECT_EQ(GuideLevel(timing, values, kGated, 1.0, 0.0), 1.0);
    EXPECT_EQ(GuideLevel(timing, values, kGated, 1.0, 0.449), 1.0);
    EXPECT_NEAR(GuideLevel(timing, values, kGated, 1.0, 0.49), 0.5, 1e-4);
    EXPECT_EQ(GuideLevel(timing, values, kGated, 1.0, 0.531), 0.0);
    EXPECT_EQ(Caption(values), "450 ms ENVELOPE / NOT AN AUDIO TRACE");
}

// With a positive shape the gate sags to (1 - 0.85)^(P - 1) by its end; the release must go
// on from there, as the engine's does, and never jump back to full level.
TEST(SpatialDisplayMath, GatedReleaseStartsFromTheGatesEndLevel)
{
    ParamValues values = Defaults();
    Set(values, ParamId::EnvelopeShape, 100.0); // P = 4
    const GuideTiming timing = MakeGuideTiming(values, kGated);
    EXPECT_NEAR(GuideLevel(timing, values, kGated, 1.0, 0.225), std::pow(0.575, 3.0), 1e-5);
    const double atGateEnd = std::pow(0.15, 3.0);
    EXPECT_NEAR(GuideLevel(timing, values, kGated, 1.0, 0.44999), atGateEnd, 1e-5);
    EXPECT_NEAR(GuideLevel(timing, values, kGated, 1.0, 0.45), atGateEnd, 1e-6);
    EXPECT_NEAR(GuideLevel(timing, values, kGated, 1.0, 0.49), atGateEnd * 0.5, 1e-6);

    const auto curve = GuideCurve(timing, values, kGated, 1.0);
    for (int i = 1; i < kGuideSamples; ++i)
        EXPECT_GE(curve[i].y, curve[i - 1].y) << "the gated curve rises at point " << i;
}

TEST(SpatialDisplayMath, ReverseEnvelopeSwellsToTheGateEnd)
{
    ParamValues values = Defaults();
    const GuideTiming timing = MakeGuideTiming(values, kReverse);
    EXPECT_NEAR(GuideLevel(timing, values, kReverse, 1.0, 0.225), std::pow(0.5, 2.5), 1e-5);
    EXPECT_NEAR(GuideLevel(timing, values, kReverse, 1.0, 0.45), 1.0, 1e-6);
}

TEST(SpatialDisplayMath, SyncPutsTheMarkerAtTheLeftEdge)
{
    ParamValues values = Defaults();
    Set(values, ParamId::PreDelaySync, 1.0);
    Set(values, ParamId::PreDelay, 400.0);
    for (const int model : {kHall, kGated})
    {
        Set(values, ParamId::ReverbType, model);
        EXPECT_EQ(MakeGuideTiming(values, model).markerX, kGuideBounds.L);
        EXPECT_EQ(Caption(values), "NOTE-SYNCED / TIMING IS SCHEMATIC");
    }
}

TEST(SpatialDisplayMath, ReflectionTicksPastTheRightEdgeAreLeftOut)
{
    ParamValues values = Defaults();
    Set(values, ParamId::GateLength, 50.0);
    Set(values, ParamId::GateRelease, 5.0);
    Set(values, ParamId::PreDelay, 100.0);
    Set(values, ParamId::Size, 200.0);
    // Full time 0.155 s: the marker at 940.1 and ticks 28.06 units apart.
    const GuideTiming timing = MakeGuideTiming(values, kGated);
    int drawn = 0;
    for (int k = 1; k <= kGuideTicks; ++k)
    {
        float x = 0.f;
        float top = 0.f;
        if (!GuideTick(timing, values, k, x, top))
            continue;
        ++drawn;
        EXPECT_LT(x, kGuideBounds.R);
        EXPECT_NEAR(top, 264.0 - 18.0 - 0.25 * 65.0 / (1.0 + 0.2 * (k - 1)), 1e-4);
    }
    EXPECT_EQ(drawn, 3);
}

} // namespace
} // namespace lumenfall::editor
