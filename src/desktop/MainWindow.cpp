#include "desktop/MainWindow.h"

#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <tuple>

#include "desktop/BrowserPane.h"
#include "desktop/DesktopApplication.h"
#include "desktop/EditCommands.h"
#include "desktop/FileFlows.h"
#include "desktop/GroceriesPane.h"
#include "desktop/MealsPane.h"
#include "desktop/QtText.h"
#include "desktop/RecipeView.h"
#include "desktop/RecipeWindow.h"
#include "desktop/RecipesPane.h"
#include "desktop/SyncButton.h"
#include "import/ImporterDispatch.h"
#include "lib/StringTable.h"
#include "model/MiravelAppDelegate.h"

namespace miravel::desktop {

namespace {

// Chromium refuses to run as root with its sandbox on, and ends the whole program when asked
// to; the pane says so instead.
bool webEngineRefusesToStart() {
    if (::geteuid() != 0) {
        return false;
    }
    const QByteArray disabled = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const bool noSandboxArgument = QCoreApplication::arguments().contains("--no-sandbox");
    return (disabled.isEmpty() || disabled == "0") && !flags.contains("--no-sandbox") &&
           !noSandboxArgument;
}

}  // namespace

MainWindow::MainWindow(DesktopApplication& application)
    : m_application(application), m_tabs(new QTabWidget(this)) {
    setObjectName("mainWindow");
    m_recipes = new RecipesPane(application, m_tabs);
    m_tabs->addTab(m_recipes, tr("Recipes"));
    m_browserTab = new QWidget(m_tabs);
    m_browserTab->setAccessibleName(tr("Browser"));
    auto* browserLayout = new QVBoxLayout(m_browserTab);
    browserLayout->setContentsMargins(0, 0, 0, 0);
    m_tabs->addTab(m_browserTab, tr("Browser"));
    m_meals = new MealsPane(application, m_tabs);
    m_tabs->addTab(m_meals, tr("Meals"));
    // Recipes dragged from the Recipes pane onto a day become its meals.
    m_meals->setRecipeRowsResolver(
        [this](const QByteArray& rows) { return m_recipes->recipesOfDrag(rows); });
    m_groceries = new GroceriesPane(application, m_tabs);
    m_tabs->addTab(m_groceries, tr("Groceries"));
    m_tabs->setDocumentMode(true);
    setCentralWidget(m_tabs);
    m_flows = new FileFlows(application.library(), this, [this](const std::filesystem::path& path) {
        m_application.application().restoreFromBackup(path);
    });
    buildMenus();
    setAcceptDrops(true);
    connect(m_flows, &FileFlows::finished, this, &MainWindow::importNextDropped);
    m_tabs->setAccessibleName(tr("Panes"));
    connect(m_tabs, &QTabWidget::currentChanged, this, &MainWindow::updateTitle);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == Browser) {
            if (BrowserPane* browser = browserPane()) {
                browser->start();
            }
        }
    });
    updateTitle();
    resize(1100, 720);
    m_recipes->start();
}

MainWindow::~MainWindow() = default;

void MainWindow::updateTitle() {
    setWindowTitle(tr("Miravel — %1").arg(m_tabs->tabText(m_tabs->currentIndex())));
}

BrowserPane* MainWindow::browserPane() {
    if (m_browser != nullptr) {
        return m_browser;
    }
    auto* layout = static_cast<QVBoxLayout*>(m_browserTab->layout());
    if (webEngineRefusesToStart()) {
        if (layout->count() == 0) {
            auto* label = new QLabel(
                tr("<h2>Browser</h2><p>The web browser does not run as the root user with its "
                   "sandbox.</p><p>Start Miravel as an ordinary user, or set "
                   "QTWEBENGINE_DISABLE_SANDBOX=1 if you accept browsing without it.</p>"),
                m_browserTab);
            label->setAlignment(Qt::AlignCenter);
            label->setWordWrap(true);
            layout->addWidget(label);
        }
        return nullptr;
    }
    m_browser = new BrowserPane(m_application, m_browserTab);
    layout->addWidget(m_browser);
    return m_browser;
}

