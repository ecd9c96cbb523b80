#pragma once

class QWidget;

namespace miravel::desktop {

// The Edit menu's text and selection commands. They act on the widget that has the keyboard
// focus, as in every desktop program: a text field edits its text, a list selects its rows,
// and a pane that owns the focused list takes what only it can do (deleting its rows).
enum class EditCommand { Undo, Redo, Cut, Copy, Paste, Delete, SelectAll };

// A widget (a pane) that takes Edit commands for the lists inside it. The routing asks the
// focused widget first, then its parents, nearest first.
class EditCommandTarget {
public:
    virtual ~EditCommandTarget() = default;
    virtual bool canRunEditCommand(EditCommand command) const = 0;
    virtual void runEditCommand(EditCommand command) = 0;
};

// Whether the command would do anything for `focus` (the menu item's enabled state).
bool canRunEditCommand(QWidget* focus, EditCommand command);
// Runs it; false when nothing took it.
bool runEditCommand(QWidget* focus, EditCommand command);

}  // namespace miravel::desktop
