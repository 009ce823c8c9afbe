// The shared controls, drawn on the offscreen platform and probed pixel by pixel.
#include "app/shell/Theme.h"
#include "app/ui/Chip.h"
#include "app/ui/FieldRow.h"
#include "app/ui/IconButton.h"
#include "app/ui/ScanProgressBar.h"
#include "app/ui/SectionHeader.h"
#include "app/ui/SliderRow.h"
#include "app/ui/Symbols.h"
#include "app/ui/TextButton.h"
#include "app/ui/UIFonts.h"
#include "app/ui/VectorizerHeroGraphic.h"

#include "testsupport/QtTestApp.h"

#include <gtest/gtest.h>

#include <cmath>

#include <QHBoxLayout>
#include <QLabel>
#include <QRawFont>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <cstdlib>
#include <limits>

namespace ostrel {
namespace {

/// `color` at `opacity` over the window background, as the controls are drawn on it.
QColor over(const QColor& color, double opacity, const QColor& below = Theme::background()) {
    const auto mix = [&](int top, int bottom) {
        return static_cast<int>(std::lround(bottom + (top - bottom) * opacity));
    };
    return QColor(mix(color.red(), below.red()), mix(color.green(), below.green()), mix(color.blue(), below.blue()));
}

::testing::AssertionResult near(const QColor& actual, const QColor& expected, int tolerance = 3) {
    const int d = std::max({std::abs(actual.red() - expected.red()), std::abs(actual.green() - expected.green()),
                            std::abs(actual.blue() - expected.blue())});
    if (d <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.name().toStdString() << " is not " << expected.name().toStdString();
}

/// True when some pixel of `area` is `color` (text and symbols are antialiased at their edges).
bool contains(const QImage& image, const QRect& area, const QColor& color, int tolerance = 6) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (near(image.pixelColor(x, y), color, tolerance)) return true;
        }
    }
    return false;
}

/// A window-coloured host that lays `control` out at its natural size (or `width`).
class Host {
public:
    explicit Host(QWidget* control, int width = 0) {
        test::ensureQtApp();
        UIFonts::ensureLoaded();
        host_.setAutoFillBackground(true);
        QPalette palette = host_.palette();
        palette.setColor(QPalette::Window, Theme::background());
        host_.setPalette(palette);
        auto* row = new QHBoxLayout(&host_);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        row->addWidget(control);
        if (width > 0) {
            host_.resize(width, host_.sizeHint().height());
        } else {
            host_.resize(host_.sizeHint());
        }
        host_.show();
        QCoreApplication::processEvents();
    }

    [[nodiscard]] QImage grab() { return host_.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QWidget& widget() { return host_; }

private:
    QWidget host_;
};

/// Every control needs the application and the fonts first.
class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureQtApp();
        UIFonts::ensureLoaded();
    }
};
using IconButtonTest = ControlTest;
using TextButtonTest = ControlTest;
using SliderRowTest = ControlTest;
using ScanProgressBarTest = ControlTest;
using VectorizerHeroGraphicTest = ControlTest;
using ChipTest = ControlTest;
using SectionHeaderTest = ControlTest;
using FieldRowTest = ControlTest;
using SymbolsTest = ControlTest;

