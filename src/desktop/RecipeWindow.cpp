#include "desktop/RecipeWindow.h"

#include <QKeySequence>
#include <QMenuBar>

#include "desktop/RecipeView.h"

namespace miravel::desktop {

RecipeWindow::RecipeWindow(Shell& shell, const std::shared_ptr<Recipe>& recipe)
    : m_view(new RecipeView(shell, true, this)) {
    setObjectName("recipeWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setCentralWidget(m_view);
    auto* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Print…"), QKeySequence::Print, m_view, &RecipeView::printRecipe);
    file->addAction(tr("&Email"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M), m_view,
                    &RecipeView::emailRecipe);
    file->addSeparator();
    file->addAction(tr("&Close Window"), QKeySequence::Close, this, &QWidget::close);
    connect(m_view, &RecipeView::windowShouldClose, this, &QWidget::close);
    resize(720, 760);
    m_view->setRecipe(recipe);
}

}  // namespace miravel::desktop
