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

// Whether a command is possible, running it when asked to.
template <typename Action>
bool offer(bool possible, bool run, Action&& action) {
    if (possible && run) {
        action();
    }
    return possible;
}

// Enabled state and action for a one-line field. Delete takes the selection only: the Delete
// key itself goes to the field and removes the character after the cursor.
bool lineEdit(QLineEdit& field, EditCommand command, bool run) {
    const bool writable = !field.isReadOnly();
    // A password's text is never copied out of its field.
    const bool readable = field.echoMode() == QLineEdit::Normal;
    const bool selected = field.hasSelectedText();
    switch (command) {
        case EditCommand::Undo:
            return offer(writable && field.isUndoAvailable(), run, [&] { field.undo(); });
        case EditCommand::Redo:
            return offer(writable && field.isRedoAvailable(), run, [&] { field.redo(); });
        case EditCommand::Cut:
            return offer(writable && readable && selected, run, [&] { field.cut(); });
        case EditCommand::Copy:
            return offer(readable && selected, run, [&] { field.copy(); });
        case EditCommand::Paste:
            return offer(writable && clipboardHasText(), run, [&] { field.paste(); });
        case EditCommand::Delete:
            return offer(writable && selected, run, [&] { field.del(); });
        case EditCommand::SelectAll:
            return offer(!field.text().isEmpty(), run, [&] { field.selectAll(); });
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
            return offer(writable && document->isUndoAvailable(), run, [&] { editor.undo(); });
        case EditCommand::Redo:
            return offer(writable && document->isRedoAvailable(), run, [&] { editor.redo(); });
        case EditCommand::Cut:
            return offer(writable && selected, run, [&] { editor.cut(); });
        case EditCommand::Copy:
            return offer(selected, run, [&] { editor.copy(); });
        case EditCommand::Paste:
            return offer(writable && editor.canPaste(), run, [&] { editor.paste(); });
        case EditCommand::Delete:
            return offer(writable && selected, run, [&] {
                QTextCursor cursor = editor.textCursor();
                cursor.removeSelectedText();
                editor.setTextCursor(cursor);
            });
        case EditCommand::SelectAll:
            return offer(!document->isEmpty(), run, [&] { editor.selectAll(); });
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
    return offer(true, run, [&] { view.selectAll(); });
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
