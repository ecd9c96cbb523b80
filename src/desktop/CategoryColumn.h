#pragma once

#include <QTreeWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "library/CategoriesController.h"

namespace miravel {
class ManagedObjectContext;
class Recipe;
class UserSettings;
}  // namespace miravel

namespace miravel::desktop {

inline constexpr const char* kCategoryMimeType = "application/x-miravel-category";

// The category column: the heading with the presets and the user's categories under it.
// Recipes dropped on a category are filed in it; categories dragged between rows are
// reordered; a category's name is edited in place.
class CategoryColumn : public QTreeWidget, public CategoriesControllerDelegate {
    Q_OBJECT
public:
    // Turns the rows of a recipe drag into the recipes they stand for.
    using RecipeResolver = std::function<std::vector<std::shared_ptr<Recipe>>(const QByteArray&)>;

    CategoryColumn(ManagedObjectContext& context, UserSettings& settings,
                   CategorySelectionListener& recipeList, RecipeResolver resolver,
                   QWidget* parent = nullptr);
    ~CategoryColumn() override;

    CategoriesController& controller() { return m_controller; }
    // The tree's item of a row of the controller (the heading is row 0).
    QTreeWidgetItem* itemForRow(std::size_t row) const;

    void newCategory();
    void deleteSelected();

    bool confirmDeletion(const std::string& message) override;
    void reloadTree() override;
    void selectRow(std::size_t row) override;
    void editNameInPlace(std::size_t row) override;
    void setRemoveButtonEnabled(bool enabled) override;

signals:
    void removeEnabledChanged(bool enabled);

protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    QStringList mimeTypes() const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct DropTarget {
        CategoryColumnItem item;
        int childIndex;
    };
    std::optional<CategoryColumnDrag> dragOf(const QMimeData* mime) const;
    std::optional<DropTarget> targetAt(const QPoint& position) const;
    std::optional<std::size_t> rowOf(const QTreeWidgetItem* item) const;
    void renamed(QTreeWidgetItem* item);

    CategoriesController m_controller;
    RecipeResolver m_resolver;
    bool m_filling = false;
};

}  // namespace miravel::desktop
