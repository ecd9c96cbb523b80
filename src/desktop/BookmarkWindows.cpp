#include "desktop/BookmarkWindows.h"

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/Alerts.h"
#include "desktop/QtText.h"
#include "desktop/Shell.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/StringTable.h"
#include "model/Bookmark.h"

namespace miravel::desktop {

QString bookmarkRowsMimeType() {
    return qs(pasteboardType("Bookmark"));
}

AddBookmarkPopover::AddBookmarkPopover(ManagedObjectContext& context, const std::string& title,
                                       const std::string& url, QWidget* parent)
    : QWidget(parent, Qt::Popup), m_controller(context, title, url) {
    setObjectName("addBookmarkPopover");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_name = new QLineEdit(qs(title), this);
    m_name->setAccessibleName(qs(miravel::tr("Name")));
    m_url = new QLineEdit(qs(url), this);
    m_url->setAccessibleName(qs(miravel::tr("URL")));
    form->addRow(qs(miravel::tr("Name")), m_name);
    form->addRow(qs(miravel::tr("URL")), m_url);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(qs(miravel::tr("Cancel")), QDialogButtonBox::RejectRole);
    auto* done = buttons->addButton(qs(miravel::tr("Done")), QDialogButtonBox::AcceptRole);
    done->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &AddBookmarkPopover::pressDone);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    connect(m_name, &QLineEdit::returnPressed, this, &AddBookmarkPopover::pressDone);
    connect(m_url, &QLineEdit::returnPressed, this, &AddBookmarkPopover::pressDone);
    layout->addWidget(buttons);
    setMinimumWidth(380);
    m_name->selectAll();
    m_name->setFocus();
}

void AddBookmarkPopover::pressDone() {
    m_controller.title = ss(m_name->text());
    m_controller.url = ss(m_url->text());
    auto made = m_controller.savePressed();
    if (!made) {
        presentDatabaseError(this, made.error());
        return;
    }
    if (*made) {
        close();
    }
}

BookmarkTableModel::BookmarkTableModel(EditBookmarksController& controller, QWidget* alertParent,
                                       QObject* parent)
    : QAbstractTableModel(parent), m_controller(controller), m_alertParent(alertParent) {}

void BookmarkTableModel::reload() {
    beginResetModel();
    if (auto loaded = m_controller.reload(); !loaded) {
        presentDatabaseError(m_alertParent, loaded.error());
    }
    endResetModel();
}

int BookmarkTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_controller.rows().size());
}

int BookmarkTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant BookmarkTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    const auto& bookmark = m_controller.rows().at(static_cast<std::size_t>(index.row()));
    return qs(index.column() == 0 ? bookmark->title().value_or("") : bookmark->url().value_or(""));
}

QVariant BookmarkTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return qs(miravel::tr(section == 0 ? "Name" : "URL"));
}

bool BookmarkTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) {
        return false;
    }
    using Column = EditBookmarksController::Column;
    auto saved = m_controller.setValue(static_cast<std::size_t>(index.row()),
                                       index.column() == 1 ? Column::Url : Column::Name,
                                       ss(value.toString()));
    if (!saved) {
        presentDatabaseError(m_alertParent, saved.error());
        return false;
    }
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags BookmarkTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        // Drops land between rows only.
        return Qt::ItemIsDropEnabled;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
}

QStringList BookmarkTableModel::mimeTypes() const {
    return {bookmarkRowsMimeType()};
}

QMimeData* BookmarkTableModel::mimeData(const QModelIndexList& indexes) const {
    QStringList rows;
    for (const QModelIndex& index : indexes) {
        if (index.column() == 0) {
            rows << QString::number(index.row());
        }
    }
    auto* mime = new QMimeData;
    mime->setData(bookmarkRowsMimeType(), rows.join(',').toUtf8());
    return mime;
}

bool BookmarkTableModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                         const QModelIndex& parent) const {
    return data->hasFormat(bookmarkRowsMimeType()) && action == Qt::MoveAction &&
           !parent.isValid() && row <= rowCount();
}

