#include "desktop/RecipeTableModel.h"

#include <QMimeData>
#include <algorithm>

#include "desktop/QtText.h"
#include "lib/StringTable.h"
#include "library/RecipeListColumns.h"
#include "library/RecipesController.h"
#include "model/Recipe.h"

namespace miravel::desktop {

namespace {

const RecipeListColumn& columnAt(int section) {
    return recipeListColumns().at(static_cast<std::size_t>(section));
}

QVariant toVariant(const Value& value, bool stars) {
    if (stars) {
        int count = value.isInteger() ? static_cast<int>(value.asInteger()) : 0;
        return QString(count, QChar(0x2605)) + QString(5 - std::clamp(count, 0, 5), QChar(0x2606));
    }
    if (value.isText()) {
        return qs(value.asText());
    }
    if (value.isInteger()) {
        return QVariant::fromValue(static_cast<qlonglong>(value.asInteger()));
    }
    if (value.isBoolean()) {
        return value.asBoolean();
    }
    return {};
}

}  // namespace

RecipeTableModel::RecipeTableModel(RecipesController& controller, QObject* parent)
    : QAbstractTableModel(parent), m_controller(controller) {
    m_controller.setRowObserver(this);
    reload();
}

RecipeTableModel::~RecipeTableModel() {
    m_controller.setRowObserver(nullptr);
}

void RecipeTableModel::reload() {
    beginResetModel();
    m_rows.clear();
    if (auto* result = m_controller.arrayController()) {
        m_rows = result->arrangedObjects();
    }
    endResetModel();
}

std::shared_ptr<Recipe> RecipeTableModel::recipeAt(int row) const {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return nullptr;
    }
    return std::static_pointer_cast<Recipe>(m_rows[static_cast<std::size_t>(row)]);
}

int RecipeTableModel::rowOf(const ManagedObject* object) const {
    auto found = std::find_if(m_rows.begin(), m_rows.end(),
                              [&](const auto& row) { return row.get() == object; });
    return found == m_rows.end() ? -1 : static_cast<int>(found - m_rows.begin());
}

int RecipeTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int RecipeTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(recipeListColumns().size());
}

QVariant RecipeTableModel::data(const QModelIndex& index, int role) const {
    auto recipe = recipeAt(index.row());
    if (!recipe || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    const RecipeListColumn& column = columnAt(index.column());
    std::string_view id = column.identifier;
    Value value = RecipesController::objectValue(id, *recipe);
    return toVariant(value, id == "rating" && role == Qt::DisplayRole);
}

QVariant RecipeTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return qs(miravel::tr(columnAt(section).header));
}

Qt::ItemFlags RecipeTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index) | Qt::ItemIsDragEnabled;
    if (index.isValid() && columnAt(index.column()).editable) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

bool RecipeTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid()) {
        return false;
    }
    std::string_view id = columnAt(index.column()).identifier;
    Value typed = id == "rating" ? Value(static_cast<std::int64_t>(value.toLongLong()))
                                 : Value(ss(value.toString()));
    auto saved = m_controller.setObjectValue(id, static_cast<std::size_t>(index.row()), typed);
    if (!saved) {
        emit saveFailed(qs(saved.error().description));
        return false;
    }
    return true;
}

void RecipeTableModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columnCount()) {
        return;
    }
    m_controller.sortByColumns({{columnAt(column).identifier, order == Qt::AscendingOrder}});
}

QStringList RecipeTableModel::mimeTypes() const {
    return {kRecipeRowsMimeType};
}

QMimeData* RecipeTableModel::mimeData(const QModelIndexList& indexes) const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : indexes) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QStringList text;
    for (std::size_t row : m_controller.writeRows(rows).rows) {
        text << QString::number(row);
    }
    auto* mime = new QMimeData;
    mime->setData(kRecipeRowsMimeType, text.join(',').toUtf8());
    return mime;
}

void RecipeTableModel::controllerWillChangeContent(QVArrayController&) {
    m_deleted.clear();
    m_inserted.clear();
    m_updated.clear();
    m_moved.clear();
}

void RecipeTableModel::controller(QVArrayController&, const std::shared_ptr<ManagedObject>& object,
                                  int index, ChangeType type, int newIndex) {
    switch (type) {
        case ChangeType::Delete:
            m_deleted.push_back(index);
            break;
        case ChangeType::Insert:
            m_inserted.insert(object.get());
            break;
        case ChangeType::Update:
            m_updated.push_back(index);
            break;
        case ChangeType::Move:
            m_moved.emplace_back(newIndex, object.get());
            break;
    }
}

void RecipeTableModel::controllerDidChangeContent(QVArrayController& controller) {
    replay(controller.arrangedObjects());
}

void RecipeTableModel::replay(const std::vector<std::shared_ptr<ManagedObject>>& result) {
    // Deletions name the rows as they were: take them out from the bottom up.
    std::sort(m_deleted.begin(), m_deleted.end(), std::greater<>());
    for (int row : m_deleted) {
        if (row < 0 || row >= static_cast<int>(m_rows.size())) {
            reload();
            return;
        }
        beginRemoveRows({}, row, row);
        m_rows.erase(m_rows.begin() + row);
        endRemoveRows();
    }
    // Each moved recipe goes right behind the row that precedes it in the result (newcomers
    // aside, they are not here yet). Taken in the order of their places in the result, every
    // such row is already where it belongs.
    std::sort(m_moved.begin(), m_moved.end());
    for (const auto& [target, object] : m_moved) {
        if (target < 0 || target >= static_cast<int>(result.size())) {
            reload();
            return;
        }
        int previous = target - 1;
        while (previous >= 0 &&
               m_inserted.contains(result[static_cast<std::size_t>(previous)].get())) {
            --previous;
        }
        const int from = rowOf(object);
        const int after =
            previous < 0 ? -1 : rowOf(result[static_cast<std::size_t>(previous)].get());
        if (from < 0 || (previous >= 0 && after < 0)) {
            reload();
            return;
        }
        const int destination = after + 1;
        if (destination == from || destination == from + 1) {
            continue;
        }
        beginMoveRows({}, from, from, {}, destination);
        auto moving = std::move(m_rows[static_cast<std::size_t>(from)]);
        m_rows.erase(m_rows.begin() + from);
        m_rows.insert(m_rows.begin() + (destination > from ? destination - 1 : destination),
                      std::move(moving));
        endMoveRows();
    }
    // What differs now are the newcomers: insert each run of them at once.
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (i < m_rows.size() && m_rows[i] == result[i]) {
            continue;
        }
        if (!m_inserted.contains(result[i].get())) {
            reload();
            return;
        }
        const int at = static_cast<int>(i);
        std::size_t end = i + 1;
        while (end < result.size() && m_inserted.contains(result[end].get())) {
            ++end;
        }
        beginInsertRows({}, at, static_cast<int>(end) - 1);
        m_rows.insert(m_rows.begin() + at, result.begin() + at,
                      result.begin() + static_cast<std::ptrdiff_t>(end));
        endInsertRows();
        i = end - 1;
    }
    if (m_rows.size() != result.size()) {
        reload();
        return;
    }
    for (int row : m_updated) {
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }
}

}  // namespace miravel::desktop
