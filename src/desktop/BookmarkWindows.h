#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QWidget>

#include "browser/BookmarksController.h"

class QLineEdit;
class QPushButton;
class QTableView;

namespace miravel::desktop {

class Shell;

// A drag inside the editor carries the dragged rows as text ("0,2") under the application's
// bookmark drag type; the last row named is the one that moves.
QString bookmarkRowsMimeType();

// "Add Bookmark", a popover below the bookmarks button: the page's title and address.
class AddBookmarkPopover : public QWidget {
    Q_OBJECT
public:
    AddBookmarkPopover(ManagedObjectContext& context, const std::string& title,
                       const std::string& url, QWidget* parent);
    QLineEdit* nameField() const { return m_name; }
    QLineEdit* urlField() const { return m_url; }
    // "Done": closes only when a bookmark was made.
    void pressDone();

private:
    AddBookmarkController m_controller;
    QLineEdit* m_name;
    QLineEdit* m_url;
};

// The editor's rows over EditBookmarksController: Name and URL, editable in place, reordered
// by dragging between rows.
class BookmarkTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    BookmarkTableModel(EditBookmarksController& controller, QWidget* alertParent, QObject* parent);

    void reload();
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    EditBookmarksController& m_controller;
    QWidget* m_alertParent;
};

// The "Bookmarks" window.
class BookmarksWindow : public QDialog {
    Q_OBJECT
public:
    BookmarksWindow(Shell& shell, QWidget* parent);

    EditBookmarksController& controller() { return m_controller; }
    BookmarkTableModel& model() { return *m_model; }
    QTableView* table() const { return m_table; }
    QPushButton* removeButton() const { return m_remove; }

    void newBookmark();
    // Asks first; `rows` empty asks nothing.
    void deleteRows(std::vector<std::size_t> rows);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    std::vector<std::size_t> selectedRows() const;

    Shell& m_shell;
    EditBookmarksController m_controller;
    BookmarkTableModel* m_model;
    QTableView* m_table;
    QPushButton* m_remove;
};

}  // namespace miravel::desktop
