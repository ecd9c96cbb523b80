#include "desktop/CategoryColumn.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

#include "desktop/Alerts.h"
#include "desktop/QtText.h"
#include "desktop/RecipeTableModel.h"
#include "lib/StringTable.h"

namespace miravel::desktop {

CategoryColumn::CategoryColumn(ManagedObjectContext& context, UserSettings& settings,
                               CategorySelectionListener& recipeList, RecipeResolver resolver,
                               QWidget* parent)
    : QTreeWidget(parent),
      m_controller(context, settings, recipeList, *this),
      m_resolver(std::move(resolver)) {
    setObjectName("categoryColumn");
    setAccessibleName(tr("Categories"));
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
        auto items = selectedItems();
        if (m_filling || items.isEmpty()) {
            return;
        }
        if (auto row = rowOf(items.first())) {
            m_controller.selectionDidChange(*row);
        }
    });
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
        if (!m_filling) {
            renamed(item);
        }
    });
}

CategoryColumn::~CategoryColumn() = default;

QTreeWidgetItem* CategoryColumn::itemForRow(std::size_t row) const {
    auto* heading = topLevelItem(0);
    if (heading == nullptr) {
        return nullptr;
    }
    return row == 0 ? heading : heading->child(static_cast<int>(row) - 1);
}

std::optional<std::size_t> CategoryColumn::rowOf(const QTreeWidgetItem* item) const {
    if (item == nullptr) {
        return std::nullopt;
    }
    if (item->parent() == nullptr) {
        return 0;
    }
    return static_cast<std::size_t>(
               item->parent()->indexOfChild(const_cast<QTreeWidgetItem*>(item))) +
           1;
}

void CategoryColumn::reloadTree() {
    m_filling = true;
    std::optional<std::size_t> selected;
    if (auto items = selectedItems(); !items.isEmpty()) {
        selected = rowOf(items.first());
    }
    clear();
    CategoryColumnItem heading = CategoryGroupHeading{};
    auto* top = new QTreeWidgetItem(this, {qs(m_controller.displayText(heading)).toUpper()});
    top->setFlags(Qt::ItemIsEnabled | Qt::ItemIsDropEnabled);
    QFont bold = top->font(0);
    bold.setBold(true);
    top->setFont(0, bold);
    for (std::size_t i = 0; i < m_controller.numberOfChildren(&heading); ++i) {
        CategoryColumnItem item = m_controller.child(i, &heading);
        auto* row = new QTreeWidgetItem(top, {qs(m_controller.displayText(item))});
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
        if (m_controller.shouldSelect(item)) {
            flags |= Qt::ItemIsSelectable;
        }
        if (m_controller.shouldEdit(item)) {
            flags |= Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
        }
        row->setFlags(flags);
    }
    expandAll();
    if (auto row = m_controller.rowForItem(std::visit(
            [](const auto& s) -> CategoryColumnItem { return s; }, m_controller.selection()))) {
        selected = row;
    }
    if (selected) {
        if (auto* item = itemForRow(*selected)) {
            item->setSelected(true);
        }
    }
    m_filling = false;
}

void CategoryColumn::selectRow(std::size_t row) {
    if (auto* item = itemForRow(row)) {
        // The controller selected it already; telling it again would select twice.
        m_filling = true;
        setCurrentItem(item);
        m_filling = false;
    }
}

void CategoryColumn::editNameInPlace(std::size_t row) {
    if (auto* item = itemForRow(row)) {
        scrollToItem(item);
        editItem(item);
    }
}

void CategoryColumn::setRemoveButtonEnabled(bool enabled) {
    emit removeEnabledChanged(enabled);
}

bool CategoryColumn::confirmDeletion(const std::string& message) {
    return desktop::confirmDeletion(this, qs(message));
}

void CategoryColumn::renamed(QTreeWidgetItem* item) {
    auto row = rowOf(item);
    auto described = row ? m_controller.itemAtRow(*row) : std::nullopt;
    if (!described) {
        return;
    }
    if (auto done = m_controller.rename(*described, ss(item->text(0).trimmed())); !done) {
        presentErrorAlert(this, done.error());
        reloadTree();
    }
}

void CategoryColumn::newCategory() {
    if (auto made = m_controller.newCategory(); !made) {
        presentDatabaseError(this, made.error());
    }
}

