#include "app/shell/AppMenuBar.h"

#include "app/shell/AppModel.h"
#include "app/shell/MenuText.h"
#include "core/model/Localization.h"

#include <fmt/format.h>

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace ostrel {

struct AppMenuBar::Item {
    QPointer<QAction> action;
    std::function<std::string()> title;
    std::function<bool()> enabled;  // empty: always
    std::function<bool()> checked;  // empty: no checkmark
};

namespace {

std::function<std::string()> fixed(const char* french, const char* english) {
    return [french, english] { return L(french, english); };
}

/// The title of a toggle says what choosing it will do.
std::function<std::string()> toggle(std::function<bool()> value, const char* frOn, const char* enOn, const char* frOff,
                                    const char* enOff) {
    return [=] { return value() ? L(frOn, enOn) : L(frOff, enOff); };
}

QKeySequence keys(QKeyCombination combination) { return QKeySequence(combination); }

}  // namespace

AppMenuBar::AppMenuBar(AppModel& model, QMenuBar& menuBar, QObject* parent)
    : QObject(parent), model_(model), menuBar_(&menuBar) {
    buildFileMenu();
    buildEditMenu();
    buildVectorizationMenu();
    buildViewMenu();
    buildHelpMenu();
    refresh();

    const auto refreshNow = [this] { refresh(); };
    for (auto signal : {&AppModel::languageChanged, &AppModel::selectedPathIDsChanged, &AppModel::editToolChanged,
                        &AppModel::blackOnWhitePreviewChanged, &AppModel::showControlPointsChanged,
                        &AppModel::showTravelMovesChanged, &AppModel::showSidebarChanged}) {
        connect(&model_, signal, this, refreshNow);
    }
    connect(&model_, &AppModel::showAxiDrawSectionChanged, this, refreshNow);
    connect(&model_, &AppModel::recentURLsChanged, this, [this] {
        rebuildRecentMenu();
        refresh();
    });
    VectorizerController& document = model_.vectorizer();
    for (auto signal : {&VectorizerController::resultChanged, &VectorizerController::undoRedoChanged,
                        &VectorizerController::paramsChanged}) {
        connect(&document, signal, this, refreshNow);
    }
}

AppMenuBar::~AppMenuBar() = default;

QAction* AppMenuBar::action(const QString& name) const {
    for (const Item& item : items_) {
        if (item.action && item.action->objectName() == name) return item.action;
    }
    return nullptr;
}

QMenu* AppMenuBar::addMenu(QMenu* parent, std::function<std::string()> title, QChar french, QChar english) {
    QMenu* menu = parent != nullptr ? parent->addMenu(QString()) : menuBar_->addMenu(QString());
    if (parent == nullptr) menus_.push_back(menu);
    menuTitles_.emplace_back(menu, [title = std::move(title), french, english] {
        const QChar mnemonic = Localization::isEnglish() ? english : french;
        return mnemonic.isNull() ? menuText(title()) : menuTitle(title(), mnemonic);
    });
    return menu;
}

QAction* AppMenuBar::addItem(QMenu& menu, const char* name, std::function<std::string()> title,
                             std::vector<QKeySequence> shortcuts, std::function<void()> trigger,
                             std::function<bool()> enabled, std::function<bool()> checked) {
    QAction* action = menu.addAction(QString());
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(QList<QKeySequence>(shortcuts.begin(), shortcuts.end()));
    action->setCheckable(static_cast<bool>(checked));
    // Each choice calls the operation once; the enabled state is checked again when it fires.
    connect(action, &QAction::triggered, this, [trigger = std::move(trigger), enabled] {
        if (enabled && !enabled()) return;
        trigger();
    });
    items_.push_back(Item{action, std::move(title), std::move(enabled), std::move(checked)});
    return action;
}

void AppMenuBar::buildFileMenu() {
    QMenu& file = *addMenu(nullptr, fixed("Fichier", "File"), u'F', u'F');
    const auto hasResult = [this] { return model_.vectorizer().result().has_value(); };
    addItem(file, "file.open", fixed("Ouvrir une image…", "Open Image…"), {QKeySequence::Open},
            [this] { model_.openImagePanel(); });
    recentMenu_ = addMenu(&file, fixed("Ouvrir récent", "Open Recent"));
    recentMenu_->menuAction()->setObjectName(QStringLiteral("file.recent"));
    rebuildRecentMenu();
    file.addSeparator();
    addItem(
        file, "file.saveSVG", fixed("Enregistrer le SVG AxiDraw…", "Save AxiDraw SVG…"), {keys(Qt::CTRL | Qt::Key_S)},
        [this] { model_.saveSVGPushPanel(); }, hasResult);
    addItem(
        file, "file.export", fixed("Exporter le tracé ou la fiche…", "Export Plot or Report…"),
        {keys(Qt::CTRL | Qt::SHIFT | Qt::Key_E)}, [this] { model_.setShowExport(true); }, hasResult);
    file.addSeparator();
    addItem(file, "file.quit", fixed("Quitter Ostrel", "Quit Ostrel"), {keys(Qt::CTRL | Qt::Key_Q)}, [] {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    });
}

void AppMenuBar::rebuildRecentMenu() {
    // Drop the items of the previous list; the menu's own action stays.
    std::erase_if(items_,
                  [this](const Item& item) { return item.action == nullptr || item.action->parent() == recentMenu_; });
    for (QAction* old : recentMenu_->actions()) {
        recentMenu_->removeAction(old);
        old->deleteLater();
    }
    const auto& recent = model_.recentURLs();
    if (recent.empty()) {
        QAction* none = addItem(
            *recentMenu_, "file.recent.none", fixed("Aucun élément récent", "No Recent Items"), {}, [] {},
            [] { return false; });
        none->setEnabled(false);
        return;
    }
    for (std::size_t i = 0; i < recent.size(); ++i) {
        const std::filesystem::path path = recent[i];
        const std::string name = path.filename().string();
        QAction* item = addItem(
            *recentMenu_, "file.recent.item", [name] { return name; }, {}, [this, path] { model_.open(path); });
        item->setData(QString::fromStdString(path.string()));
    }
    recentMenu_->addSeparator();
    addItem(*recentMenu_, "file.recent.clear", fixed("Effacer le menu", "Clear Menu"), {},
            [this] { model_.clearRecentURLs(); });
}

void AppMenuBar::buildEditMenu() {
    QMenu& edit = *addMenu(nullptr, fixed("Édition", "Edit"), u'D', u'E');
    VectorizerController* document = &model_.vectorizer();
    const auto hasResult = [document] { return document->result().has_value(); };
    const auto selected = [this](std::size_t count) {
        return [this, count] { return model_.selectedPathIDs().size() >= count; };
    };
    addItem(
        edit, "edit.undo", fixed("Annuler", "Undo"), {keys(Qt::CTRL | Qt::Key_Z)}, [this] { model_.undoEdit(); },
        [document] { return !document->undoStack().empty(); });
    addItem(
        edit, "edit.redo", fixed("Rétablir", "Redo"),
        {keys(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), keys(Qt::CTRL | Qt::Key_Y)}, [this] { model_.redoEdit(); },
        [document] { return !document->redoStack().empty(); });
    edit.addSeparator();
    // Ctrl+C and Ctrl+X carry no command: copying the plot is Ctrl+Shift+C.
    addItem(edit, "edit.paste", fixed("Coller une image", "Paste Image"), {keys(Qt::CTRL | Qt::Key_V)},
            [this] { model_.pasteImageFromClipboard(); });
    addItem(
        edit, "edit.copySVG", fixed("Copier le SVG AxiDraw", "Copy AxiDraw SVG"),
        {keys(Qt::CTRL | Qt::SHIFT | Qt::Key_C)}, [this] { model_.copySVGToPasteboard(); }, hasResult);
    edit.addSeparator();
    addItem(
        edit, "edit.selectAll", fixed("Tout sélectionner", "Select All Strokes"), {keys(Qt::CTRL | Qt::Key_A)},
        [this] { model_.selectAllPaths(); }, hasResult);
    addItem(
        edit, "edit.deselectAll", fixed("Tout désélectionner", "Deselect All"),
        {keys(Qt::CTRL | Qt::SHIFT | Qt::Key_A)}, [this] { model_.clearSelection(); }, selected(1));
    edit.addSeparator();
    addItem(
        edit, "edit.delete", fixed("Supprimer les traits sélectionnés", "Delete Selected Strokes"),
        {keys(Qt::Key_Delete), keys(Qt::Key_Backspace)}, [this] { model_.deleteSelectedPaths(); }, selected(1));
    addItem(
        edit, "edit.simplify", fixed("Simplifier les traits sélectionnés", "Simplify Selected Strokes"), {},
        [this] { model_.simplifySelectedPaths(); }, selected(1));
    addItem(
        edit, "edit.reverse", fixed("Inverser le sens des traits sélectionnés", "Reverse Selected Strokes"), {},
        [this] { model_.reverseSelectedPaths(); }, selected(1));
    addItem(
        edit, "edit.join", fixed("Relier les traits sélectionnés", "Join Selected Strokes"),
        {keys(Qt::CTRL | Qt::Key_J)}, [this] { model_.joinSelectedPaths(); }, selected(2));
    edit.addSeparator();
    addItem(edit, "edit.settings", fixed("Réglages…", "Settings…"), {keys(Qt::CTRL | Qt::Key_Comma)},
            [this] { emit settingsRequested(); });
}

void AppMenuBar::buildVectorizationMenu() {
    QMenu& menu = *addMenu(nullptr, fixed("Vectorisation", "Vectorization"), u'V', u'C');
    VectorizerController* document = &model_.vectorizer();
    // A parameter choice is written and run after 10 ms, even when it is the current value.
    const auto change = [document](auto write) {
        return [document, write] {
            VectorizerParams params = document->params();
            write(params);
            document->setParams(params, RunSchedule::after(10));
        };
    };
    auto* algorithms = new QActionGroup(&menu);
    int index = 0;
    for (VectorAlgorithm algorithm : allCases<VectorAlgorithm>()) {
        const std::string name = fmt::format("vectorize.algorithm.{}", index++);
        QAction* item = addItem(
            menu, name.c_str(), [algorithm] { return label(algorithm); }, {},
            change([algorithm](VectorizerParams& p) { p.algorithm = algorithm; }), {},
            [document, algorithm] { return document->params().algorithm == algorithm; });
        algorithms->addAction(item);
    }
    menu.addSeparator();
    QMenu& tools = *addMenu(&menu, fixed("Outil du canevas", "Canvas Tool"));
    auto* toolGroup = new QActionGroup(&tools);
    const std::pair<CanvasEditTool, std::function<std::string()>> toolTitles[] = {
        {CanvasEditTool::pan, fixed("Déplacer", "Pan")},
        {CanvasEditTool::select, fixed("Sélection", "Select")},
        {CanvasEditTool::erase, fixed("Gomme", "Eraser")},
        {CanvasEditTool::draw, fixed("Tracer", "Draw")},
    };
    for (const auto& entry : toolTitles) {
        const CanvasEditTool tool = entry.first;
        const auto& title = entry.second;
        const std::string name = "vectorize.tool." + std::string(rawValue(tool));
        toolGroup->addAction(addItem(
            tools, name.c_str(), title, {}, [this, tool] { model_.setEditTool(tool); }, {},
            [this, tool] { return model_.editTool() == tool; }));
    }
    menu.addSeparator();
    addItem(menu, "vectorize.rerun", fixed("Relancer la vectorisation", "Re-run Vectorization"),
            {keys(Qt::CTRL | Qt::Key_R)}, [document] { document->scheduleVectorization(0, false); });
    addItem(menu, "vectorize.reset", fixed("Réinitialiser les paramètres", "Reset Parameters"), {},
            [document] { document->resetParameters(); });
    menu.addSeparator();
    QMenu& paper = *addMenu(&menu, fixed("Format papier AxiDraw", "AxiDraw Paper Size"));
    for (PaperFormat format : allCases<PaperFormat>()) {
        const std::string name = "vectorize.paper." + std::string(rawValue(format));
        addItem(
            paper, name.c_str(), [format] { return label(format); }, {},
            change([format](VectorizerParams& p) { p.paperFormat = format; }));
    }
    QMenu& pens = *addMenu(&menu, fixed("Nombre de stylos", "Pen Count"));
    for (int count = 1; count <= 4; ++count) {
        const std::string name = fmt::format("vectorize.pens.{}", count);
        const char* plural = count >= 2 ? "s" : "";
        addItem(
            pens, name.c_str(),
            [count, plural] {
                return L(fmt::format("{} stylo{}", count, plural), fmt::format("{} pen{}", count, plural));
            },
            {}, change([count](VectorizerParams& p) { p.penCount = count; }));
    }
}

void AppMenuBar::buildViewMenu() {
    QMenu& view = *addMenu(nullptr, fixed("Présentation", "View"), u'P', u'V');
    addItem(view, "view.split", fixed("Vue Côte à côte", "Side-by-Side View"), {keys(Qt::CTRL | Qt::Key_1)},
            [this] { model_.setViewMode(CanvasViewMode::sideBySide); });
    addItem(view, "view.overlay", fixed("Vue Superposition", "Overlay View"), {keys(Qt::CTRL | Qt::Key_2)},
            [this] { model_.setViewMode(CanvasViewMode::overlay); });
    addItem(view, "view.vector", fixed("Vue Vecteur seul", "Vector Only View"), {keys(Qt::CTRL | Qt::Key_3)},
            [this] { model_.setViewMode(CanvasViewMode::vectorOnly); });
    view.addSeparator();
    AppModel* m = &model_;
    addItem(
        view, "view.blackOnWhite",
        toggle([m] { return m->blackOnWhitePreview(); }, "Aperçu sombre (couleurs stylos)", "Dark Preview (Pen Colors)",
               "Aperçu traits noirs sur fond blanc", "Black Strokes on White Paper Preview"),
        {keys(Qt::CTRL | Qt::Key_B)}, [m] { m->setBlackOnWhitePreview(!m->blackOnWhitePreview()); });
    addItem(view, "view.controlPoints",
            toggle([m] { return m->showControlPoints(); }, "Masquer les poignées de Bézier",
                   "Hide Bézier Control Handles", "Afficher les poignées de Bézier", "Show Bézier Control Handles"),
            {keys(Qt::CTRL | Qt::Key_K)}, [m] { m->setShowControlPoints(!m->showControlPoints()); });
    addItem(view, "view.travelMoves",
            toggle([m] { return m->showTravelMoves(); }, "Masquer les trajets stylo levé", "Hide Pen-Up Travel Moves",
                   "Afficher les trajets stylo levé", "Show Pen-Up Travel Moves"),
            {keys(Qt::CTRL | Qt::Key_T)}, [m] { m->setShowTravelMoves(!m->showTravelMoves()); });
    addItem(view, "view.axiDrawSection",
            toggle([m] { return m->showAxiDrawSection(); }, "Replier la section Traceur AxiDraw",
                   "Collapse AxiDraw Plotter Section", "Déplier la section Traceur AxiDraw",
                   "Expand AxiDraw Plotter Section"),
            {}, [m] { m->setShowAxiDrawSection(!m->showAxiDrawSection()); });
    addItem(view, "view.sidebar",
            toggle([m] { return m->showSidebar(); }, "Masquer les paramètres", "Hide Parameters",
                   "Afficher les paramètres", "Show Parameters"),
            {keys(Qt::CTRL | Qt::ALT | Qt::Key_S)}, [m] { m->setShowSidebar(!m->showSidebar()); });
    view.addSeparator();
    addItem(view, "view.actualSize", fixed("Taille réelle (100 %)", "Actual Size (100%)"), {keys(Qt::CTRL | Qt::Key_0)},
            [m] { m->resetZoom(true); });
    addItem(view, "view.zoomIn", fixed("Zoom avant", "Zoom In"),
            {keys(Qt::CTRL | Qt::Key_Plus), keys(Qt::CTRL | Qt::Key_Equal)}, [m] { m->zoomIn(); });
    addItem(view, "view.zoomOut", fixed("Zoom arrière", "Zoom Out"), {keys(Qt::CTRL | Qt::Key_Minus)},
            [m] { m->zoomOut(); });
    view.addSeparator();
    addItem(view, "view.oscGuide", fixed("Commandes OSC, HTTP & MCP…", "OSC, HTTP & MCP Commands…"), {},
            [m] { m->setShowOSCGuide(true); });
}

void AppMenuBar::buildHelpMenu() {
    QMenu& help = *addMenu(nullptr, fixed("Aide", "Help"), u'A', u'H');
    AppModel* m = &model_;
    addItem(help, "help.manual", fixed("Aide Ostrel", "Ostrel Help"),
            {keys(Qt::CTRL | Qt::Key_Question), keys(Qt::Key_F1)}, [m] { m->setShowHelp(true); });
    help.addSeparator();
    addItem(help, "help.shortcuts", fixed("Raccourcis clavier", "Keyboard Shortcuts"), {keys(Qt::CTRL | Qt::Key_Slash)},
            [m] { m->setShowShortcuts(true); });
    addItem(help, "help.oscGuide", fixed("Guide OSC, HTTP & MCP", "OSC, HTTP & MCP Guide"), {},
            [m] { m->setShowOSCGuide(true); });
    help.addSeparator();
    addItem(help, "help.updates", fixed("Rechercher des mises à jour…", "Check for Updates…"), {}, [m] {
        m->setShowUpdater(true);
        m->updater().checkForUpdates(false);
    });
    addItem(help, "help.about", fixed("À propos de Ostrel", "About Ostrel"), {}, [m] { m->setShowAbout(true); });
}

void AppMenuBar::refresh() {
    for (auto& [menu, title] : menuTitles_) {
        if (menu) menu->setTitle(title());
    }
    for (const Item& item : items_) {
        if (!item.action) continue;
        item.action->setText(menuText(item.title()));
        if (item.enabled) item.action->setEnabled(item.enabled());
        if (item.checked) item.action->setChecked(item.checked());
    }
}

}  // namespace ostrel
