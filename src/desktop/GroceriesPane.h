#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "desktop/EditCommands.h"
#include "grocery/GroceryListCategoriesController.h"
#include "grocery/GroceryListController.h"

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QMimeData;
class QPushButton;

namespace miravel::desktop {

class Shell;

// The Groceries pane: the sidebar of the list's parts beside the list itself, sectioned by
// aisle or by recipe, with like items consolidated into one row.
class GroceriesPane : public QWidget,
                      public GroceryListControllerDelegate,
                      public GroceryListSidebarDelegate,
                      public EditCommandTarget {
    Q_OBJECT
public:
    GroceriesPane(Shell& shell, QWidget* parent = nullptr);
    ~GroceriesPane() override;

    GroceryListController& list() { return *m_list; }
    GroceryListCategoriesController& sidebar() { return *m_sidebar; }
    QListWidget* table() const { return m_table; }
    QListWidget* sidebarList() const { return m_sidebarList; }

    // Rows dragged within the list, dropped at a point of its viewport (what its drop does).
    bool dropRows(const QMimeData& data, const QPoint& position);

    void printList();
    void emailList();
    // The main window's Groceries menu: the row commands for the list's current row, with the
    // controller's enabled states and check marks, and the list-wide commands.
    QMenu* makeMenu(QWidget* parent);

    // Delete: the selected rows, or the selected recipe when the sidebar has the focus.
    bool canRunEditCommand(EditCommand command) const override;
    void runEditCommand(EditCommand command) override;

    // GroceryListControllerDelegate
    void reloadTable() override;
    void showEmptyLabel(bool shown) override;
    void setRemoveButtonEnabled(bool enabled) override;
    void setFilterSegment(GroceryFilter filter) override;
    void selectRows(const std::vector<std::size_t>& rows) override;
    void editRow(std::size_t row) override;
    bool confirmDeletion(const std::string& message) override;
    ClearChoice confirmClear(const std::string& message) override;
    // GroceryListSidebarDelegate
    void reloadOutline() override;
    void selectRow(std::size_t row) override;

private:
    void showContextMenu(const QPoint& position);
    void fillMenu(QMenu& menu, std::optional<std::size_t> row);
    std::optional<std::size_t> currentRow() const;
    void itemChanged(QListWidgetItem* item);
    void report(const Result<void>& done);
    void report(const Result<bool>& done);

    Shell& m_shell;
    std::unique_ptr<GroceryListController> m_list;
    std::unique_ptr<GroceryListCategoriesController> m_sidebar;
    QListWidget* m_sidebarList = nullptr;
    QPushButton* m_removeRecipe = nullptr;
    QComboBox* m_filter = nullptr;
    QListWidget* m_table = nullptr;
    QLabel* m_empty = nullptr;
    QPushButton* m_delete = nullptr;
    bool m_reloading = false;
};

}  // namespace miravel::desktop
