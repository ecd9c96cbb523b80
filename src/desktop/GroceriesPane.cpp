#include "desktop/GroceriesPane.h"

#include <QComboBox>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/Alerts.h"
#include "desktop/QtText.h"
#include "desktop/Shell.h"
#include "lib/StringTable.h"
#include "rendering/PaneOutput.h"

namespace miravel::desktop {

namespace {

// The row a drop at `position` lands at, and whether on it rather than above it: the upper
// half of a row is above it, the lower half above the next.
std::pair<std::size_t, bool> dropTarget(const QListWidget& table, const QPoint& position) {
    const QModelIndex index = table.indexAt(position);
    if (!index.isValid()) {
        return {static_cast<std::size_t>(table.count()), false};
    }
    const QRect rect = table.visualRect(index);
    const bool below = position.y() > rect.center().y();
    return {static_cast<std::size_t>(index.row() + (below ? 1 : 0)), false};
}

bool dropRows(QListWidget& table, GroceryListController& list, const QMimeData& data,
              const QPoint& position) {
    const auto [row, onRow] = dropTarget(table, position);
    std::vector<std::size_t> dragged;
    for (const auto& part : data.data(qs(GroceryListController::pasteboardType())).split(',')) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (ok && value >= 0) {
            dragged.push_back(static_cast<std::size_t>(value));
        }
    }
    auto moved = list.acceptDrop(dragged, row, onRow);
    if (!moved) {
        presentDatabaseError(&table, moved.error());
        return false;
    }
    return *moved;
}

// How one entry of the list is shown: a section title in bold, or a row with its check box,
// struck through once bought.
struct ShownRow {
    QString text;
    bool title = false;
    bool purchased = false;
};

ShownRow shownRow(const GroceryListEntry& entry) {
    if (const auto* title = std::get_if<std::string>(&entry)) {
        return {qs(*title), true, false};
    }
    const auto& row = std::get<std::shared_ptr<ConsolidatedItem>>(entry);
    return {qs(row->name()), false, row->purchased()};
}

bool isSectionTitle(const QListWidgetItem& item) {
    return !item.flags().testFlag(Qt::ItemIsSelectable);
}

// Whether the item already shows `shown`; the user's own click or edit may have changed the
// item before the list was rebuilt, so the item is read rather than what was last shown.
bool shows(const QListWidgetItem& item, const ShownRow& shown) {
    if (isSectionTitle(item) != shown.title || item.text() != shown.text) {
        return false;
    }
    return shown.title || ((item.checkState() == Qt::Checked) == shown.purchased &&
                           item.font().strikeOut() == shown.purchased);
}

void present(const QListWidget& table, QListWidgetItem& item, const ShownRow& shown) {
    if (item.text() != shown.text) {
        item.setText(shown.text);
    }
    if (shown.title) {
        QFont bold = table.font();
        bold.setBold(true);
        item.setFont(bold);
        item.setFlags(Qt::ItemIsEnabled | Qt::ItemIsDropEnabled);
        return;
    }
    item.setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                  Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
    item.setCheckState(shown.purchased ? Qt::Checked : Qt::Unchecked);
    if (shown.purchased) {
        QFont struck = table.font();
        struck.setStrikeOut(true);
        item.setFont(struck);
        item.setForeground(table.palette().color(QPalette::Disabled, QPalette::Text));
    } else {
        item.setData(Qt::FontRole, QVariant());
        item.setData(Qt::ForegroundRole, QVariant());
    }
}

// The list's rows dragged onto another aisle; the controller decides what a drop means.
class GroceryTable : public QListWidget {
public:
    GroceryTable(GroceryListController& list, QWidget* parent)
        : QListWidget(parent), m_list(list) {}

protected:
    QStringList mimeTypes() const override { return {qs(GroceryListController::pasteboardType())}; }
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override {
        std::vector<std::size_t> rows;
        for (auto* item : items) {
            rows.push_back(static_cast<std::size_t>(row(item)));
        }
        const auto written = m_list.writeRows(rows);
        if (!written) {
            return nullptr;
        }
        QStringList text;
        for (std::size_t row : *written) {
            text << QString::number(row);
        }
        auto* mime = new QMimeData;
        mime->setData(qs(GroceryListController::pasteboardType()), text.join(',').toUtf8());
        return mime;
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        const auto [row, onRow] = dropTarget(*this, event->position().toPoint());
        if (event->source() == this &&
            m_list.validateDrop(GroceryListController::pasteboardType(), row, onRow)) {
            event->acceptProposedAction();
        } else {
            event->ignore();
        }
    }
    void dropEvent(QDropEvent* event) override {
        // The store moves the rows; the view must not move them itself.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        dropRows(*this, m_list, *event->mimeData(), event->position().toPoint());
    }

private:
    GroceryListController& m_list;
};

}  // namespace

