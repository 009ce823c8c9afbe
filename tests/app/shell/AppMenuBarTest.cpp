#include "app/shell/AppMenuBar.h"
#include "app/shell/AppModel.h"

#include "app/shell/ShellFixtures.h"
#include "testsupport/ConfigHomeScope.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/LoopbackHttpStub.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <set>

namespace ostrel {
namespace {

/// A title as a menu shows it: a lone "&" marks the mnemonic and is not drawn, "&&" draws "&".
std::string shown(const QString& title) {
    QString text;
    for (qsizetype i = 0; i < title.size(); ++i) {
        if (title[i] == QLatin1Char('&') && i + 1 < title.size()) ++i;
        text += title[i];
    }
    return text.toStdString();
}

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureQtApp();
        makeWindow(false, &settings);
    }

    void makeWindow(bool persist, SettingsStore* store) {
        menus.reset();
        window.reset();
        model.reset();
        AppModel::Environment environment;
        environment.settings = store;
        environment.panels = panels;
        environment.pasteboard = pasteboard;
        // A check asked for from the menu goes to a loopback port where nothing answers.
        environment.updater.variable = [feed = "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) +
                                               "/feed"](const char* name) -> std::optional<std::string> {
            if (std::string(name) == "KAVRIN_UPDATE_URL") return feed;
            return std::nullopt;
        };
        model = std::make_unique<AppModel>(AppModel::Options{false, persist, false}, std::move(environment));
        window = std::make_unique<QMainWindow>();
        auto* central = new QWidget;
        auto* layout = new QVBoxLayout(central);
        canvas = new QWidget;
        canvas->setFocusPolicy(Qt::StrongFocus);
        field = new QLineEdit;
        layout->addWidget(canvas);
        layout->addWidget(field);
        window->setCentralWidget(central);
        menus = std::make_unique<AppMenuBar>(*model, *window->menuBar());
        window->resize(500, 300);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        canvas->setFocus();
        model->installKeyMonitor(window.get());
    }

    QAction& item(const char* name) {
        QAction* action = menus->action(QString::fromLatin1(name));
        EXPECT_NE(action, nullptr) << name;
        static QAction missing;
        return action != nullptr ? *action : missing;
    }

    std::vector<std::int64_t> loadDrawing() {
        EXPECT_TRUE(model->vectorizer().loadImage(test::threeStrokeDrawing(), "three", true));
        std::vector<std::int64_t> ids;
        for (const auto& layer : model->vectorizer().result()->layers) {
            for (const auto& path : layer.paths) ids.push_back(path.id);
        }
        return ids;
    }

    void key(QKeyCombination combination) {
        QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : window.get();
        QTest::keyClick(target, combination.key(), combination.keyboardModifiers());
    }

    test::LanguageScope english{AppLanguage::en};
    test::RecordingSettingsStore settings;
    std::shared_ptr<test::ScriptedPanels> panels = std::make_shared<test::ScriptedPanels>();
    std::shared_ptr<test::MemoryPasteboard> pasteboard = std::make_shared<test::MemoryPasteboard>();
    std::unique_ptr<AppModel> model;
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<AppMenuBar> menus;
    QWidget* canvas = nullptr;
    QLineEdit* field = nullptr;
};

