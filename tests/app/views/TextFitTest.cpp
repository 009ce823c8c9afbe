// Every text of the window and of its sheets, in French and in English, at the window's minimum,
// default and a large size, is shown whole: no label or control draws its text wider or taller
// than its room (elided, clipped, or cut by a container), so a longer translation cannot cut a
// word silently.
#include "app/launch/Snapshot.h"
#include "app/ui/Chip.h"
#include "app/ui/TextButton.h"
#include "app/ui/TextRoom.h"
#include "app/views/bars/BarControls.h"
#include "app/views/ContentView.h"
#include "app/views/MainWindow.h"
#include "app/views/SettingsWindow.h"
#include "app/views/sheets/HelpManualSheet.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/QtTestApp.h"
#include "../shell/ShellFixtures.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QDialog>
#include <QFontMetricsF>
#include <QLabel>
#include <QTextDocument>
#include <QTextLayout>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {
namespace {

std::string describe(const QWidget& widget, const QString& text) {
    QString name =
        widget.objectName().isEmpty() ? QString::fromLatin1(widget.metaObject()->className()) : widget.objectName();
    return name.toStdString() + " \"" + text.toStdString() + "\" (" + std::to_string(widget.width()) + "×" +
           std::to_string(widget.height()) + ")";
}

/// Whether a button draws its title (the bar's buttons may show their symbol alone).
bool showsItsTitle(const QAbstractButton& button) {
    if (const auto* segment = qobject_cast<const SegmentButton*>(&button)) return !segment->isCompact();
    if (const auto* face = qobject_cast<const MenuFace*>(&button)) return !face->isSymbolOnly();
    if (const auto* textButton = qobject_cast<const TextButton*>(&button)) return !textButton->isSymbolOnly();
    return true;
}

/// Whether a QLabel's text needs more room than the label has.
bool labelCutsItsText(const QLabel& label) {
    const int margin = label.margin();
    const QRect room = label.contentsRect().adjusted(margin, margin, -margin, -margin);
    const QString text = label.text();
    const bool rich =
        label.textFormat() == Qt::RichText || (label.textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    if (label.wordWrap()) {
        // Taller than its room, or a word wider than a line (it would be broken inside).
        if (label.heightForWidth(label.width()) > label.height()) return true;
        double widest = 0;
        if (rich) {
            QTextDocument document;
            document.setDefaultFont(label.font());
            document.setDocumentMargin(0);
            document.setHtml(text);
            document.setTextWidth(room.width());
            widest = document.idealWidth();
        } else {
            QTextLayout layout(text, label.font());
            QTextOption option;
            option.setWrapMode(QTextOption::WordWrap);
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(room.width());
                widest = std::max(widest, line.naturalTextWidth());
            }
            layout.endLayout();
        }
        return widest > room.width() + 0.5;
    }
    QSizeF needed;
    if (rich) {
        QTextDocument document;
        document.setDefaultFont(label.font());
        document.setDocumentMargin(0);
        document.setHtml(text);
        needed = {document.idealWidth(), document.size().height()};
    } else {
        const QFontMetricsF metrics(label.font());
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (const QString& line : lines) needed.setWidth(std::max(needed.width(), metrics.horizontalAdvance(line)));
        needed.setHeight(metrics.height() + (lines.size() - 1) * metrics.lineSpacing());
    }
    return needed.width() > room.width() + 0.5 || needed.height() > room.height() + 1;
}

/// Whether a container between `widget` and `root` cuts `widget` off: it reaches past its parent's
/// edge. A scrolling area's content is meant to be partly out of view and is not counted.
bool cutByAContainer(const QWidget& widget, const QWidget& root) {
    QRect area = widget.rect();
    for (const QWidget* child = &widget; child != &root && child->parentWidget() != nullptr;
         child = child->parentWidget()) {
        const QWidget* parent = child->parentWidget();
        area.translate(child->pos());
        if (const auto* scroll = qobject_cast<const QAbstractScrollArea*>(parent->parentWidget());
            scroll != nullptr && scroll->viewport() == parent) {
            return false;
        }
        if (!parent->rect().contains(area)) return true;
    }
    return false;
}

/// Every text under `root` (visible, the root included) that is shown cut, with where it is.
std::vector<std::string> cutTexts(const QWidget& root) {
    std::vector<std::string> cut;
    std::vector<const QWidget*> widgets{&root};
    for (const QWidget* child : root.findChildren<QWidget*>()) widgets.push_back(child);
    for (const QWidget* widget : widgets) {
        if (!widget->isVisibleTo(&root) || widget->width() <= 0 || widget->height() <= 0) continue;
        QStringList texts;
        bool textCut = false;
        if (const auto* control = dynamic_cast<const TextRoom*>(widget)) {
            for (const QString& text : control->cutTexts()) cut.push_back(describe(*widget, text));
            if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) texts << button->text();
        } else if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            texts << label->text();
            textCut = !label->text().isEmpty() && labelCutsItsText(*label);
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            // The controls' size hints hold their whole title; some show their symbol alone.
            if (!showsItsTitle(*button)) continue;
            texts << button->text();
            textCut = !button->text().isEmpty() && button->width() < button->sizeHint().width();
        } else if (const auto* chip = qobject_cast<const Chip*>(widget)) {
            texts << chip->text();
            textCut = chip->width() < chip->sizeHint().width();
        }
        texts.removeAll(QString());
        if (texts.isEmpty()) continue;
        if (textCut || cutByAContainer(*widget, root)) cut.push_back(describe(*widget, texts.join(QLatin1Char('|'))));
    }
    return cut;
}