GroceriesPane::GroceriesPane(Shell& shell, QWidget* parent) : QWidget(parent), m_shell(shell) {
    setObjectName("groceriesPane");
    setAccessibleName(qs(miravel::tr("Groceries")));
    m_list = std::make_unique<GroceryListController>(shell.context(), shell.settings(), this);
    m_sidebar = std::make_unique<GroceryListCategoriesController>(shell.context(), *m_list, this);

    auto* layout = new QHBoxLayout(this);
    auto* splitter = new QSplitter(this);
    layout->addWidget(splitter);

    auto* side = new QWidget(splitter);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    m_sidebarList = new QListWidget(side);
    m_sidebarList->setObjectName("grocerySidebar");
    m_sidebarList->setAccessibleName(qs(miravel::tr("Grocery List Sidebar")));
    connect(m_sidebarList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_reloading && row > 0) {
            m_sidebar->selectionDidChange(static_cast<std::size_t>(row));
        }
    });
    m_removeRecipe = new QPushButton(qs(miravel::tr("Remove Recipe")), side);
    m_removeRecipe->setObjectName("removeGroceryRecipe");
    m_removeRecipe->setEnabled(false);
    connect(m_removeRecipe, &QPushButton::clicked, this, [this] {
        if (auto removed = m_sidebar->deleteRecipePressed(); !removed) {
            presentDatabaseError(this, removed.error());
        }
    });
    sideLayout->addWidget(m_sidebarList, 1);
    sideLayout->addWidget(m_removeRecipe);

    auto* main = new QWidget(splitter);
    auto* mainLayout = new QVBoxLayout(main);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QHBoxLayout;
    auto button = [this, bar](const QString& title, const QString& name, auto&& run) {
        auto* made = new QPushButton(title, this);
        made->setObjectName(name);
        connect(made, &QPushButton::clicked, this, run);
        bar->addWidget(made);
        return made;
    };
    button(qs(miravel::tr("New Item")), "newGroceryItem", [this] {
        if (auto made = m_list->newItem(); !made) {
            presentDatabaseError(this, made.error());
        }
    });
    m_delete = button(qs(miravel::tr("Delete")), "deleteGroceryItems", [this] {
        if (auto deleted = m_list->deletePressed(); !deleted) {
            presentDatabaseError(this, deleted.error());
        }
    });
    m_delete->setEnabled(false);
    button(qs(miravel::tr("Clear…")), "clearGroceryList", [this] {
        if (auto cleared = m_list->clearGroceryList(); !cleared) {
            presentDatabaseError(this, cleared.error());
        }
    });
    bar->addStretch(1);
    m_filter = new QComboBox(this);
    m_filter->setObjectName("groceryFilter");
    m_filter->setAccessibleName(qs(miravel::tr("Show")));
    // In the order of GroceryFilter.
    m_filter->addItems(
        {qs(miravel::tr("All")), qs(miravel::tr("Bought")), qs(miravel::tr("To Buy"))});
    connect(m_filter, &QComboBox::activated, this,
            [this](int segment) { m_list->segmentChanged(segment); });
    bar->addWidget(m_filter);
    button(qs(miravel::tr("Print")), "printGroceryList", [this] { printList(); });
    button(qs(miravel::tr("Email")), "emailGroceryList", [this] { emailList(); });
    mainLayout->addLayout(bar);

    m_table = new GroceryTable(*m_list, main);
    m_table->setObjectName("groceryList");
    m_table->setAccessibleName(qs(miravel::tr("Grocery List")));
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setDragEnabled(true);
    m_table->setAcceptDrops(true);
    m_table->setDropIndicatorShown(true);
    m_table->setDragDropMode(QAbstractItemView::InternalMove);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QListWidget::customContextMenuRequested, this,
            &GroceriesPane::showContextMenu);
    connect(m_table, &QListWidget::itemChanged, this, &GroceriesPane::itemChanged);
    connect(m_table, &QListWidget::itemSelectionChanged, this, [this] {
        if (m_reloading) {
            return;
        }
        std::vector<std::size_t> rows;
        for (const auto& index : m_table->selectionModel()->selectedRows()) {
            rows.push_back(static_cast<std::size_t>(index.row()));
        }
        std::ranges::sort(rows);
        m_list->selectionDidChange(rows);
    });
    connect(m_table, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_list->editItem(static_cast<std::size_t>(m_table->row(item)));
    });
    m_empty = new QLabel(qs(miravel::tr(kNoItems)), main);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->hide();
    mainLayout->addWidget(m_table, 1);
    mainLayout->addWidget(m_empty);
    splitter->addWidget(side);
    splitter->addWidget(main);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 860});

    m_sidebar->start();
    reloadOutline();
    reloadTable();
}

