#include "app/shell/AppModel.h"
#include "app/shell/WindowKeyFilter.h"

#include "app/shell/ShellFixtures.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace ostrel {
namespace {

/// A model holding the three-stroke drawing, vectorized.
class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureQtApp();
        AppModel::Environment environment;
        environment.settings = &settings;
        environment.pasteboard = std::make_shared<test::MemoryPasteboard>();
        environment.panels = std::make_shared<test::ScriptedPanels>();
        model = std::make_unique<AppModel>(AppModel::Options{false, false, false}, std::move(environment));
        ASSERT_TRUE(model->vectorizer().loadImage(test::threeStrokeDrawing(), "three", true));
        ASSERT_TRUE(model->vectorizer().result());
        ids = allIDs();
        ASSERT_GE(ids.size(), 3u);
    }

    [[nodiscard]] std::vector<std::int64_t> allIDs() const {
        std::vector<std::int64_t> out;
        for (const auto& layer : model->vectorizer().result()->layers) {
            for (const auto& path : layer.paths) out.push_back(path.id);
        }
        return out;
    }

    [[nodiscard]] std::int64_t penOf(std::int64_t id) const {
        for (const auto& layer : model->vectorizer().result()->layers) {
            for (const auto& path : layer.paths) {
                if (path.id == id) return layer.index;
            }
        }
        return -1;
    }

    test::LanguageScope english{AppLanguage::en};
    test::RecordingSettingsStore settings;
    std::unique_ptr<AppModel> model;
    std::vector<std::int64_t> ids;
};

TEST_F(SelectionTest, DeleteRemovesTheSelectionAndCountsTheStrokes) {
    {
        test::LanguageScope french(AppLanguage::fr);
        model->setSelectedPathIDs({ids[0]});
        model->deleteSelectedPaths();
        EXPECT_EQ(model->flashMessage(), "1 trait supprimé (Ctrl+Z pour annuler)");
    }
    std::set<std::int64_t> rest(ids.begin() + 1, ids.end());
    model->setSelectedPathIDs(rest);
    model->setSelectedVertex(SelectedVertex{ids[1], 1});
    model->deleteSelectedPaths();
    EXPECT_TRUE(allIDs().empty());
    EXPECT_TRUE(model->selectedPathIDs().empty());
    EXPECT_FALSE(model->selectedVertex());
    EXPECT_EQ(model->flashMessage(), std::to_string(rest.size()) + " strokes deleted (Ctrl+Z to undo)");

    model->setSelectedPathIDs({ids[0]});  // gone already: cleared, nothing shown
    model->flash("before");
    model->deleteSelectedPaths();
    EXPECT_TRUE(model->selectedPathIDs().empty());
    EXPECT_EQ(model->flashMessage(), "before");
}

TEST_F(SelectionTest, SelectAllTakesTheVisibleLayersOnly) {
    model->setSelectedVertex(SelectedVertex{ids[0], 0});
    model->selectAllPaths();
    EXPECT_EQ(model->selectedPathIDs(), std::set<std::int64_t>(ids.begin(), ids.end()));
    EXPECT_FALSE(model->selectedVertex());

    model->clearSelection();
    model->assignSelectedToPen(1);  // nothing selected: nothing happens
    model->setSelectedPathIDs({ids[0]});
    model->assignSelectedToPen(1);
    ASSERT_EQ(penOf(ids[0]), 1);
    model->vectorizer().toggleLayerVisibility(1);
    model->selectAllPaths();
    EXPECT_FALSE(model->selectedPathIDs().count(ids[0]));
    EXPECT_EQ(model->selectedPathIDs().size(), ids.size() - 1);
}

TEST_F(SelectionTest, SelectAllWithoutAResultChangesNothing) {
    AppModel::Environment environment;
    environment.settings = &settings;
    AppModel empty(AppModel::Options{}, std::move(environment));
    empty.setSelectedPathIDs({4});
    empty.setSelectedVertex(SelectedVertex{4, 2});
    empty.selectAllPaths();
    EXPECT_EQ(empty.selectedPathIDs(), std::set<std::int64_t>{4});
    EXPECT_TRUE(empty.selectedVertex());
}