/// Lets the shown widgets lay themselves out and paint.
void settle() {
    for (int turn = 0; turn < 3; ++turn) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

std::unique_ptr<AppModel> makeModel(test::RecordingSettingsStore& settings, bool withDrawing = true) {
    AppModel::Environment environment;
    environment.settings = &settings;
    environment.panels = std::make_shared<test::ScriptedPanels>();
    environment.pasteboard = std::make_shared<test::MemoryPasteboard>();
    environment.updater.launchDelay = std::chrono::hours(24);
    // A check, if one started, would ask the loopback, never the network.
    environment.updater.variable = [](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "KAVRIN_UPDATE_URL") return "http://127.0.0.1:9/feed.json";
        return std::nullopt;
    };
    auto model = std::make_unique<AppModel>(AppModel::Options{}, std::move(environment));
    if (withDrawing) model->vectorizer().loadPreset(SyntheticPreset::portrait, true);
    return model;
}

/// The fullest top bar and sidebar: plotter output on paper "Pixels" with two pens, the plotter
/// section open (summary "2 stylos · Pixels"), the longest algorithm label, the overlay sliders and
/// two strokes selected (the selection bar).
void showEverything(AppModel& model) {
    VectorizerParams params = model.vectorizer().params();
    params.penCount = 2;
    params.paperFormat = PaperFormat::original;
    params.algorithm = VectorAlgorithm::visionContours;
    model.vectorizer().setParams(params, RunSchedule::now());
    model.setOutputMode(VectorOutputMode::axidraw);
    model.setShowAxiDrawSection(true);
    model.setViewMode(CanvasViewMode::overlay);
    const auto& layers = model.vectorizer().result()->layers;
    model.setSelectedPathIDs({layers.front().paths.at(0).id, layers.front().paths.at(1).id});
}

struct Language {
    AppLanguage language;
    const char* name;
};
constexpr Language kLanguages[] = {{AppLanguage::fr, "French"}, {AppLanguage::en, "English"}};