TEST_F(IconButtonTest, ActiveAndDisabledShowsTheTintWithAFaintSymbolAndIgnoresClicks) {
    auto* button = new IconButton("trash", "Delete", true, Theme::danger(), true);
    Host host(button);
    ASSERT_EQ(button->size(), QSize(26, 24));
    EXPECT_EQ(button->toolTip(), "Delete");
    const QImage image = host.grab();
    image.save("/tmp/ostrel-ui-iconbutton.png");
    EXPECT_TRUE(near(image.pixelColor(2, 12), Theme::danger()));
    EXPECT_TRUE(near(image.pixelColor(24, 12), Theme::danger()));
    EXPECT_TRUE(contains(image, QRect(7, 6, 12, 12), Theme::textFaint()));
    EXPECT_FALSE(contains(image, QRect(7, 6, 12, 12), Theme::background())) << "no active-state symbol colour";
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(IconButtonTest, FillsByStateAndTheWholeRectangleTakesClicks) {
    auto* plain = new IconButton("folder", "Open", false, Theme::accent(), false);
    auto* active = new IconButton("folder", "Open", true, Theme::accent(), false);
    auto* disabled = new IconButton("folder", "Open", false, Theme::accent(), true);
    for (auto [button, fill, symbol] : {std::tuple{plain, over(Qt::white, 0.06), Theme::text()},
                                        std::tuple{active, Theme::accent(), Theme::background()},
                                        std::tuple{disabled, over(Qt::white, 0.02), Theme::textFaint()}}) {
        Host host(button);
        const QImage image = host.grab();
        EXPECT_TRUE(near(image.pixelColor(2, 12), fill));
        EXPECT_TRUE(contains(image, QRect(7, 6, 12, 12), symbol));
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(1, 1));  // a corner, far from the symbol
        EXPECT_EQ(clicks.count(), button == disabled ? 0 : 1);
    }
}

TEST_F(TextButtonTest, FillsFollowTheRoleTintAndState) {
    struct Case {
        const char* name;
        TextButton::Style style;
        bool disabled;
        QColor fill;
        QColor text;
    };
    const Case cases[] = {
        {"plain", {}, false, over(Qt::white, 0.07), Theme::text()},
        {"plain disabled", {}, true, over(Qt::white, 0.02), Theme::textFaint()},
        {"prominent", {.prominent = true}, false, Theme::accent(), Theme::background()},
        // A disabled filled button keeps a readable title on its dimmed fill.
        {"prominent disabled",
         {.prominent = true},
         true,
         over(Theme::accent(), 0.35),
         over(Theme::text(), 0.6, over(Theme::accent(), 0.35))},
        {"destructive", {.destructive = true}, false, Theme::danger(), Theme::background()},
        {"destructive tinted", {.destructive = true, .tint = Theme::tcp()}, false, Theme::tcp(), Theme::background()},
        {"tinted", {.tint = Theme::osc()}, false, over(Theme::osc(), 0.14), Theme::osc()},
        {"tinted disabled", {.tint = Theme::osc()}, true, over(Theme::osc(), 0.14), Theme::textFaint()},
        {"compact prominent", {.prominent = true, .compact = true}, false, Theme::accent(), Theme::background()},
    };
    for (const Case& c : cases) {
        auto* button = new TextButton(QStringLiteral("Plot"), c.style, c.disabled);
        Host host(button);
        const QImage image = host.grab();
        if (std::string(c.name) == "tinted disabled") image.save("/tmp/ostrel-ui-textbutton.png");
        const int midY = button->height() / 2;
        EXPECT_TRUE(near(image.pixelColor(3, midY), c.fill)) << c.name;
        EXPECT_TRUE(contains(image, QRect(6, 3, button->width() - 12, button->height() - 6), c.text)) << c.name;
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(1, button->height() / 2));  // the padding takes clicks
        EXPECT_EQ(clicks.count(), c.disabled ? 0 : 1) << c.name;
    }
}

TEST_F(TextButtonTest, ADisabledFilledTitleStaysReadable) {
    // WCAG contrast of the brightest title pixel against the fill: at least 3 : 1 for every fill.
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    for (const TextButton::Style& style :
         {TextButton::Style{.prominent = true}, TextButton::Style{.destructive = true},
          TextButton::Style{.symbol = "square.and.arrow.down", .prominent = true, .compact = true}}) {
        auto* button = new TextButton(QStringLiteral("Exporter SVG…"), style, true);
        Host host(button);
        const QImage image = host.grab();
        const QColor fill = image.pixelColor(3, button->height() / 2);
        double best = 0;
        for (int y = 3; y < button->height() - 3; ++y) {
            for (int x = 6; x < button->width() - 6; ++x) {
                const double a = luminance(image.pixelColor(x, y)) + 0.05;
                const double b = luminance(fill) + 0.05;
                best = std::max(best, std::max(a, b) / std::min(a, b));
            }
        }
        EXPECT_GE(best, 3.0) << (style.destructive ? "destructive" : "prominent");
    }
}