TEST_F(SelectionTest, EditsConfirmOnlyWhenTheDocumentChanged) {
    struct Case {
        const char* name;
        std::function<void()> command;
        std::string flash;
    };
    const std::int64_t stale = *std::max_element(ids.begin(), ids.end()) + 100;
    const Case changing[] = {
        {"assign", [&] { model->assignSelectedToPen(0); }, "Assigned to Pen 1"},
        {"reverse", [&] { model->reverseSelectedPaths(); }, "Stroke direction reversed"},
        {"simplify", [&] { model->simplifySelectedPaths(); }, "Selected strokes simplified"},
    };
    model->setSelectedPathIDs({ids[0]});
    model->assignSelectedToPen(1);
    for (const Case& c : changing) {
        model->setSelectedPathIDs({ids[0]});
        model->flash("none");
        c.command();
        EXPECT_EQ(model->flashMessage(), c.flash) << c.name;
        EXPECT_EQ(model->selectedPathIDs(), std::set<std::int64_t>{ids[0]}) << c.name << " keeps the selection";
    }
    // Stale ids and an unknown pen change nothing, so they confirm nothing.
    const Case idle[] = {
        {"assign stale", [&] { model->assignSelectedToPen(1); }, ""},
        {"reverse stale", [&] { model->reverseSelectedPaths(); }, ""},
        {"simplify stale", [&] { model->simplifySelectedPaths(); }, ""},
    };
    for (const Case& c : idle) {
        model->setSelectedPathIDs({stale});
        model->flash("none");
        c.command();
        EXPECT_EQ(model->flashMessage(), "none") << c.name;
    }
    model->setSelectedPathIDs({ids[0]});
    model->flash("none");
    model->assignSelectedToPen(7);
    EXPECT_EQ(model->flashMessage(), "none") << "pen out of range";
}

TEST_F(SelectionTest, JoinAndSplitSelectTheNewStrokes) {
    model->setSelectedPathIDs({ids[0]});
    model->joinSelectedPaths();
    EXPECT_EQ(model->selectedPathIDs(), std::set<std::int64_t>{ids[0]}) << "one stroke: nothing happens";

    const std::int64_t stale = *std::max_element(ids.begin(), ids.end()) + 100;
    model->setSelectedPathIDs({stale, stale + 1});
    model->flash("none");
    model->joinSelectedPaths();
    EXPECT_EQ(model->selectedPathIDs(), (std::set<std::int64_t>{stale, stale + 1}));
    EXPECT_EQ(model->flashMessage(), "none");

    model->setSelectedPathIDs({ids[0], ids[1]});
    model->joinSelectedPaths();
    ASSERT_EQ(model->selectedPathIDs().size(), 1u);
    const std::int64_t joined = *model->selectedPathIDs().begin();
    EXPECT_EQ(model->flashMessage(), "Strokes joined into a single path");

    model->clearSelection();
    model->splitAtSelectedVertex();  // no vertex: nothing
    EXPECT_TRUE(model->selectedPathIDs().empty());
    const std::size_t before = allIDs().size();
    model->setSelectedVertex(SelectedVertex{joined, 2});
    model->splitAtSelectedVertex();
    ASSERT_EQ(allIDs().size(), before + 1);
    const auto now = allIDs();
    EXPECT_EQ(model->selectedPathIDs().size(), 2u);
    for (std::int64_t id : model->selectedPathIDs()) {
        EXPECT_NE(std::find(now.begin(), now.end(), id), now.end()) << "the two halves are selected";
    }
    EXPECT_FALSE(model->selectedVertex());
    EXPECT_EQ(model->flashMessage(), "Stroke split in two");
}

TEST_F(SelectionTest, UndoAndRedoClearTheSelectionAndSaySo) {
    model->setSelectedPathIDs({ids[0]});
    model->deleteSelectedPaths();
    model->setSelectedPathIDs({ids[1]});
    model->undoEdit();
    EXPECT_EQ(allIDs().size(), ids.size());
    EXPECT_TRUE(model->selectedPathIDs().empty());
    EXPECT_EQ(model->flashMessage(), "Edit undone");
    model->redoEdit();
    EXPECT_EQ(allIDs().size(), ids.size() - 1);
    EXPECT_EQ(model->flashMessage(), "Edit redone");
    model->flash("none");
    model->redoEdit();  // empty stack: nothing, not even a message
    EXPECT_EQ(model->flashMessage(), "none");
}

// Window keys, through the application's event dispatch.
class WindowKeyTest : public SelectionTest {
protected:
    void SetUp() override {
        SelectionTest::SetUp();
        window = std::make_unique<QMainWindow>();
        auto* central = new QWidget;
        auto* layout = new QVBoxLayout(central);
        canvas = new QWidget;
        canvas->setFocusPolicy(Qt::StrongFocus);
        field = new QLineEdit;
        layout->addWidget(canvas);
        layout->addWidget(field);
        window->setCentralWidget(central);
        window->resize(400, 300);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        canvas->setFocus();
        model->installKeyMonitor(window.get());
    }

    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(),
                        static_cast<Qt::Key>(key), modifiers);
    }

    std::unique_ptr<QMainWindow> window;
    QWidget* canvas = nullptr;
    QLineEdit* field = nullptr;
};

