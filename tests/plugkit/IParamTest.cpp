#include "plugkit/IParam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace plugkit;

namespace
{

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::string Display(const IParam& p, double value, bool normalized = false)
{
    HeapString s;
    p.GetDisplay(value, normalized, s);
    return s.Get();
}

TEST(IParam, ConstructedEmptyWithLinearShape)
{
    IParam p;
    EXPECT_EQ(p.Type(), IParam::kTypeNone);
    EXPECT_EQ(p.GetUnit(), IParam::kUnitCustom);
    EXPECT_EQ(p.GetMin(), 0.0);
    EXPECT_EQ(p.GetMax(), 1.0);
    EXPECT_EQ(p.GetStep(), 1.0);
    EXPECT_EQ(p.Value(), 0.0);
    EXPECT_EQ(p.GetDisplayType(), 0);
    EXPECT_STREQ(p.GetName(), "");
}

TEST(IParam, ShapesMapNormalizedValuesBothWays)
{
    struct Case
    {
        double exponent; // 1 = linear
        double min, max, normalized, value;
    };
    const Case cases[] = {
        {1.0, -10.0, 10.0, 0.25, -5.0},
        {2.0, 20.0, 2000.0, 0.5, 515.0}, // 20 + 0.25 * 1980
        {2.0, 20.0, 2000.0, 1.0, 2000.0},
        {0.5, 0.0, 100.0, 0.25, 50.0},
    };
    for (const Case& c : cases)
    {
        IParam p;
        if (c.exponent == 1.0)
            p.InitDouble("x", c.min, c.min, c.max, 0.001);
        else
            p.InitDouble(
                "x", c.min, c.min, c.max, 0.001, "", 0, "", IParam::ShapePowCurve(c.exponent));
        EXPECT_NEAR(p.FromNormalized(c.normalized), c.value, 1e-9) << c.exponent;
        EXPECT_NEAR(p.ToNormalized(c.value), c.normalized, 1e-9) << c.exponent;
        ASSERT_TRUE(p.SetNormalized(c.normalized));
        EXPECT_NEAR(p.Value(), c.value, 1e-9);
        EXPECT_NEAR(p.GetNormalized(), c.normalized, 1e-9);
    }
}

TEST(IParam, PowCurveDisplayTypesByExponent)
{
    const std::pair<double, int> cases[] = {
        {3.0, 6}, {2.0, 4}, {1.0, 0}, {0.5, 3}, {0.3, 5}, {0.7, 0}};
    for (auto [e, type] : cases)
        EXPECT_EQ(IParam::ShapePowCurve(e).GetDisplayType(), type) << e;
}

TEST(IParam, ConstrainSnapsSteppedValuesAwayFromZeroAndClamps)
{
    IParam p;
    p.InitDouble("x", 0.0, -10.0, 10.0, 1.0, "", IParam::kFlagStepped);
    // The largest double below a half rounds down on every platform (not so with mingw's round).
    const double justBelowHalf = std::nextafter(0.5, 0.0);
    const std::pair<double, double> cases[] = {{2.5, 3.0},
                                               {-2.5, -3.0},
                                               {2.4, 2.0},
                                               {11.0, 10.0},
                                               {-99.0, -10.0},
                                               {justBelowHalf, 0.0},
                                               {-justBelowHalf, 0.0},
                                               {std::nextafter(3.5, 0.0), 3.0}};
    for (auto [in, out] : cases)
        EXPECT_EQ(p.Constrain(in), out) << in;

    IParam q; // not stepped: only clamped
    q.InitDouble("y", 0.0, 0.0, 1.0, 0.5);
    EXPECT_EQ(q.Constrain(0.3), 0.3);
}

TEST(IParam, InitDoubleRaisesAnEmptyRangeAndDerivesPrecision)
{
    IParam p;
    p.InitDouble("Width", 5.0, 5.0, 5.0, 0.5);
    EXPECT_EQ(p.GetMax(), 5.5);
    EXPECT_EQ(p.Type(), IParam::kTypeDouble);

    const std::pair<double, int> steps[] = {{1.0, 0}, {0.5, 1}, {0.01, 2}, {0.001, 3}, {1e-9, 6}};
    for (auto [step, precision] : steps)
    {
        IParam q;
        q.InitDouble("q", 0.0, 0.0, 1.0, step);
        EXPECT_EQ(q.GetPrecision(), precision) << step;
    }
}

TEST(IParam, InitDoubleStoresTheConstrainedDefaultAndCutsLongTexts)
{
    IParam p;
    p.InitDouble("A name that is far longer than thirty-one characters",
                 150.0,
                 0.0,
                 100.0,
                 1.0,
                 "ms",
                 0,
                 "Time");
    EXPECT_EQ(p.Value(), 100.0);
    EXPECT_EQ(std::strlen(p.GetName()), 31u);
    EXPECT_STREQ(p.GetLabel(), "ms");
    EXPECT_STREQ(p.GetGroup(), "Time");
    EXPECT_EQ(p.GetDefault(), 150.0); // as declared; the value is constrained
}

TEST(IParam, CallerKeepsTheShapeItPassed)
{
    IParam p;
    {
        IParam::ShapePowCurve shape(2.0);
        p.InitDouble("f", 20.0, 20.0, 2000.0, 1.0, "Hz", 0, "", shape);
    } // the parameter holds its own copy
    EXPECT_EQ(p.GetDisplayType(), 4);
    EXPECT_NEAR(p.FromNormalized(0.5), 515.0, 1e-9);
}

TEST(IParam, EnumAndBoolTakeTheirTypesRangesAndTexts)
{
    IParam e;
    e.InitEnum("Model",
               2,
               {"Ambience",
                "Small Room",
                "Studio",
                "Chamber",
                "Hall",
                "Cathedral",
                "Plate",
                "Spring",
                "Vintage Digital",
                "Modern Digital",
                "Gated",
                "Reverse",
                "Shimmer"});
    EXPECT_EQ(e.Type(), IParam::kTypeEnum);
    EXPECT_EQ(e.GetMax(), 12.0);
    EXPECT_EQ(e.GetStep(), 1.0);
    EXPECT_TRUE(e.GetFlags() & IParam::kFlagStepped);
    EXPECT_EQ(e.NDisplayTexts(), 13);
    EXPECT_EQ(Display(e, 12.0), "Shimmer");
    EXPECT_EQ(e.Value(), 2.0);

    IParam b;
    b.InitBool("Freeze", true);
    EXPECT_EQ(b.Type(), IParam::kTypeBool); // not Enum, though built through it
    EXPECT_EQ(Display(b, 1.0), "on");
    EXPECT_EQ(Display(b, 0.0), "off");
    EXPECT_EQ(b.StringToValue("on"), 1.0);
    EXPECT_EQ(b.StringToValue("yes"), 0.0);
    EXPECT_TRUE(b.Bool());

    IParam a;
    a.InitEnumArgs("Div", 0, 3, "", 0, "", "1/4", "1/8", "1/16", "ignored beyond the count");
    EXPECT_EQ(a.NDisplayTexts(), 3);
    EXPECT_STREQ(a.GetDisplayText(2.0), "1/16");
    EXPECT_STREQ(a.GetDisplayText(5.0), "");
}

TEST(IParam, DisplayFollowsPrecisionSignAndNegateFlags)
{
    struct Case
    {
        double step;
        int flags;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.01, 0, 3.14159, "3.14"},
        {0.01, IParam::kFlagSignDisplay, 3.14159, "+3.14"},
        {0.01, IParam::kFlagSignDisplay, 0.0, "0.00"},
        {0.01, IParam::kFlagSignDisplay, -2.0, "-2.00"},
        {0.01, IParam::kFlagNegateDisplay, 0.0, "0.00"}, // no "-0.00"
        {0.01, IParam::kFlagNegateDisplay, 1.5, "-1.50"},
        // Values that round to zero at the display precision show no sign either.
        {0.1, 0, -0.01, "0.0"},
        {0.01, 0, -0.004, "0.00"},
        {0.01, 0, -0.006, "-0.01"},
        {0.01, IParam::kFlagSignDisplay, 0.004, "0.00"},
        {0.001, IParam::kFlagSignDisplay | IParam::kFlagNegateDisplay, 0.0001, "0.000"},
        {0.001, IParam::kFlagSignDisplay | IParam::kFlagNegateDisplay, -0.0006, "+0.001"},
        {1.0, 0, 2.6, "3"},
        {1.0, 0, -0.4, "0"}, // rounds to zero without a sign
        {1.0, 0, -7.0, "-7"},
    };
    for (const Case& c : cases)
    {
        IParam p;
        p.InitDouble("x", 0.0, -100.0, 100.0, c.step, "", c.flags);
        EXPECT_EQ(Display(p, c.value), c.text) << c.value << " flags " << c.flags;
    }
}