TEST_F(TextButtonTest, CompactPaddingAndSymbolWidenTheNaturalSize) {
    TextButton regular(QStringLiteral("Plot"), {});
    TextButton compact(QStringLiteral("Plot"), {.compact = true});
    TextButton withSymbol(QStringLiteral("Plot"), {.symbol = "play.fill"});
    EXPECT_GT(regular.sizeHint().width(), compact.sizeHint().width());
    EXPECT_GT(regular.sizeHint().height(), compact.sizeHint().height());
    EXPECT_GT(withSymbol.sizeHint().width(), regular.sizeHint().width());
}

TEST_F(TextButtonTest, FlexibleFillsItsContainerAndNaturalNeverTruncates) {
    auto* flexible = new TextButton(QStringLiteral("Start"), {.prominent = true, .flexibleWidth = true});
    Host wide(flexible, 300);
    EXPECT_EQ(flexible->width(), 300);
    const QImage image = wide.grab();
    image.save("/tmp/ostrel-ui-flexible.png");
    // The title sits in the middle: text pixels on both sides of the centre, none near the ends.
    EXPECT_TRUE(contains(image, QRect(130, 2, 20, flexible->height() - 4), Theme::background()));
    EXPECT_FALSE(contains(image, QRect(12, 2, 60, flexible->height() - 4), Theme::background()));

    const QString longTitle = QStringLiteral("Send to the plotter after the pen change");
    auto* natural = new TextButton(longTitle, {});
    Host narrow(natural, 60);
    EXPECT_EQ(natural->width(), natural->sizeHint().width());
    EXPECT_GE(natural->width(), QFontMetrics(UIFonts::text(11.5, QFont::Medium)).horizontalAdvance(longTitle));
}

TEST_F(SliderRowTest, ALongLabelGivesWayToTheWholeValue) {
    auto* row = new SliderRow(QStringLiteral("Distance maximale de raccord entre deux traits voisins"),
                              QStringLiteral("12,5 px"), 12.5, 0, 40, 0.5, Theme::tcp());
    Host host(row, 180);
    const QImage image = host.grab();
    image.save("/tmp/ostrel-ui-slider.png");
    const int valueWidth = static_cast<int>(
        std::ceil(QFontMetricsF(UIFonts::mono(11, QFont::Medium)).horizontalAdvance(QStringLiteral("12,5 px"))));
    const int lineHeight = 12;
    // The value text is drawn whole at the right end: tint pixels over its whole span.
    EXPECT_TRUE(contains(image, QRect(180 - valueWidth, 0, 4, lineHeight), Theme::tcp(), 40));
    EXPECT_TRUE(contains(image, QRect(176, 0, 4, lineHeight), Theme::tcp(), 40));
    // The label stops before it, with room to spare.
    EXPECT_FALSE(contains(image, QRect(180 - valueWidth - 4, 0, 4, lineHeight), Theme::textDim(), 20));
    EXPECT_TRUE(contains(image, QRect(0, 0, 20, lineHeight), Theme::textDim(), 20));
}

TEST_F(SliderRowTest, NeverWritesBackAValueTheCallerSet) {
    SliderRow row(QStringLiteral("Seuil"), QStringLiteral("128"), 128.3, 0, 255, 1.0, Theme::accent());
    QSignalSpy reported(&row, &SliderRow::valueChanged);
    EXPECT_EQ(row.positionCount(), 255);
    EXPECT_EQ(row.slider()->value(), 128);
    EXPECT_DOUBLE_EQ(row.value(), 128.3) << "not quantised";
    row.setValue(900);  // set remotely beyond the range
    EXPECT_DOUBLE_EQ(row.value(), 900);
    EXPECT_EQ(row.slider()->value(), 255) << "shown at the end";
    row.setValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(reported.count(), 0);

    row.slider()->setValue(42);  // the user's move
    ASSERT_EQ(reported.count(), 1);
    EXPECT_DOUBLE_EQ(reported.front().front().toDouble(), 42);
}

