#pragma once

#include <QMainWindow>
#include <memory>

namespace miravel {
class Recipe;
}

namespace miravel::desktop {

class RecipeView;
class Shell;

// A recipe in a window of its own; it closes when the recipe is deleted.
class RecipeWindow : public QMainWindow {
    Q_OBJECT
public:
    RecipeWindow(Shell& shell, const std::shared_ptr<Recipe>& recipe);
    RecipeView& view() { return *m_view; }

private:
    RecipeView* m_view;
};

}  // namespace miravel::desktop