TEST(TextFit, TheWindowShowsEveryTextWholeAtItsSizesInBothLanguages) {
    test::ensureQtApp();
    for (const Language& language : kLanguages) {
        const test::LanguageScope scope(language.language);
        enum class State { empty, start, full };
        for (const State state : {State::empty, State::start, State::full}) {
            for (const QSize size : {QSize(MainWindow::kMinimumWidth, MainWindow::kMinimumHeight),
                                     QSize(MainWindow::kDefaultWidth, MainWindow::kDefaultHeight), QSize(2560, 1440)}) {
                const char* named[] = {", no image, ", ", at start, ", ", everything shown, "};
                SCOPED_TRACE(std::string(language.name) + named[static_cast<int>(state)] +
                             std::to_string(size.width()) + "×" + std::to_string(size.height()));
                test::RecordingSettingsStore settings;
                const auto model = makeModel(settings, state != State::empty);
                if (state == State::full) showEverything(*model);
                ContentView view(*model);
                view.resize(size);
                view.show();
                settle();
                EXPECT_EQ(cutTexts(view), std::vector<std::string>{});
            }
        }
    }
}

TEST(TextFit, EverySheetShowsEveryTextWholeInBothLanguages) {
    test::ensureQtApp();
    using Sheet = ContentView::Sheet;
    for (const Language& language : kLanguages) {
        const test::LanguageScope scope(language.language);
        test::RecordingSettingsStore settings;
        const auto model = makeModel(settings);
        ContentView view(*model);
        view.resize(MainWindow::kDefaultWidth, MainWindow::kDefaultHeight);
        view.show();
        settle();
        // `snapshot`: the view name of the sheet's snapshot, whose size must hold the whole sheet.
        const auto check = [&](Sheet sheet, const char* name, const char* snapshot,
                               const std::function<void(bool)>& show) {
            SCOPED_TRACE(std::string(language.name) + ", " + name);
            show(true);
            QDialog* dialog = view.sheetDialog(sheet);
            ASSERT_NE(dialog, nullptr);
            settle();
            if (snapshot != nullptr) {
                const std::optional<QSize> size = Snapshot::sheetSize(snapshot);
                ASSERT_TRUE(size.has_value());
                EXPECT_LE(dialog->height(), size->height()) << "taller than its snapshot";
                EXPECT_LE(dialog->width(), size->width()) << "wider than its snapshot";
            }
            if (sheet == Sheet::help) {
                auto* help = dialog->findChild<HelpManualSheet*>();
                ASSERT_NE(help, nullptr);
                for (const HelpManualSheet::SectionID section : HelpManualSheet::allSections) {
                    SCOPED_TRACE(HelpManualSheet::rawValue(section));
                    help->selectSection(section);
                    settle();
                    EXPECT_EQ(cutTexts(*dialog), std::vector<std::string>{});
                }
            } else {
                EXPECT_EQ(cutTexts(*dialog), std::vector<std::string>{});
            }
            show(false);
        };
        AppModel& m = *model;
        check(Sheet::about, "About", "about", [&](bool on) { m.setShowAbout(on); });
        check(Sheet::help, "user guide", "help", [&](bool on) { m.setShowHelp(on); });
        check(Sheet::shortcuts, "shortcuts", "shortcuts", [&](bool on) { m.setShowShortcuts(on); });
        check(Sheet::oscGuide, "remote-control guide", nullptr, [&](bool on) { m.setShowOSCGuide(on); });
        check(Sheet::exportFile, "export", nullptr, [&](bool on) { m.setShowExport(on); });
        check(Sheet::updater, "update window", nullptr, [&](bool on) { m.setShowUpdater(on); });

        SCOPED_TRACE(std::string(language.name) + ", settings");
        SettingsWindow settingsWindow(m);
        settingsWindow.show();
        settle();
        EXPECT_EQ(cutTexts(settingsWindow), std::vector<std::string>{});
        EXPECT_LE(settingsWindow.height(), Snapshot::sheetSize("settings")->height()) << "taller than its snapshot";
    }
}

}  // namespace
}  // namespace ostrel