TEST_F(SliderRowTest, MapsStepsAndContinuousRangesOntoPositions) {
    SliderRow stepped(QStringLiteral("a"), {}, 0, -1, 1, 0.25, Theme::accent());
    EXPECT_EQ(stepped.positionCount(), 8);
    EXPECT_DOUBLE_EQ(stepped.valueAt(3), -0.25);
    EXPECT_DOUBLE_EQ(stepped.valueAt(8), 1);
    EXPECT_EQ(stepped.positionOf(0.3), 5);

    SliderRow uneven(QStringLiteral("b"), {}, 0, 0, 1, 0.3, Theme::accent());
    EXPECT_DOUBLE_EQ(uneven.valueAt(uneven.positionCount()), 1) << "the end stays reachable";

    SliderRow continuous(QStringLiteral("c"), {}, 0.5, 0, 2, std::nullopt, Theme::accent());
    EXPECT_EQ(continuous.positionCount(), 1000);
    EXPECT_DOUBLE_EQ(continuous.valueAt(250), 0.5);

    SliderRow empty(QStringLiteral("d"), {}, 3, 3, 3, 0.0, Theme::accent());  // nothing to slide
    EXPECT_EQ(empty.positionCount(), 0);
    EXPECT_DOUBLE_EQ(empty.value(), 3);
}

TEST_F(ScanProgressBarTest, KeepsItsHeightHiddenAndFillsTheClampedFraction) {
    auto* bar = new ScanProgressBar(0.7, false);
    Host host(bar, 200);
    EXPECT_EQ(bar->height(), 2);
    EXPECT_EQ(host.widget().height(), 2) << "hidden, it still takes its 2 points";
    QImage image = host.grab();
    EXPECT_TRUE(near(image.pixelColor(10, 1), Theme::background()));
    EXPECT_TRUE(near(image.pixelColor(190, 1), Theme::background()));

    bar->setActive(true);
    bar->setFraction(0.5);
    ASSERT_TRUE(test::spinUntil([&] { return !bar->isAnimating(); }));
    image = host.grab();
    image.save("/tmp/ostrel-ui-progress.png");
    EXPECT_TRUE(near(image.pixelColor(98, 0), Theme::accent()));
    EXPECT_TRUE(near(image.pixelColor(101, 1), over(Qt::white, 0.05)));

    for (auto [fraction, filled] :
         {std::pair{-0.3, 0.0}, std::pair{1.7, 1.0}, std::pair{std::numeric_limits<double>::quiet_NaN(), 0.0}}) {
        bar->setFraction(fraction);
        ASSERT_TRUE(test::spinUntil([&] { return !bar->isAnimating(); }));
        EXPECT_DOUBLE_EQ(bar->shownFill(), filled) << fraction;
    }
    image = host.grab();
    EXPECT_TRUE(near(image.pixelColor(2, 1), over(Qt::white, 0.05))) << "no fill";
    bar->setActive(false);
    ASSERT_TRUE(test::spinUntil([&] { return !bar->isAnimating(); }));
    EXPECT_TRUE(near(host.grab().pixelColor(100, 1), Theme::background()));
    EXPECT_EQ(bar->height(), 2);
}