TEST_F(MenuTest, EnabledStatesFollowTheDocumentAndTheSelection) {
    for (const char* name : {"file.saveSVG", "file.export", "edit.copySVG", "edit.selectAll", "edit.undo", "edit.redo",
                             "edit.deselectAll", "edit.delete", "edit.join"}) {
        EXPECT_FALSE(item(name).isEnabled()) << name << " without an image";
    }
    for (const char* name :
         {"file.open", "edit.paste", "vectorize.algorithm.0", "vectorize.rerun", "view.split", "view.zoomIn",
          "help.manual", "help.updates", "help.about", "file.quit", "edit.settings"}) {
        EXPECT_TRUE(item(name).isEnabled()) << name;
    }
    EXPECT_TRUE(menus->recentMenu()->menuAction()->isEnabled());

    const auto ids = loadDrawing();
    EXPECT_TRUE(item("file.saveSVG").isEnabled());
    EXPECT_TRUE(item("edit.selectAll").isEnabled());
    model->setSelectedPathIDs({ids[0]});
    for (const char* name : {"edit.deselectAll", "edit.delete", "edit.simplify", "edit.reverse"}) {
        EXPECT_TRUE(item(name).isEnabled()) << name << " with one stroke";
    }
    EXPECT_FALSE(item("edit.join").isEnabled());
    model->setSelectedPathIDs({ids[0], ids[1]});
    EXPECT_TRUE(item("edit.join").isEnabled());

    item("edit.reverse").trigger();
    EXPECT_TRUE(item("edit.undo").isEnabled());
    item("edit.undo").trigger();
    EXPECT_TRUE(item("edit.redo").isEnabled());
    EXPECT_EQ(model->flashMessage(), "Edit undone");
    item("vectorize.reset").trigger();
    EXPECT_FALSE(item("edit.undo").isEnabled());
    EXPECT_FALSE(item("edit.redo").isEnabled());
}

TEST_F(MenuTest, CheckmarksOnlyOnAlgorithmsAndTools) {
    EXPECT_TRUE(item("vectorize.algorithm.0").isChecked());
    EXPECT_FALSE(item("vectorize.algorithm.2").isChecked());
    item("vectorize.algorithm.2").trigger();
    EXPECT_EQ(model->vectorizer().params().algorithm, VectorAlgorithm::skeletonize);
    EXPECT_TRUE(item("vectorize.algorithm.2").isChecked());
    EXPECT_FALSE(item("vectorize.algorithm.0").isChecked());

    EXPECT_TRUE(item("vectorize.tool.select").isChecked());
    model->setEditTool(CanvasEditTool::erase);
    EXPECT_TRUE(item("vectorize.tool.erase").isChecked());
    EXPECT_FALSE(item("vectorize.tool.select").isChecked());

    for (const char* name : {"vectorize.paper.A4", "vectorize.paper.original", "vectorize.pens.1", "vectorize.pens.4",
                             "view.split", "view.vector", "view.blackOnWhite", "view.sidebar"}) {
        EXPECT_FALSE(item(name).isCheckable()) << name;
    }
}

TEST_F(MenuTest, ChoosingTheCurrentValueStillRunsAgain) {
    QSignalSpy params(&model->vectorizer(), &VectorizerController::paramsChanged);
    item("vectorize.algorithm.0").trigger();
    item("vectorize.pens.2").trigger();
    item("vectorize.paper.A3").trigger();
    EXPECT_EQ(params.count(), 3);
    EXPECT_EQ(model->vectorizer().params().penCount, 2);
    EXPECT_EQ(model->vectorizer().params().paperFormat, PaperFormat::a3);
}

TEST_F(MenuTest, TheLanguageSwitchRenamesEveryItem) {
    auto titles = [&] {
        std::vector<std::string> out;
        std::function<void(QMenu*)> walk = [&](QMenu* menu) {
            out.push_back(shown(menu->title()));
            for (QAction* action : menu->actions()) {
                if (action->menu() != nullptr) {
                    walk(action->menu());
                } else if (!action->isSeparator()) {
                    out.push_back(shown(action->text()));
                }
            }
        };
        for (QMenu* menu : menus->menus()) walk(menu);
        return out;
    };
    const auto english = titles();
    model->setLanguage(AppLanguage::fr);
    const auto french = titles();
    ASSERT_EQ(english.size(), french.size());
    const std::pair<std::string, std::string> pairs[] = {
        {"File", "Fichier"},
        {"Edit", "Édition"},
        {"Vectorization", "Vectorisation"},
        {"View", "Présentation"},
        {"Help", "Aide"},
        {"Open Image…", "Ouvrir une image…"},
        {"No Recent Items", "Aucun élément récent"},
        {"Black Strokes on White Paper Preview", "Aperçu traits noirs sur fond blanc"},
        {"Hide Parameters", "Masquer les paramètres"},
        {"1 pen", "1 stylo"},
        {"4 pens", "4 stylos"},
        {"Original pixels", "Pixels d'origine"},
        {"Quit Ostrel", "Quitter Ostrel"},
        {"Settings…", "Réglages…"},
        {"About Ostrel", "À propos de Ostrel"},
        {"Check for Updates…", "Rechercher des mises à jour…"},
    };
    for (const auto& [en, fr] : pairs) {
        const auto at = std::find(english.begin(), english.end(), en);
        ASSERT_NE(at, english.end()) << en;
        EXPECT_EQ(french[static_cast<std::size_t>(at - english.begin())], fr);
    }
    std::size_t same = 0;
    for (std::size_t i = 0; i < english.size(); ++i) same += english[i] == french[i] ? 1 : 0;
    EXPECT_EQ(same, 4u) << "only the four paper sizes A4 to A6 read alike";
}

