#pragma once

#include <QAbstractTableModel>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "store/QVArrayController.h"

namespace miravel {
class ManagedObject;
class Recipe;
class RecipesController;
}  // namespace miravel

namespace miravel::desktop {

inline constexpr const char* kRecipeRowsMimeType = "application/x-miravel-recipe-rows";

// The recipe table over the Recipes pane's live result. It keeps its own copy of the rows and
// replays each change of the result onto it as single inserts, removals, moves and updates, so
// a view keeps its selection and scroll position while an import or a sync adds recipes.
// Only a new fetch (another category, search or order) resets it.
class RecipeTableModel : public QAbstractTableModel, public QVArrayControllerDelegate {
    Q_OBJECT
public:
    explicit RecipeTableModel(RecipesController& controller, QObject* parent = nullptr);
    ~RecipeTableModel() override;

    // The controller fetched again: take its result whole.
    void reload();
    std::shared_ptr<Recipe> recipeAt(int row) const;
    int rowOf(const ManagedObject* object) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    void sort(int column, Qt::SortOrder order) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

    void controllerWillChangeContent(QVArrayController&) override;
    void controller(QVArrayController&, const std::shared_ptr<ManagedObject>& object, int index,
                    ChangeType type, int newIndex) override;
    void controllerDidChangeContent(QVArrayController& controller) override;

signals:
    // A cell edit could not be saved.
    void saveFailed(const QString& description);

private:
    void replay(const std::vector<std::shared_ptr<ManagedObject>>& result);

    RecipesController& m_controller;
    std::vector<std::shared_ptr<ManagedObject>> m_rows;
    std::vector<int> m_deleted;
    std::unordered_set<const ManagedObject*> m_inserted;
    std::vector<int> m_updated;
    std::vector<std::pair<int, const ManagedObject*>> m_moved;
};

}  // namespace miravel::desktop