TEST_F(VectorizerHeroGraphicTest, GeometryAtSizeOneHundred) {
    auto* hero = new VectorizerHeroGraphic(true, 100);
    Host host(hero);
    ASSERT_EQ(hero->size(), QSize(100, 100));
    const QImage image = host.grab();
    image.save("/tmp/ostrel-ui-hero.png");
    // The anchors at the curve's ends, the control points, the first bitmap pixel.
    EXPECT_TRUE(near(image.pixelColor(18, 72), Theme::alive()));
    EXPECT_TRUE(near(image.pixelColor(84, 28), Theme::alive()));
    EXPECT_TRUE(near(image.pixelColor(34, 18), Theme::tcp()));
    EXPECT_TRUE(near(image.pixelColor(68, 84), Theme::tcp()));
    EXPECT_TRUE(near(image.pixelColor(23, 75), over(Theme::textFaint(), 0.32)));
    EXPECT_TRUE(near(image.pixelColor(16, 60), Theme::background())) << "above the first pixel";
    // The frame circle passes through (50, 6) and (6, 50), inscribed in 6…94.
    EXPECT_FALSE(near(image.pixelColor(50, 6), Theme::background(), 2));
    EXPECT_FALSE(near(image.pixelColor(94, 50), Theme::background(), 2));
    EXPECT_TRUE(near(image.pixelColor(50, 3), Theme::background()));
    EXPECT_TRUE(near(image.pixelColor(97, 50), Theme::background()));
    // The curve's middle (t = 0.5) is drawn in the accent.
    const QPointF middle =
        0.125 * QPointF(18, 72) + 0.375 * QPointF(34, 18) + 0.375 * QPointF(68, 84) + 0.125 * QPointF(84, 28);
    EXPECT_TRUE(near(image.pixelColor(middle.toPoint()), Theme::accent(), 12));
}

TEST_F(ChipTest, FilledAndLightLooks) {
    auto* filled = new Chip(QStringLiteral("OSC 9140"), Theme::osc(), true);
    auto* light = new Chip(QStringLiteral("OSC 9140"), Theme::osc(), false);
    for (auto [chip, fill, ink] : {std::tuple{filled, Theme::osc(), Theme::background()},
                                   std::tuple{light, over(Theme::osc(), 0.14), Theme::osc()}}) {
        Host host(chip);
        const QImage image = host.grab();
        EXPECT_TRUE(near(image.pixelColor(2, chip->height() / 2), fill));
        EXPECT_TRUE(contains(image, QRect(5, 2, chip->width() - 10, chip->height() - 4), ink));
        EXPECT_TRUE(chip->testAttribute(Qt::WA_TransparentForMouseEvents));
    }
}

TEST_F(SectionHeaderTest, ShowsTheTitleInUpperCaseAndKeepsTheCallersText) {
    test::ensureQtApp();
    SectionHeader plain(QStringLiteral("Métriques"));
    EXPECT_EQ(plain.titleLabel()->text(), "MÉTRIQUES");
    EXPECT_EQ(plain.title(), "Métriques");
    auto* trailing = new QLabel(QStringLiteral("x"));
    SectionHeader withTrailing(QStringLiteral("Stylos"), trailing);
    withTrailing.resize(200, withTrailing.sizeHint().height());
    withTrailing.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(trailing->parent(), &withTrailing);
    EXPECT_GT(trailing->x(), 150) << "at the right end";
    EXPECT_EQ(withTrailing.layout()->contentsMargins().bottom(), 2);
}

TEST_F(FieldRowTest, TheLabelColumnHasTheGivenWidth) {
    test::ensureQtApp();
    auto* content = new QLabel(QStringLiteral("A4"));
    FieldRow row(QStringLiteral("Papier"), 72, content);
    row.resize(300, 24);
    row.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(row.label()->width(), 72);
    EXPECT_EQ(content->x(), 72 + 6);
    EXPECT_EQ(content->width(), 300 - 78) << "the content takes the rest";
}

TEST_F(SymbolsTest, EveryGlyphIsInTheSymbolFont) {
    test::ensureQtApp();
    UIFonts::ensureLoaded();
    if (UIFonts::symbolFamily().isEmpty()) GTEST_SKIP() << "the Material Icons font is not installed";
    const QRawFont font = QRawFont::fromFont(UIFonts::symbols(12));
    ASSERT_TRUE(font.isValid());
    for (std::string_view name : Symbols::knownNames()) {
        if (const auto glyph = Symbols::glyph(name)) {
            EXPECT_TRUE(font.supportsCharacter(glyph->front())) << name;
        } else {
            EXPECT_TRUE(Symbols::drawnShape(name)) << name;
        }
    }
    EXPECT_FALSE(Symbols::glyph("no.such.symbol"));
}

}  // namespace
}  // namespace ostrel
