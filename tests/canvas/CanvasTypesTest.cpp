#include "canvas/CanvasTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace
{
using namespace plugkit::canvas;

TEST(Bounds, ContainsIsHalfOpenAndFalseForTheEmptyRectangle)
{
    const IBounds empty;
    EXPECT_TRUE(empty.Empty());
    EXPECT_FALSE(empty.Contains(0.f, 0.f));

    const IBounds r(0.f, 0.f, 10.f, 10.f);
    EXPECT_FALSE(r.Empty());
    EXPECT_TRUE(r.Contains(0.f, 0.f));
    EXPECT_TRUE(r.Contains(9.99f, 9.99f));
    EXPECT_FALSE(r.Contains(10.f, 5.f));
    EXPECT_FALSE(r.Contains(5.f, 10.f));
    EXPECT_FALSE(r.Contains(-0.01f, 5.f));
}

TEST(Bounds, IntersectUnionCentredBoxAndPixelSnap)
{
    const IBounds a(0.f, 0.f, 10.f, 10.f);
    const IBounds b(5.f, -5.f, 20.f, 5.f);
    EXPECT_EQ(a.Intersect(b), IBounds(5.f, 0.f, 10.f, 5.f));
    EXPECT_EQ(a.Union(b), IBounds(0.f, -5.f, 20.f, 10.f));
    // Touching edges do not overlap.
    EXPECT_TRUE(a.Intersect(IBounds(10.f, 0.f, 20.f, 10.f)).Empty());
    EXPECT_EQ(IBounds(10.f, 20.f, 30.f, 40.f).GetCentredInside(20.f, 8.f),
              IBounds(0.f, 22.f, 40.f, 38.f));
    // At scale 2 edges land on half units, outward.
    EXPECT_EQ(IBounds(0.3f, 0.7f, 9.2f, 9.6f).GetPixelSnapped(2.f), IBounds(0.f, 0.5f, 9.5f, 10.f));
    EXPECT_EQ(IBounds(0.3f, 0.7f, 9.2f, 9.6f).GetPixelSnapped(1.f), IBounds(0.f, 0.f, 10.f, 10.f));
}

TEST(NamedColors, DefaultsAndWidgetColorsFillFromTheList)
{
    EXPECT_EQ(kColorOrange, (IArgbColor{255, 255, 127, 0}));
    EXPECT_EQ(kColorShadow, (IArgbColor{60, 0, 0, 0}));
    EXPECT_EQ(IArgbColor{}, kColorTransparent);

    const IWidgetColors defaults;
    EXPECT_EQ(defaults[0], kColorTransparent);
    EXPECT_EQ(defaults[8], kColorBlue);

    const IWidgetColors three{kColorRed, kColorGreen, kColorWhite};
    EXPECT_EQ(three[0], kColorRed);
    EXPECT_EQ(three[2], kColorWhite);
    EXPECT_EQ(three[3], kColorDarkGray);
    EXPECT_EQ(three[8], kColorBlue);

    const IWidgetColors ten{kColorRed,
                            kColorRed,
                            kColorRed,
                            kColorRed,
                            kColorRed,
                            kColorRed,
                            kColorRed,
                            kColorRed,
                            kColorRed,
                            kColorGreen};
    EXPECT_EQ(ten[8], kColorRed);
}

TEST(TextStyle, DefaultIsRobotoFourteenCentredBlackOnWhite)
{
    const ITextStyle style;
    EXPECT_STREQ(style.font, "Roboto-Regular");
    EXPECT_EQ(style.size, 14.f);
    EXPECT_EQ(style.color, kColorBlack);
    EXPECT_EQ(style.entryBackgroundColor, kColorWhite);
    EXPECT_EQ(style.entryTextColor, kColorBlack);
    EXPECT_EQ(style.align, EAlign::Centre);
    EXPECT_EQ(style.valign, EVAlign::Middle);
    EXPECT_TRUE(style == kDefaultTextStyle);
    EXPECT_EQ(kLabelTextStyle.size, 19.f);
    EXPECT_EQ(kLabelTextStyle.valign, EVAlign::Top);
    EXPECT_EQ(kValueTextStyle.valign, EVAlign::Bottom);
    EXPECT_TRUE(kDefaultWidgetStyle.labelText == kLabelTextStyle);
}

TEST(FillPattern, LinearGradientMapsItsEndsToZeroAndOne)
{
    struct Case
    {
        float x1, y1, x2, y2;
    };
    for (const Case c : {Case{0, 0, 0, 10}, Case{3, 4, 13, 4}, Case{-2, 7, 5, -1}})
    {
        const IFillPattern p = IFillPattern::Linear(c.x1, c.y1, c.x2, c.y2, {});
        double x = c.x1, y = c.y1;
        p.transform.Map(x, y);
        EXPECT_NEAR(y, 0.0, 1e-6);
        x = c.x2;
        y = c.y2;
        p.transform.Map(x, y);
        EXPECT_NEAR(y, 1.0, 1e-6);
        EXPECT_NEAR(x, 0.0, 1e-6);
    }

    const IGradientStop red{kColorRed, 0.f}, blue{kColorBlue, 1.f};
    const IFillPattern many = IFillPattern::Linear(
        0,
        0,
        0,
        10,
        {red, red, red, red, red, red, red, red, red, red, red, red, red, red, red, red, blue});
    EXPECT_EQ(many.nStops, 16);
    EXPECT_EQ(many.stops[15].color, kColorRed);

    // No direction to run along: a finite transform (the identity), never NaN.
    const float inf = std::numeric_limits<float>::infinity();
    for (const Case c : {Case{3, 4, 3, 4}, Case{0, 0, inf, 0}, Case{std::nanf(""), 0, 1, 1}})
    {
        const IFillPattern p = IFillPattern::Linear(c.x1, c.y1, c.x2, c.y2, {red, blue});
        EXPECT_EQ(p.transform, IAffineTransform{}) << c.x1 << " " << c.x2;
        EXPECT_EQ(p.nStops, 2);
    }

    const IFillPattern solid = IFillPattern::Solid(kColorGreen);
    EXPECT_EQ(solid.nStops, 1);
    EXPECT_EQ(solid.stops[0].color, kColorGreen);
    EXPECT_EQ(solid.transform, IAffineTransform{});
}

} // namespace