void CategoryColumn::deleteSelected() {
    if (auto done = m_controller.confirmDeleteCategory(); !done) {
        presentDatabaseError(this, done.error());
    }
}

QStringList CategoryColumn::mimeTypes() const {
    return {kCategoryMimeType, kRecipeRowsMimeType};
}

QMimeData* CategoryColumn::mimeData(const QList<QTreeWidgetItem*>& items) const {
    if (items.isEmpty()) {
        return nullptr;
    }
    auto row = rowOf(items.first());
    auto item = row ? m_controller.itemAtRow(*row) : std::nullopt;
    auto index = item ? m_controller.writeItem(*item) : std::nullopt;
    if (!index) {
        return nullptr;
    }
    auto* mime = new QMimeData;
    mime->setData(kCategoryMimeType, QByteArray::number(static_cast<qulonglong>(*index)));
    return mime;
}

std::optional<CategoryColumnDrag> CategoryColumn::dragOf(const QMimeData* mime) const {
    if (mime->hasFormat(kCategoryMimeType)) {
        return CategoryDrag{static_cast<std::size_t>(mime->data(kCategoryMimeType).toULongLong())};
    }
    if (mime->hasFormat(kRecipeRowsMimeType) && m_resolver) {
        return RecipesDrag{m_resolver(mime->data(kRecipeRowsMimeType))};
    }
    return std::nullopt;
}

// On the middle of a row the drop is onto it; near its top or bottom edge it is between rows
// of the heading's group, which is where categories are reordered.
std::optional<CategoryColumn::DropTarget> CategoryColumn::targetAt(const QPoint& position) const {
    auto* item = itemAt(position);
    auto row = rowOf(item);
    if (!row) {
        return std::nullopt;
    }
    auto described = m_controller.itemAtRow(*row);
    if (!described) {
        return std::nullopt;
    }
    QRect rect = visualItemRect(item);
    int edge = rect.height() / 4;
    if (*row == 0 || (position.y() > rect.top() + edge && position.y() < rect.bottom() - edge)) {
        return DropTarget{*described, -1};
    }
    int child = static_cast<int>(*row) - 1 + (position.y() >= rect.bottom() - edge ? 1 : 0);
    return DropTarget{CategoryGroupHeading{}, child};
}

void CategoryColumn::dragEnterEvent(QDragEnterEvent* event) {
    if (dragOf(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CategoryColumn::dragMoveEvent(QDragMoveEvent* event) {
    auto drag = dragOf(event->mimeData());
    auto target = targetAt(event->position().toPoint());
    DropOperation operation =
        drag && target ? m_controller.validateDrop(*drag, target->item, target->childIndex)
                       : DropOperation::None;
    if (operation == DropOperation::None) {
        event->ignore();
        return;
    }
    event->setDropAction(operation == DropOperation::Move ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
}

void CategoryColumn::dropEvent(QDropEvent* event) {
    auto drag = dragOf(event->mimeData());
    auto target = targetAt(event->position().toPoint());
    if (!drag || !target) {
        event->ignore();
        return;
    }
    auto accepted = m_controller.acceptDrop(*drag, target->item, target->childIndex);
    if (!accepted) {
        presentDatabaseError(this, accepted.error());
    }
    // The controller has moved or filed what was dropped; the tree must not move rows itself.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
}

void CategoryColumn::contextMenuEvent(QContextMenuEvent* event) {
    auto row = rowOf(itemAt(viewport()->mapFromGlobal(event->globalPos())));
    QMenu menu(this);
    auto* add = menu.addAction(tr("New Category"), this, &CategoryColumn::newCategory);
    add->setEnabled(m_controller.validateMenuItem(CategoryMenuItem::NewCategory, row));
    auto* edit = menu.addAction(tr("Edit"), this, [this, row] { editNameInPlace(*row); });
    edit->setEnabled(m_controller.validateMenuItem(CategoryMenuItem::Edit, row));
    auto* remove = menu.addAction(tr("Delete"), this, [this, row] {
        if (auto done = m_controller.deleteCategory(*row); !done) {
            presentDatabaseError(this, done.error());
        }
    });
    remove->setEnabled(m_controller.validateMenuItem(CategoryMenuItem::Delete, row));
    menu.exec(event->globalPos());
}

void CategoryColumn::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) &&
        state() != QAbstractItemView::EditingState) {
        deleteSelected();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace miravel::desktop