void MainWindow::showBrowserPane() {
    m_tabs->setCurrentIndex(Browser);
    raise();
    activateWindow();
}

void MainWindow::printShown() {
    if (m_tabs->currentIndex() == Meals) {
        m_meals->printWeek();
        return;
    }
    if (m_tabs->currentIndex() == Groceries) {
        m_groceries->printList();
        return;
    }
    if (m_recipes->showsRecipe()) {
        m_recipes->recipeView().printRecipe();
        return;
    }
    m_recipes->syncSelection();
    m_recipes->controller().printRecipe();
}

void MainWindow::emailShown() {
    if (m_tabs->currentIndex() == Meals) {
        m_meals->emailWeek();
        return;
    }
    if (m_tabs->currentIndex() == Groceries) {
        m_groceries->emailList();
        return;
    }
    if (m_recipes->showsRecipe()) {
        m_recipes->recipeView().emailRecipe();
        return;
    }
    m_recipes->syncSelection();
    m_recipes->controller().emailRecipe();
}

void MainWindow::buildMenus() {
    auto* toolbar = addToolBar(tr("Toolbar"));
    toolbar->setObjectName("toolbar");
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);

    auto action = [this](const QString& title, const QKeySequence& keys, const QString& icon,
                         auto&& run) {
        auto* made = new QAction(QIcon::fromTheme(icon), title, this);
        made->setShortcut(keys);
        connect(made, &QAction::triggered, this, run);
        return made;
    };
    auto* newRecipe = action(tr("&New Recipe"), QKeySequence::New, "document-new",
                             [this] { m_recipes->controller().newRecipe(); });
    auto* import = action(tr("&Import…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I),
                          "document-import", [this] { m_flows->importRecipes(); });
    auto* exportAction = action(tr("&Export…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
                                "document-export", [this] { m_flows->exportRecipes(); });
    auto* backup = action(tr("&Create Backup…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B),
                          "document-save-as", [this] { m_flows->createBackup(); });
    auto* restore =
        action(tr("&Restore Backup…"), {}, "document-revert", [this] { m_flows->restoreBackup(); });
    auto* print =
        action(tr("&Print…"), QKeySequence::Print, "document-print", [this] { printShown(); });
    auto* email = action(tr("E&mail"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M), "mail-send",
                         [this] { emailShown(); });
    auto* quit = action(tr("&Quit"), QKeySequence::Quit, "application-exit", [this] { close(); });

    auto* file = menuBar()->addMenu(tr("&File"));
    file->addAction(newRecipe);
    file->addSeparator();
    file->addAction(import);
    file->addAction(exportAction);
    auto* backups = file->addMenu(tr("&Backup"));
    backups->addAction(backup);
    backups->addAction(restore);
    file->addSeparator();
    file->addAction(print);
    file->addAction(email);
    file->addSeparator();
    file->addAction(quit);

    auto* edit = menuBar()->addMenu(tr("&Edit"));
    buildEditCommands(*edit);
    edit->addSeparator();
    edit->addAction(
        action(tr("&Edit Recipe"), QKeySequence(Qt::CTRL | Qt::Key_E), "document-edit", [this] {
            if (m_recipes->showsRecipe()) {
                m_recipes->recipeView().controller().editPressed();
                return;
            }
            m_recipes->syncSelection();
            m_recipes->controller().editRecipe();
        }));
    edit->addAction(action(tr("Delete &Recipe"), QKeySequence(Qt::CTRL | Qt::Key_Backspace),
                           "edit-delete", [this] {
                               if (m_recipes->showsRecipe()) {
                                   (void)m_recipes->recipeView().controller().deletePressed();
                                   return;
                               }
                               m_recipes->deleteSelected();
                           }));
    edit->addSeparator();
    edit->addAction(action(tr("&Find"), QKeySequence::Find, "edit-find", [this] {
        m_tabs->setCurrentIndex(Recipes);
        m_recipes->focusSearch();
    }));
    edit->addSeparator();
    edit->addAction(action(tr("&Preferences…"), QKeySequence(Qt::CTRL | Qt::Key_Comma),
                           "preferences-system", [this] { m_application.showSettingsWindow(-1); }));

    auto* recipe = menuBar()->addMenu(tr("&Recipe"));
    using Command = RecipesPane::Command;
    const std::tuple<QString, QKeySequence, Command> commands[] = {
        {tr("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O), Command::Open},
        {tr("Open in New &Window"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
         Command::OpenInNewWindow},
        {tr("&Favorite"), QKeySequence(Qt::CTRL | Qt::Key_D), Command::Favorite},
        {tr("Add to &Grocery List"), QKeySequence(Qt::CTRL | Qt::Key_G), Command::AddToGroceryList},
        {tr("Add to &Meal Plan"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P),
         Command::AddToMealPlan},
        {tr("&Scale…"), QKeySequence(Qt::CTRL | Qt::Key_K), Command::Scale},
        {tr("View &Source"), QKeySequence(Qt::CTRL | Qt::Key_U), Command::ViewSource}};
    for (const auto& [title, keys, command] : commands) {
        recipe->addAction(action(title, keys, {}, [this, command = command] {
            m_tabs->setCurrentIndex(Recipes);
            m_recipes->run(command);
        }));
    }

    menuBar()->addMenu(m_groceries->makeMenu(this));

    auto* view = menuBar()->addMenu(tr("&View"));
    const QString panes[] = {tr("&Recipes"), tr("&Browser"), tr("&Meals"), tr("&Groceries")};
    for (int i = 0; i < 4; ++i) {
        view->addAction(action(panes[i], QKeySequence(Qt::CTRL | (Qt::Key_1 + i)), {},
                               [this, i] { m_tabs->setCurrentIndex(i); }));
    }
    view->addSeparator();
    view->addAction(action(tr("Back to &List"), QKeySequence(Qt::ALT | Qt::Key_Left), "go-previous",
                           [this] { m_recipes->showList(); }));

    auto* window = menuBar()->addMenu(tr("&Window"));
    window->addAction(action(tr("&Minimize"), QKeySequence(Qt::CTRL | Qt::Key_M), {},
                             [this] { showMinimized(); }));
    window->addAction(action(tr("&Main Window"), QKeySequence(Qt::CTRL | Qt::Key_0), {}, [this] {
        showNormal();
        raise();
        activateWindow();
    }));
    // The open recipe windows, listed afresh each time the menu opens.
    window->addSeparator();
    const int fixed = static_cast<int>(window->actions().size());
    connect(window, &QMenu::aboutToShow, this, [window, fixed] {
        while (window->actions().size() > fixed) {
            delete window->actions().last();
        }
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* recipe = qobject_cast<RecipeWindow*>(top); recipe && recipe->isVisible()) {
                window->addAction(recipe->windowTitle(), recipe, [recipe] {
                    recipe->raise();
                    recipe->activateWindow();
                });
            }
        }
    });

    auto* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(action(tr("&About Miravel"), {}, "help-about", [this] {
        QMessageBox::about(this, tr("About Miravel"),
                           tr("<b>Miravel</b> %1<br/>A recipe manager.")
                               .arg(QCoreApplication::applicationVersion()));
    }));

    toolbar->addAction(newRecipe);
    toolbar->addAction(import);
    toolbar->addAction(exportAction);
    toolbar->addSeparator();
    toolbar->addAction(print);
    toolbar->addAction(email);
    // The sync button at the far end of the toolbar.
    auto* spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    m_sync = new SyncButton(m_application.syncController(), m_application.settings(),
                            m_application.notificationCenter(), toolbar);
    toolbar->addWidget(m_sync);
    for (QAction* each : toolbar->actions()) {
        // Icons without a theme show only their text; either way the button has a name.
        if (QWidget* button = toolbar->widgetForAction(each); button && !each->text().isEmpty()) {
            button->setAccessibleName(each->text().remove('&').remove(QChar(0x2026)));
        }
    }
}

// Undo to Select All act on the focused widget. Their enabled states are worked out when the
// menu opens; closed, every item stays enabled so that its shortcut reaches the widget.
void MainWindow::buildEditCommands(QMenu& edit) {
    const std::tuple<QString, QKeySequence, QString, EditCommand, const char*> commands[] = {
        {tr("&Undo"), QKeySequence::Undo, "edit-undo", EditCommand::Undo, "editUndo"},
        {tr("&Redo"), QKeySequence::Redo, "edit-redo", EditCommand::Redo, "editRedo"},
        {tr("Cu&t"), QKeySequence::Cut, "edit-cut", EditCommand::Cut, "editCut"},
        {tr("&Copy"), QKeySequence::Copy, "edit-copy", EditCommand::Copy, "editCopy"},
        {tr("&Paste"), QKeySequence::Paste, "edit-paste", EditCommand::Paste, "editPaste"},
        {tr("&Delete"), QKeySequence::Delete, "edit-delete", EditCommand::Delete, "editDelete"},
        {tr("Select &All"), QKeySequence::SelectAll, "edit-select-all", EditCommand::SelectAll,
         "editSelectAll"}};
    std::vector<std::pair<QAction*, EditCommand>> made;
    for (const auto& [title, keys, icon, command, name] : commands) {
        auto* item = new QAction(QIcon::fromTheme(icon), title, this);
        item->setObjectName(name);
        item->setShortcut(keys);
        connect(item, &QAction::triggered, this,
                [command = command] { runEditCommand(QApplication::focusWidget(), command); });
        edit.addAction(item);
        made.emplace_back(item, command);
        if (command == EditCommand::Redo || command == EditCommand::Paste) {
            edit.addSeparator();
        }
    }
    connect(&edit, &QMenu::aboutToShow, this, [made] {
        for (const auto& [item, command] : made) {
            item->setEnabled(canRunEditCommand(QApplication::focusWidget(), command));
        }
    });
    connect(&edit, &QMenu::aboutToHide, this, [made] {
        for (const auto& [item, command] : made) {
            item->setEnabled(true);
        }
    });
}

// Recipe files and archives dropped on the window are imported, one after another.
void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!importablePaths(*event->mimeData()).empty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (dropFiles(*event->mimeData())) {
        event->acceptProposedAction();
    }
}

bool MainWindow::dropFiles(const QMimeData& data) {
    const auto paths = importablePaths(data);
    if (paths.empty()) {
        return false;
    }
    m_dropped.insert(m_dropped.end(), paths.begin(), paths.end());
    // After the drop has ended: the import asks first, in a modal alert.
    QTimer::singleShot(0, this, &MainWindow::importNextDropped);
    return true;
}

std::vector<std::filesystem::path> MainWindow::importablePaths(const QMimeData& data) {
    std::vector<std::filesystem::path> paths;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) {
            if (auto path = fspath(url.toLocalFile()); isImportableFile(path)) {
                paths.push_back(path);
            }
        }
    }
    return paths;
}

void MainWindow::importNextDropped() {
    if (m_dropped.empty() || m_flows->busy()) {
        return;
    }
    const auto path = m_dropped.front();
    m_dropped.erase(m_dropped.begin());
    m_flows->importFile(path);
    if (!m_flows->busy()) {
        // Declined or refused at once: the next file, if any.
        importNextDropped();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_application.mayQuit()) {
        event->ignore();
        return;
    }
    event->accept();
    // The main window is the last to go: closing it ends the program, recipe windows and all.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace miravel::desktop