bool BookmarkTableModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                      int column, const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent)) {
        return false;
    }
    const QStringList rows = QString::fromUtf8(data->data(bookmarkRowsMimeType())).split(',');
    bool isNumber = false;
    const int from = rows.last().toInt(&isNumber);
    if (!isNumber || from < 0 || from >= rowCount()) {
        return false;
    }
    const int dropRow = row < 0 ? rowCount() : row;
    beginResetModel();
    auto moved =
        m_controller.moveRow(static_cast<std::size_t>(from), static_cast<std::size_t>(dropRow));
    endResetModel();
    if (!moved) {
        presentDatabaseError(m_alertParent, moved.error());
    }
    // The move is done here; the view must not remove the dragged row afterwards.
    return false;
}

BookmarksWindow::BookmarksWindow(Shell& shell, QWidget* parent)
    : QDialog(parent), m_shell(shell), m_controller(shell.context()) {
    setObjectName("bookmarksWindow");
    setWindowTitle(qs(miravel::tr("Bookmarks")));
    auto* layout = new QVBoxLayout(this);
    m_model = new BookmarkTableModel(m_controller, this, this);
    m_model->reload();
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setDragEnabled(true);
    m_table->setAcceptDrops(true);
    m_table->setDropIndicatorShown(true);
    m_table->setDragDropMode(QAbstractItemView::DragDrop);
    m_table->setDefaultDropAction(Qt::MoveAction);
    m_table->setDragDropOverwriteMode(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(0, 220);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    layout->addWidget(m_table);

    auto* row = new QHBoxLayout;
    auto* add = new QPushButton("+", this);
    add->setAccessibleName(qs(miravel::tr("New Bookmark")));
    add->setFixedWidth(32);
    connect(add, &QPushButton::clicked, this, &BookmarksWindow::newBookmark);
    m_remove = new QPushButton("−", this);
    m_remove->setAccessibleName(tr("Remove Bookmark"));
    m_remove->setFixedWidth(32);
    m_remove->setEnabled(false);
    connect(m_remove, &QPushButton::clicked, this, [this] { deleteRows(selectedRows()); });
    row->addWidget(add);
    row->addWidget(m_remove);
    row->addStretch();
    layout->addLayout(row);
    auto enableRemove = [this] { m_remove->setEnabled(!selectedRows().empty()); };
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, enableRemove);
    connect(m_model, &QAbstractItemModel::modelReset, this, enableRemove);
    resize(620, 420);
}

std::vector<std::size_t> BookmarksWindow::selectedRows() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    std::ranges::sort(rows);
    return rows;
}

void BookmarksWindow::newBookmark() {
    auto row = m_controller.newBookmark();
    m_model->reload();
    if (!row) {
        presentDatabaseError(this, row.error());
        return;
    }
    const QModelIndex name = m_model->index(static_cast<int>(*row), 0);
    m_table->selectRow(name.row());
    m_table->edit(name);
}

void BookmarksWindow::deleteRows(std::vector<std::size_t> rows) {
    const auto question = EditBookmarksController::deleteQuestion(rows.size());
    if (!question || !confirmDeletion(this, qs(miravel::tr(*question)), true)) {
        return;
    }
    auto deleted = m_controller.deleteRows(std::move(rows));
    m_model->reload();
    if (!deleted) {
        presentDatabaseError(this, deleted.error());
    }
}

void BookmarksWindow::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex clicked =
        m_table->indexAt(m_table->viewport()->mapFromGlobal(event->globalPos()));
    QMenu menu(this);
    QAction* edit = menu.addAction(tr("Edit Bookmark"), this, [this, clicked] {
        m_table->edit(m_model->index(clicked.row(), 0));
    });
    QAction* remove = menu.addAction(tr("Delete Bookmark"), this, [this, clicked] {
        deleteRows({static_cast<std::size_t>(clicked.row())});
    });
    menu.addAction(qs(miravel::tr("New Bookmark")), this, &BookmarksWindow::newBookmark);
    edit->setEnabled(clicked.isValid());
    remove->setEnabled(clicked.isValid());
    menu.exec(event->globalPos());
}

}  // namespace miravel::desktop
