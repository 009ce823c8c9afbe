// The menu bar of the main window, built from the application model: File, Edit, Vectorization,
// View and Help, every title in the interface language, with shortcuts (which fire while the
// menus are closed). The menus hold no state of their own: titles, enabled states and checkmarks
// are read from the model and its document controller and kept current from their change
// signals, and every action calls one operation of the model, the document or the updater.
//
// Every title is shown as written ("&" is no mnemonic there); the bar's own titles carry mnemonics
// that differ within each language, so Alt and a letter opens a menu.
//
// Each action has a stable object name ("file.open", "edit.undo", "vectorize.algorithm.0", …) so
// that the window and the tests can find it.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QKeySequence;
class QMenu;
class QMenuBar;

namespace ostrel {

class AppModel;

class AppMenuBar final : public QObject {
    Q_OBJECT

public:
    /// Fills `menuBar` (which must outlive this object, or be its owner) with the menus.
    AppMenuBar(AppModel& model, QMenuBar& menuBar, QObject* parent = nullptr);
    ~AppMenuBar() override;

    /// The action with the given object name, or null.
    [[nodiscard]] QAction* action(const QString& name) const;
    /// The top-level menus in order: File, Edit, Vectorization, View, Help.
    [[nodiscard]] const std::vector<QMenu*>& menus() const noexcept { return menus_; }
    /// The "Open Recent" sub-menu.
    [[nodiscard]] QMenu* recentMenu() const noexcept { return recentMenu_; }

signals:
    /// "Settings…" was chosen; the window shows its settings window.
    void settingsRequested();

private:
    struct Item;

    QAction* addItem(QMenu& menu, const char* name, std::function<std::string()> title,
                     std::vector<QKeySequence> shortcuts, std::function<void()> trigger,
                     std::function<bool()> enabled = {}, std::function<bool()> checked = {});
    /// A sub-menu of `parent`, or a menu of the bar (null parent) whose title carries the mnemonic
    /// `french` or `english` in that language.
    QMenu* addMenu(QMenu* parent, std::function<std::string()> title, QChar french = {}, QChar english = {});
    void buildFileMenu();
    void buildEditMenu();
    void buildVectorizationMenu();
    void buildViewMenu();
    void buildHelpMenu();
    void rebuildRecentMenu();
    /// Every title, enabled state and checkmark from the current values.
    void refresh();

    AppModel& model_;
    QPointer<QMenuBar> menuBar_;
    std::vector<QMenu*> menus_;
    std::vector<std::pair<QPointer<QMenu>, std::function<QString()>>> menuTitles_;
    std::vector<Item> items_;
    QMenu* recentMenu_ = nullptr;
};

}  // namespace ostrel
