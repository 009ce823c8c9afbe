#include "app/shell/Theme.h"

#include "testsupport/QtTestApp.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(Theme, ColoursAreTheirExactBytes) {
    const std::pair<QColor, QRgb> colours[] = {
        {Theme::background(), 0x111317},   {Theme::panel(), 0x16191E},   {Theme::lane(), 0x181B21},
        {Theme::laneSelected(), 0x1F2530}, {Theme::header(), 0x14171C},  {Theme::separator(), 0x0B0C0F},
        {Theme::text(), 0xE6E8EC},         {Theme::textDim(), 0x8A919E}, {Theme::textFaint(), 0x565D6A},
        {Theme::accent(), 0xFFB454},       {Theme::alive(), 0x9ECE6A},   {Theme::standby(), 0x7AA2F7},
        {Theme::tcp(), 0x5CE1E6},          {Theme::osc(), 0xC792EA},     {Theme::warning(), 0xF2D96B},
        {Theme::danger(), 0xFF5C57},
    };
    for (const auto& [colour, rgb] : colours) {
        EXPECT_EQ(colour.rgb() & 0xFFFFFF, rgb) << colour.name().toStdString();
        EXPECT_EQ(colour.alpha(), 255);
    }
    EXPECT_EQ(Theme::gridMinor().rgb() & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_NEAR(Theme::gridMinor().alphaF(), 0.035, 0.002);
}

TEST(Theme, PenColoursMatchTheExportedPenColours) {
    const auto& pens = Theme::penColors();
    ASSERT_EQ(pens.size(), 4u);
    const char* exported[] = {"#ffb454", "#5ce1e6", "#c792ea", "#9ece6a"};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(pens[i].name().toStdString(), exported[i]);
    EXPECT_EQ(Theme::penColor(5), Theme::tcp());
    EXPECT_EQ(Theme::penColor(-2), Theme::accent());
    EXPECT_EQ(Theme::penColor(3), Theme::alive());
}

TEST(Theme, ThePaletteIsBuiltFromTheTheme) {
    test::ensureQtApp();
    const QPalette palette = Theme::darkPalette();
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::Window), Theme::background());
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::WindowText), Theme::text());
    EXPECT_EQ(palette.color(QPalette::Active, QPalette::Highlight), Theme::accent());
    EXPECT_EQ(palette.color(QPalette::Disabled, QPalette::Text), Theme::textFaint());
}

}  // namespace
}  // namespace ostrel