GroceriesPane::~GroceriesPane() {
    // The controllers report to this widget while they go.
    m_list->setDelegate(nullptr);
    m_sidebar->setDelegate(nullptr);
}

void GroceriesPane::report(const Result<void>& done) {
    if (!done) {
        presentDatabaseError(this, done.error());
    }
}

void GroceriesPane::report(const Result<bool>& done) {
    if (!done) {
        presentDatabaseError(this, done.error());
    }
}

// The list keeps its items across rebuilds and touches only the rows that look different,
// so that a check, an edit or a sync's change costs one row rather than the whole list, and
// the current row, an open editor and the scroll position stay where they were.
void GroceriesPane::reloadTable() {
    m_reloading = true;
    std::vector<ShownRow> wanted;
    wanted.reserve(m_list->items().size());
    for (const auto& entry : m_list->items()) {
        wanted.push_back(shownRow(entry));
    }
    const int count = static_cast<int>(wanted.size());
    if (count == 0) {
        m_table->clear();
    } else {
        const int had = m_table->count();
        const int both = std::min(had, count);
        int same = 0;  // rows at the top already shown as wanted
        while (same < both && shows(*m_table->item(same), wanted[same])) {
            ++same;
        }
        int sameBelow = 0;  // and at the bottom
        while (sameBelow < both - same &&
               shows(*m_table->item(had - 1 - sameBelow), wanted[count - 1 - sameBelow])) {
            ++sameBelow;
        }
        // Between them: rows updated in place, then the surplus removed or the rest inserted.
        const int oldMiddle = had - same - sameBelow;
        const int newMiddle = count - same - sameBelow;
        const int updated = std::min(oldMiddle, newMiddle);
        for (int row = same; row < same + updated; ++row) {
            QListWidgetItem* item = m_table->item(row);
            if (isSectionTitle(*item) != wanted[row].title) {
                // A title never turns into a row in place: no role of the one may stay behind.
                delete m_table->takeItem(row);
                item = new QListWidgetItem;
                m_table->insertItem(row, item);
            }
            present(*m_table, *item, wanted[row]);
        }
        for (int left = oldMiddle - updated; left > 0; --left) {
            delete m_table->takeItem(same + updated);
        }
        for (int row = same + updated; row < same + newMiddle; ++row) {
            auto* item = new QListWidgetItem;
            present(*m_table, *item, wanted[row]);
            m_table->insertItem(row, item);
        }
    }
    std::vector<bool> selected(wanted.size(), false);
    for (std::size_t row : m_list->selectedRows()) {
        if (row < selected.size() && !wanted[row].title) {
            selected[row] = true;
        }
    }
    for (int row = 0; row < count; ++row) {
        QListWidgetItem* item = m_table->item(row);
        if (item->isSelected() != selected[static_cast<std::size_t>(row)]) {
            item->setSelected(selected[static_cast<std::size_t>(row)]);
        }
    }
    m_reloading = false;
}