TEST(IParam, DisplayOfNormalizedValueAndDisplayFunction)
{
    IParam p;
    p.InitDouble("x", 0.0, 0.0, 200.0, 1.0);
    EXPECT_EQ(Display(p, 0.25, true), "50");

    IParam f;
    f.InitDouble("f",
                 0.0,
                 0.0,
                 1.0,
                 0.01,
                 "",
                 0,
                 "",
                 IParam::ShapeLinear(),
                 IParam::kUnitCustom,
                 [](double v, HeapString& out) { out.SetFormatted(32, "%d%%", int(v * 100)); });
    EXPECT_EQ(Display(f, 0.5), "50%");
}

TEST(IParam, EmptyDisplayTextEndsTheSearch)
{
    IParam p;
    p.InitDouble("x", 0.0, 0.0, 10.0, 1.0);
    p.SetDisplayText(0.0, "zero");
    p.SetDisplayText(1.0, "");
    p.SetDisplayText(2.0, "two");
    EXPECT_EQ(Display(p, 0.0), "zero");
    EXPECT_EQ(Display(p, 2.0), "2"); // behind the empty entry
    HeapString s;
    p.GetDisplay(0.0, false, s, false);
    EXPECT_STREQ(s.Get(), "0");
}

TEST(IParam, StringToValueParsesNumbersAndTexts)
{
    IParam p;
    p.InitDouble("x", 0.0, -50.0, 50.0, 0.01, "dB", IParam::kFlagNegateDisplay);
    p.SetDisplayText(99.0, "max"); // a display text's value is returned as it is
    const std::pair<const char*, double> cases[] = {
        {"12.5 dB", -12.5}, {"abc", 0.0}, {"", 0.0}, {"1000", -50.0}, {"max", 99.0}, {"inf", 0.0}};
    for (auto [text, value] : cases)
        EXPECT_EQ(p.StringToValue(text), value) << text;

    IParam e;
    e.InitEnum("e", 0, {"a", "b"});
    EXPECT_EQ(e.StringToValue("b"), 1.0);
    EXPECT_EQ(e.StringToValue("1"), 0.0); // enums parse only their texts
}