TEST_F(MenuTest, ToggleTitlesSayWhatChoosingDoesAndPersist) {
    test::ConfigHomeScope configHome;
    makeWindow(true, nullptr);
    EXPECT_EQ(item("view.blackOnWhite").text(), "Black Strokes on White Paper Preview");
    key(Qt::CTRL | Qt::Key_B);
    EXPECT_TRUE(model->blackOnWhitePreview());
    EXPECT_EQ(item("view.blackOnWhite").text(), "Dark Preview (Pen Colors)");
    item("view.axiDrawSection").trigger();
    EXPECT_EQ(item("view.axiDrawSection").text(), "Collapse AxiDraw Plotter Section");
    item("view.controlPoints").trigger();
    EXPECT_EQ(item("view.controlPoints").text(), "Hide Bézier Control Handles");

    makeWindow(true, nullptr);  // a restart on the same settings file
    EXPECT_TRUE(model->blackOnWhitePreview());
    EXPECT_TRUE(model->showAxiDrawSection());
    EXPECT_FALSE(model->showControlPoints()) << "not stored";
    EXPECT_EQ(item("view.blackOnWhite").text(), "Dark Preview (Pen Colors)");
}

TEST_F(MenuTest, ShortcutsFireWhileTheMenusAreClosed) {
    struct Case {
        QKeyCombination keys;
        std::function<bool()> done;
        const char* what;
    };
    const Case cases[] = {
        {Qt::CTRL | Qt::Key_3, [&] { return model->viewMode() == CanvasViewMode::vectorOnly; }, "vector view"},
        {Qt::CTRL | Qt::Key_2, [&] { return model->viewMode() == CanvasViewMode::overlay; }, "overlay view"},
        {Qt::CTRL | Qt::Key_K, [&] { return model->showControlPoints(); }, "control points"},
        {Qt::CTRL | Qt::Key_T, [&] { return model->showTravelMoves(); }, "travel moves"},
        {Qt::CTRL | Qt::ALT | Qt::Key_S, [&] { return !model->showSidebar(); }, "sidebar"},
        {Qt::CTRL | Qt::Key_Equal, [&] { return model->zoomScale() == 1.25; }, "zoom in by ="},
        {Qt::CTRL | Qt::Key_Plus, [&] { return model->zoomScale() == 1.25 * 1.25; }, "zoom in by +"},
        {Qt::CTRL | Qt::Key_Minus, [&] { return model->zoomScale() == 1.25; }, "zoom out"},
        {Qt::CTRL | Qt::Key_0, [&] { return model->zoomScale() == 1; }, "actual size"},
        {QKeyCombination(Qt::Key_F1), [&] { return model->showHelp(); }, "help"},
        {Qt::CTRL | Qt::Key_Slash, [&] { return model->showShortcuts(); }, "shortcuts"},
    };
    for (const Case& c : cases) {
        key(c.keys);
        EXPECT_TRUE(c.done()) << c.what;
    }
    model->setShowHelp(false);
    model->setShowShortcuts(false);

    QSignalSpy settingsAsked(menus.get(), &AppMenuBar::settingsRequested);
    key(Qt::CTRL | Qt::Key_Comma);
    EXPECT_EQ(settingsAsked.count(), 1);

    const auto ids = loadDrawing();
    key(Qt::CTRL | Qt::SHIFT | Qt::Key_E);
    EXPECT_TRUE(model->showExport());
    model->setShowExport(false);
    key(Qt::CTRL | Qt::Key_A);
    EXPECT_EQ(model->selectedPathIDs().size(), ids.size());
    key(Qt::CTRL | Qt::SHIFT | Qt::Key_A);
    EXPECT_TRUE(model->selectedPathIDs().empty());

    // Delete is both a window key and the menu's shortcut: one press deletes once.
    model->setSelectedPathIDs({ids[0]});
    key(QKeyCombination(Qt::Key_Delete));
    EXPECT_EQ(model->vectorizer().undoStack().size(), 1u);
    key(Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(model->vectorizer().redoStack().size(), 1u);
    key(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    EXPECT_EQ(model->vectorizer().undoStack().size(), 1u);
    key(Qt::CTRL | Qt::Key_Z);
    key(Qt::CTRL | Qt::Key_Y);
    EXPECT_EQ(model->vectorizer().undoStack().size(), 1u);
    EXPECT_EQ(model->flashMessage(), "Edit redone");

    key(Qt::CTRL | Qt::SHIFT | Qt::Key_C);
    EXPECT_EQ(pasteboard->text, model->vectorizer().result()->svgAxiDraw);
    key(Qt::CTRL | Qt::Key_C);  // bound to nothing
    key(Qt::CTRL | Qt::Key_X);
    EXPECT_EQ(pasteboard->text, model->vectorizer().result()->svgAxiDraw);
}

TEST_F(MenuTest, AFocusedTextFieldKeepsItsEditingKeys) {
    const auto ids = loadDrawing();
    model->setSelectedPathIDs({ids[0]});
    pasteboard->picture = test::threeStrokeDrawing();
    QGuiApplication::clipboard()->setText(QStringLiteral("xyz"));
    field->setText(QStringLiteral("abc"));
    field->setFocus();
    key(Qt::CTRL | Qt::Key_A);
    EXPECT_EQ(field->selectedText(), "abc");
    EXPECT_EQ(model->selectedPathIDs(), std::set<std::int64_t>{ids[0]}) << "select all strokes did not run";
    key(Qt::CTRL | Qt::Key_V);
    EXPECT_EQ(field->text(), "xyz");
    EXPECT_EQ(model->vectorizer().sourceTitle(), "three") << "no image pasted";
    key(QKeyCombination(Qt::Key_Backspace));
    EXPECT_EQ(field->text(), "xy");
    EXPECT_EQ(model->vectorizer().undoStack().size(), 0u) << "no stroke deleted";
}

TEST_F(MenuTest, AltAndTheMnemonicOpensEachMenuInBothLanguages) {
    for (const AppLanguage language : {AppLanguage::en, AppLanguage::fr}) {
        model->setLanguage(language);
        std::set<int> letters;
        for (QMenu* menu : menus->menus()) {
            SCOPED_TRACE(shown(menu->title()));
            const QKeySequence mnemonic = QKeySequence::mnemonic(menu->title());
            ASSERT_FALSE(mnemonic.isEmpty()) << "no mnemonic";
            EXPECT_TRUE(letters.insert(mnemonic[0].key()).second)
                << "two menus share " << mnemonic.toString().toStdString();
            QTest::keyClick(window.get(), mnemonic[0].key(), Qt::AltModifier);
            EXPECT_TRUE(test::spinUntil([&] { return menu->isVisible(); })) << "Alt+letter did not open it";
            // Escape closes the menu, a second one leaves the menu bar.
            QTest::keyClick(menu, Qt::Key_Escape);
            QTest::keyClick(window->menuBar(), Qt::Key_Escape);
            ASSERT_TRUE(test::spinUntil([&] { return !menu->isVisible(); }));
        }
    }
}

TEST_F(MenuTest, AmpersandsOfTitlesAndFileNamesAreShownNotReadAsMnemonics) {
    test::TempDir files;
    const auto drawing = files.path() / "draw&ink.png";
    test::writeDrawing(drawing);
    ASSERT_TRUE(model->open(drawing));
    struct Case {
        AppLanguage language;
        const char* viewGuide;
        const char* helpGuide;
    };
    for (const Case& c : {Case{AppLanguage::fr, "Commandes OSC, HTTP & MCP…", "Guide OSC, HTTP & MCP"},
                          Case{AppLanguage::en, "OSC, HTTP & MCP Commands…", "OSC, HTTP & MCP Guide"}}) {
        model->setLanguage(c.language);
        const QAction* file = menus->recentMenu()->actions().front();
        using Shown = std::pair<const QAction*, const char*>;
        for (const auto& [action, expected] :
             {Shown{&item("view.oscGuide"), c.viewGuide}, Shown{&item("help.oscGuide"), c.helpGuide},
              Shown{file, "draw&ink.png"}}) {
            EXPECT_EQ(shown(action->text()), expected);
            EXPECT_TRUE(QKeySequence::mnemonic(action->text()).isEmpty()) << expected;
        }
    }
}

TEST_F(MenuTest, OpenRecentListsTheFilesAndOpensThem) {
    auto recentTitles = [&] {
        std::vector<std::string> out;
        for (QAction* action : menus->recentMenu()->actions()) {
            if (!action->isSeparator()) out.push_back(action->text().toStdString());
        }
        return out;
    };
    EXPECT_EQ(recentTitles(), std::vector<std::string>{"No Recent Items"});
    EXPECT_FALSE(menus->recentMenu()->actions().front()->isEnabled());

    test::TempDir files;
    const auto first = files.path() / "one" / "same.png";
    const auto second = files.path() / "two" / "same.png";
    test::writeDrawing(first);
    test::writeDrawing(second);
    ASSERT_TRUE(model->open(first));
    ASSERT_TRUE(model->open(second));
    EXPECT_EQ(recentTitles(), (std::vector<std::string>{"same.png", "same.png", "Clear Menu"}));

    // A deleted recent file leaves the window as it was and stays listed.
    std::filesystem::remove(first);
    model->setSelectedPathIDs({1});
    model->applyZoom(2, {3, 3});
    const QPointF pan = model->panOffset();
    menus->recentMenu()->actions()[1]->trigger();
    EXPECT_EQ(model->selectedPathIDs(), std::set<std::int64_t>{1});
    EXPECT_DOUBLE_EQ(model->zoomScale(), 2);
    EXPECT_EQ(model->panOffset(), pan);
    EXPECT_EQ(model->recentURLs().size(), 2u);

    menus->recentMenu()->actions()[0]->trigger();
    EXPECT_EQ(model->vectorizer().sourcePath(), second.string());
    EXPECT_DOUBLE_EQ(model->zoomScale(), 1);

    item("file.recent.clear").trigger();
    EXPECT_EQ(recentTitles(), std::vector<std::string>{"No Recent Items"});
}

TEST_F(MenuTest, CheckForUpdatesShowsTheSheetWithTheCheckUnderWay) {
    bool idleWhenShown = false;
    QObject::connect(model.get(), &AppModel::showUpdaterChanged,
                     [&] { idleWhenShown = std::holds_alternative<UpdaterState::Idle>(model->updater().state()); });
    item("help.updates").trigger();
    EXPECT_TRUE(model->showUpdater());
    EXPECT_TRUE(idleWhenShown) << "the sheet opens before the check starts";
    EXPECT_TRUE(std::holds_alternative<UpdaterState::Checking>(model->updater().state()));
    item("help.about").trigger();
    EXPECT_TRUE(model->showAbout());
    item("view.oscGuide").trigger();
    EXPECT_TRUE(model->showOSCGuide());
}

}  // namespace
}  // namespace ostrel
