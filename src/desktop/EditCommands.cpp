#include "desktop/EditCommands.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <optional>

namespace miravel::desktop {

namespace {

bool clipboardHasText() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data != nullptr && data->hasText();
}

// Enabled state and action for a one-line field. Delete takes the selection only: the Delete
// key itself goes to the field and removes the character after the cursor.
bool lineEdit(QLineEdit& field, EditCommand command, bool run) {
    const bool writable = !field.isReadOnly();
    // A password's text is never copied out of its field.
    const bool readable = field.echoMode() == QLineEdit::Normal;
    switch (command) {
        case EditCommand::Undo:
            if (!writable || !field.isUndoAvailable()) {
                return false;
            }
            if (run) {
                field.undo();
            }
            return true;
        case EditCommand::Redo:
            if (!writable || !field.isRedoAvailable()) {
                return false;
            }
            if (run) {
                field.redo();
            }
            return true;
        case EditCommand::Cut:
            if (!writable || !readable || !field.hasSelectedText()) {
                return false;
            }
            if (run) {
                field.cut();
            }
            return true;
        case EditCommand::Copy:
            if (!readable || !field.hasSelectedText()) {
                return false;
            }
            if (run) {
                field.copy();
            }
            return true;
        case EditCommand::Paste:
            if (!writable || !clipboardHasText()) {
                return false;
            }
            if (run) {
                field.paste();
            }
            return true;
        case EditCommand::Delete:
            if (!writable || !field.hasSelectedText()) {
                return false;
            }
            if (run) {
                field.del();
            }
            return true;
        case EditCommand::SelectAll:
            if (field.text().isEmpty()) {
                return false;
            }
            if (run) {
                field.selectAll();
            }
            return true;
    }
    return false;
}

// QTextEdit and QPlainTextEdit share these calls without sharing a base class.
template <typename Editor>
bool textEditor(Editor& editor, EditCommand command, bool run) {
    const bool writable = !editor.isReadOnly();
    const bool selected = editor.textCursor().hasSelection();
    QTextDocument* document = editor.document();
    switch (command) {
        case EditCommand::Undo:
            if (!writable || !document->isUndoAvailable()) {
                return false;
            }
            if (run) {
                editor.undo();
            }
            return true;
        case EditCommand::Redo:
            if (!writable || !document->isRedoAvailable()) {
                return false;
            }
            if (run) {
                editor.redo();
            }
            return true;
        case EditCommand::Cut:
            if (!writable || !selected) {
                return false;
            }
            if (run) {
                editor.cut();
            }
            return true;
        case EditCommand::Copy:
            if (!selected) {
                return false;
            }
            if (run) {
                editor.copy();
            }
            return true;
        case EditCommand::Paste:
            if (!writable || !editor.canPaste()) {
                return false;
            }
            if (run) {
                editor.paste();
            }
            return true;
        case EditCommand::Delete:
            if (!writable || !selected) {
                return false;
            }
            if (run) {
                QTextCursor cursor = editor.textCursor();
                cursor.removeSelectedText();
                editor.setTextCursor(cursor);
            }
            return true;
        case EditCommand::SelectAll:
            if (document->isEmpty()) {
                return false;
            }
            if (run) {
                editor.selectAll();
            }
            return true;
    }
    return false;
}

bool itemView(QAbstractItemView& view, EditCommand command, bool run) {
    if (command != EditCommand::SelectAll) {
        return false;
    }
    const auto mode = view.selectionMode();
    if ((mode != QAbstractItemView::ExtendedSelection &&
         mode != QAbstractItemView::MultiSelection) ||
        view.model() == nullptr || view.model()->rowCount(view.rootIndex()) == 0) {
        return false;
    }
    if (run) {
        view.selectAll();
    }
    return true;
}

// The widget's own answer; none when it is not one the routing knows.
std::optional<bool> own(QWidget* widget, EditCommand command, bool run) {
    if (auto* field = qobject_cast<QLineEdit*>(widget)) {
        return lineEdit(*field, command, run);
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->lineEdit()) {
        return lineEdit(*combo->lineEdit(), command, run);
    }
    if (auto* text = qobject_cast<QTextEdit*>(widget)) {
        return textEditor(*text, command, run);
    }
    if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
        return textEditor(*plain, command, run);
    }
    return std::nullopt;
}

bool route(QWidget* focus, EditCommand command, bool run) {
    if (focus == nullptr) {
        return false;
    }
    if (auto answer = own(focus, command, run)) {
        return *answer;
    }
    if (auto* view = qobject_cast<QAbstractItemView*>(focus);
        view && itemView(*view, command, run)) {
        return true;
    }
    for (QWidget* widget = focus; widget != nullptr; widget = widget->parentWidget()) {
        if (auto* target = dynamic_cast<EditCommandTarget*>(widget)) {
            if (target->canRunEditCommand(command)) {
                if (run) {
                    target->runEditCommand(command);
                }
                return true;
            }
        }
        if (widget->isWindow()) {
            break;
        }
    }
    return false;
}

}  // namespace

bool canRunEditCommand(QWidget* focus, EditCommand command) {
    return route(focus, command, false);
}

bool runEditCommand(QWidget* focus, EditCommand command) {
    return route(focus, command, true);
}

}  // namespace miravel::desktop