void GroceriesPane::itemChanged(QListWidgetItem* item) {
    if (m_reloading) {
        return;
    }
    const auto index = static_cast<std::size_t>(m_table->row(item));
    auto row = m_list->rowAt(index);
    if (!row) {
        return;
    }
    // One signal for both the check box and the text: tell them apart by what changed.
    if ((item->checkState() == Qt::Checked) != row->purchased()) {
        report(m_list->groceryListTableCellCheckboxToggled(index));
    } else if (ss(item->text()) != row->name()) {
        report(m_list->groceryListTableCellEdited(index, ss(item->text())));
    }
}

void GroceriesPane::showEmptyLabel(bool shown) {
    m_empty->setVisible(shown);
}

void GroceriesPane::setRemoveButtonEnabled(bool enabled) {
    m_delete->setEnabled(enabled);
}

void GroceriesPane::setFilterSegment(GroceryFilter filter) {
    m_filter->setCurrentIndex(static_cast<int>(filter));
}

void GroceriesPane::selectRows(const std::vector<std::size_t>& rows) {
    // The controller restores its selection after every rebuild: when the list already shows
    // it, nothing is scrolled.
    const auto shown = m_table->selectionModel()->selectedRows();
    if (static_cast<std::size_t>(shown.size()) == rows.size() &&
        std::ranges::all_of(shown, [&](const QModelIndex& index) {
            return std::ranges::find(rows, static_cast<std::size_t>(index.row())) != rows.end();
        })) {
        return;
    }
    m_reloading = true;
    m_table->clearSelection();
    for (std::size_t row : rows) {
        if (auto* item = m_table->item(static_cast<int>(row))) {
            item->setSelected(true);
            m_table->scrollToItem(item);
        }
    }
    m_reloading = false;
}

void GroceriesPane::editRow(std::size_t row) {
    if (auto* item = m_table->item(static_cast<int>(row))) {
        m_table->setCurrentItem(item);
        m_table->editItem(item);
    }
}

bool GroceriesPane::confirmDeletion(const std::string& message) {
    return desktop::confirmDeletion(this, qs(miravel::tr(message)), true);
}

ClearChoice GroceriesPane::confirmClear(const std::string& message) {
    const int answer =
        presentAlert(this, {QMessageBox::Critical,
                            qs(miravel::tr(message)),
                            {},
                            {qs(miravel::tr("Clear All Items")), qs(miravel::tr("Clear Purchased")),
                             qs(miravel::tr("Cancel"))}});
    switch (answer) {
        case 0:
            return ClearChoice::ClearAllItems;
        case 1:
            return ClearChoice::ClearPurchased;
        default:
            return ClearChoice::Cancel;
    }
}

void GroceriesPane::reloadOutline() {
    m_reloading = true;
    m_sidebarList->clear();
    auto* group =
        new QListWidgetItem(qs(GroceryListCategoriesController::groupTitle()), m_sidebarList);
    QFont small = m_sidebarList->font();
    small.setBold(true);
    group->setFont(small);
    group->setFlags(Qt::ItemIsEnabled);
    for (const auto& entry : m_sidebar->entries()) {
        new QListWidgetItem(qs(entry.title()), m_sidebarList);
    }
    if (auto row = m_sidebar->rowForEntry(m_sidebar->selection())) {
        m_sidebarList->setCurrentRow(static_cast<int>(*row));
    }
    m_removeRecipe->setEnabled(m_sidebar->removeButtonEnabled());
    m_reloading = false;
}

void GroceriesPane::selectRow(std::size_t row) {
    m_reloading = true;
    m_sidebarList->setCurrentRow(static_cast<int>(row));
    m_removeRecipe->setEnabled(m_sidebar->removeButtonEnabled());
    m_reloading = false;
}

void GroceriesPane::showContextMenu(const QPoint& position) {
    auto* clicked = m_table->itemAt(position);
    std::optional<std::size_t> row;
    if (clicked) {
        row = static_cast<std::size_t>(m_table->row(clicked));
    }
    QMenu menu(this);
    fillMenu(menu, row);
    menu.exec(m_table->viewport()->mapToGlobal(position));
}

