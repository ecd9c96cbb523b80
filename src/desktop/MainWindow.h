#pragma once

#include <QMainWindow>
#include <filesystem>
#include <vector>

class QMenu;
class QMimeData;
class QTabWidget;

namespace miravel::desktop {

class BrowserPane;
class DesktopApplication;
class FileFlows;
class GroceriesPane;
class MealsPane;
class RecipesPane;
class SyncButton;

// The main window: the Recipes, Browser, Meals and Groceries panes as tabs, the toolbar and
// the menus. Closing it ends the program (after saving).
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    enum Pane { Recipes = 0, Browser = 1, Meals = 2, Groceries = 3 };

    explicit MainWindow(DesktopApplication& application);
    ~MainWindow() override;

    RecipesPane& recipesPane() { return *m_recipes; }
    MealsPane& mealsPane() { return *m_meals; }
    GroceriesPane& groceriesPane() { return *m_groceries; }
    // The web engine starts with the pane, the first time the Browser tab is shown: a session
    // that never browses never pays for it. Null when the engine cannot run here.
    BrowserPane* browserPane();
    FileFlows& fileFlows() { return *m_flows; }
    QTabWidget* tabs() const { return m_tabs; }
    SyncButton* syncButton() const { return m_sync; }
    // The dropped files that the import takes: recipe files and archives, nothing else.
    static std::vector<std::filesystem::path> importablePaths(const QMimeData& data);
    // What a drop of files on the window does: queues their import; false when none is
    // importable.
    bool dropFiles(const QMimeData& data);
    void showBrowserPane();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildEditCommands(QMenu& edit);
    void importNextDropped();
    void printShown();
    void emailShown();
    void updateTitle();

    DesktopApplication& m_application;
    QTabWidget* m_tabs;
    RecipesPane* m_recipes;
    QWidget* m_browserTab;
    BrowserPane* m_browser = nullptr;
    MealsPane* m_meals;
    GroceriesPane* m_groceries;
    FileFlows* m_flows;
    SyncButton* m_sync = nullptr;
    std::vector<std::filesystem::path> m_dropped;
};

}  // namespace miravel::desktop