TEST(IParam, LabelIsHiddenWhileTheValueHasADisplayText)
{
    IParam p;
    p.InitDouble("x", 0.0, 0.0, 10.0, 0.5, "ms");
    p.SetDisplayText(0.0, "off");
    EXPECT_STREQ(p.GetLabel(), "");
    p.Set(3.5);
    EXPECT_STREQ(p.GetLabel(), "ms");
    p.Set(0.5); // truncated to 0, which has a text
    EXPECT_STREQ(p.GetLabel(), "");
    EXPECT_STREQ(p.GetUnitLabel(), "ms");
}

TEST(IParam, SettersIgnoreNonFiniteValues)
{
    IParam p;
    p.InitDouble("x", 3.0, 0.0, 10.0, 0.01);
    for (double bad : {kNaN, kInf, -kInf})
    {
        EXPECT_FALSE(p.Set(bad));
        EXPECT_FALSE(p.SetNormalized(bad));
        EXPECT_EQ(p.Value(), 3.0);
    }
    // Out-of-range normalized input is held in [0, 1], even through a curve.
    IParam c;
    c.InitDouble("c", 20.0, 20.0, 2000.0, 1.0, "", 0, "", IParam::ShapePowCurve(0.5));
    EXPECT_TRUE(c.SetNormalized(-0.5));
    EXPECT_EQ(c.Value(), 20.0);
    EXPECT_TRUE(c.SetNormalized(7.0));
    EXPECT_EQ(c.Value(), 2000.0);
    EXPECT_TRUE(std::isfinite(c.ToNormalized(-1e300)));
    EXPECT_EQ(c.ToNormalized(kNaN), 0.0);
}

} // namespace