std::optional<std::size_t> GroceriesPane::currentRow() const {
    const int current = m_table->currentRow();
    if (current < 0 || m_table->selectedItems().empty()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(current);
}

QMenu* GroceriesPane::makeMenu(QWidget* parent) {
    auto* menu = new QMenu(qs(miravel::tr("&Groceries")), parent);
    menu->setObjectName("groceriesMenu");
    // Filled afresh each time it opens, for the list's current row, as the context menu is
    // for the clicked one.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        menu->clear();
        fillMenu(*menu, currentRow());
        menu->addSeparator();
        menu->addAction(qs(miravel::tr("Clear Grocery List…")), this,
                        [this] { report(m_list->clearGroceryList()); });
        menu->addAction(qs(miravel::tr("Remove Recipe")), this,
                        [this] { report(m_sidebar->deleteRecipePressed()); })
            ->setEnabled(m_sidebar->removeButtonEnabled());
    });
    fillMenu(*menu, currentRow());
    return menu;
}

void GroceriesPane::fillMenu(QMenu& menu, std::optional<std::size_t> row) {
    auto add = [&](const QString& title, GroceryMenuItem which, auto&& run) {
        auto* action = menu.addAction(title, this, run);
        const auto state = m_list->validateMenuItem(which, row);
        action->setEnabled(state.enabled);
        action->setCheckable(state.checked);
        action->setChecked(state.checked);
        return action;
    };
    add(qs(miravel::tr("New Item")), GroceryMenuItem::NewItem, [this] {
        if (auto made = m_list->newItem(); !made) {
            presentDatabaseError(this, made.error());
        }
    });
    add(qs(miravel::tr("Edit")), GroceryMenuItem::Edit, [this, row] { m_list->editItem(*row); });
    add(qs(miravel::tr("Delete")), GroceryMenuItem::Delete, [this, row] {
        if (auto deleted = m_list->deleteItem(row); !deleted) {
            presentDatabaseError(this, deleted.error());
        }
    });
    menu.addSeparator();
    add(qs(miravel::tr("Purchased")), GroceryMenuItem::Purchased,
        [this, row] { report(m_list->togglePurchased(row)); });
    auto* aisles = menu.addMenu(qs(miravel::tr("Aisle")));
    aisles->setEnabled(m_list->validateMenuItem(GroceryMenuItem::Aisle, row).enabled);
    for (const auto& entry : m_list->aisleMenu(row)) {
        auto* action = aisles->addAction(qs(entry.title), this, [this, tag = entry.tag, row] {
            report(m_list->changeAisle(tag, row));
        });
        action->setCheckable(true);
        action->setChecked(entry.checked);
        action->setEnabled(
            m_list->validateMenuItem(GroceryMenuItem::Aisle, row, entry.tag).enabled);
    }
}

bool GroceriesPane::canRunEditCommand(EditCommand command) const {
    if (command != EditCommand::Delete) {
        return false;
    }
    if (m_table->hasFocus()) {
        return !m_table->selectedItems().empty();
    }
    return m_sidebarList->hasFocus() && m_sidebar->removeButtonEnabled();
}

void GroceriesPane::runEditCommand(EditCommand command) {
    if (!canRunEditCommand(command)) {
        return;
    }
    report(m_table->hasFocus() ? m_list->deletePressed() : m_sidebar->deleteRecipePressed());
}

bool GroceriesPane::dropRows(const QMimeData& data, const QPoint& position) {
    return desktop::dropRows(*m_table, *m_list, data, position);
}

void GroceriesPane::printList() {
    printGroceryList(*m_list, m_shell.printer());
}

void GroceriesPane::emailList() {
    if (!emailGroceryList(*m_list, m_shell.mail())) {
        presentAlert(this, {QMessageBox::Warning,
                            qs(miravel::tr("The mail program could not be opened.")),
                            {},
                            {qs(miravel::tr("OK"))}});
    }
}

}  // namespace miravel::desktop