TEST_F(WindowKeyTest, PlainKeysActAndEverythingElsePassesOn) {
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        CanvasEditTool tool;
    };
    const Case tools[] = {
        {Qt::Key_H, Qt::NoModifier, CanvasEditTool::pan},
        {Qt::Key_E, Qt::NoModifier, CanvasEditTool::erase},
        {Qt::Key_P, Qt::NoModifier, CanvasEditTool::draw},
        {Qt::Key_V, Qt::NoModifier, CanvasEditTool::select},
        {Qt::Key_H, Qt::ShiftModifier, CanvasEditTool::select},
        {Qt::Key_H, Qt::ControlModifier, CanvasEditTool::select},
        {Qt::Key_H, Qt::AltModifier, CanvasEditTool::select},
        {Qt::Key_H, Qt::MetaModifier, CanvasEditTool::select},
        {Qt::Key_E, Qt::KeypadModifier, CanvasEditTool::erase},
        {Qt::Key_V, Qt::NoModifier, CanvasEditTool::select},
        {Qt::Key_Q, Qt::NoModifier, CanvasEditTool::select},
    };
    for (const Case& c : tools) {
        press(c.key, c.modifiers);
        EXPECT_EQ(model->editTool(), c.tool)
            << QKeySequence(QKeyCombination(c.modifiers, static_cast<Qt::Key>(c.key))).toString().toStdString();
    }
    press(Qt::Key_B);
    EXPECT_TRUE(model->blackOnWhitePreview());
    press(Qt::Key_B, Qt::ShiftModifier);
    press(Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(model->blackOnWhitePreview());
    EXPECT_TRUE(settings.writes.empty()) << "persistence off";

    model->applyZoom(3, {10, 10});
    press(Qt::Key_Z);
    EXPECT_DOUBLE_EQ(model->zoomScale(), 1);
    EXPECT_EQ(model->panOffset(), QPointF(0, 0));
}

TEST_F(WindowKeyTest, DeleteAndEscapeActOnlyOnASelection) {
    EXPECT_FALSE(model->handleWindowKey(Qt::Key_Delete, Qt::NoModifier)) << "nothing selected: passed on";
    EXPECT_FALSE(model->handleWindowKey(Qt::Key_Escape, Qt::NoModifier));

    model->setSelectedPathIDs({ids[0]});
    press(Qt::Key_Backspace);
    EXPECT_EQ(allIDs().size(), ids.size() - 1);
    EXPECT_EQ(model->flashMessage(), "1 stroke deleted (Ctrl+Z to undo)");

    model->setSelectedPathIDs({ids[1], ids[2]});
    press(Qt::Key_Delete);
    EXPECT_EQ(allIDs().size(), ids.size() - 3);

    model->setSelectedVertex(SelectedVertex{ids[0], 1});
    press(Qt::Key_Escape);
    EXPECT_FALSE(model->selectedVertex());
}

TEST_F(WindowKeyTest, TextFieldsSheetsDialogsAndOtherWindowsKeepTheirKeys) {
    model->setSelectedPathIDs({ids[0]});
    field->setFocus();
    press(Qt::Key_B);
    press(Qt::Key_Backspace);
    EXPECT_FALSE(model->blackOnWhitePreview());
    EXPECT_EQ(allIDs().size(), ids.size());
    EXPECT_EQ(field->text(), "") << "b typed, then erased by the field itself";

    canvas->setFocus();
    model->setShowExport(true);
    press(Qt::Key_E);
    press(Qt::Key_Delete);
    EXPECT_EQ(model->editTool(), CanvasEditTool::select);
    EXPECT_EQ(allIDs().size(), ids.size());
    model->setShowExport(false);

    QWidget other;  // another top-level window, such as the settings window
    other.show();
    QApplication::setActiveWindow(&other);
    QTest::keyClick(&other, Qt::Key_Backspace);
    EXPECT_EQ(allIDs().size(), ids.size());

    QApplication::setActiveWindow(window.get());
    QDialog modal(window.get());
    modal.setModal(true);
    modal.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &modal);
    QTest::keyClick(canvas, Qt::Key_Delete);
    QTest::keyClick(canvas, Qt::Key_P);
    EXPECT_EQ(allIDs().size(), ids.size());
    EXPECT_EQ(model->editTool(), CanvasEditTool::select);
    modal.hide();
}

TEST_F(WindowKeyTest, TheMonitorIsInstalledOnce) {
    model->installKeyMonitor(window.get());
    QSignalSpy tool(model.get(), &AppModel::editToolChanged);
    press(Qt::Key_E);
    EXPECT_EQ(tool.count(), 1);
}

}  // namespace
}  // namespace ostrel
