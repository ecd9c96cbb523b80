#pragma once

#include <QWidget>
#include <memory>

#include "library/RecipeViewController.h"

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QSpinBox;
class QTextBrowser;
class QToolButton;

namespace miravel::desktop {

class Shell;

// One recipe: its texts in the "FontSize" size, photo, stars and favourite toggle, the scale
// panel and the actions. Inside the main window (Back returns to the list) or as the content
// of a recipe window.
class RecipeView : public QWidget, public RecipeViewControllerDelegate {
    Q_OBJECT
public:
    RecipeView(Shell& shell, bool windowMode, QWidget* parent = nullptr);
    ~RecipeView() override;

    void setRecipe(std::shared_ptr<Recipe> recipe);
    RecipeViewController& controller() { return m_controller; }
    QTextBrowser* browser() const { return m_text; }
    QFrame* scalePanelWidget() const { return m_scalePanel; }
    QSpinBox* scaleWholeNumber() const { return m_whole; }
    QComboBox* scaleFraction() const { return m_fraction; }
    QPushButton* scaleDoneButton() const { return m_scaleDone; }

    void showRecipeValues(const RecipeViewValues& values) override;
    void showNotice(const std::string& text) override;
    void chooseIngredients(const std::shared_ptr<Recipe>& recipe, ManagedObjectContext& context,
                           std::function<void(bool)> done) override;
    void chooseMealDateAndType(const std::shared_ptr<Recipe>& recipe) override;
    void showScalePanel(IngredientScaleController& panel) override;
    void closeScalePanel() override;
    void showInBrowser(const std::string& url) override;
    void editRecipe(const std::shared_ptr<Recipe>& recipe, bool onOwnWindow) override;
    bool confirmDeletion(const std::string& message) override;
    void openRecipeInNewWindow(const std::shared_ptr<Recipe>& recipe) override;
    void goBackToList() override;
    void closeWindow() override;

    void printRecipe();
    void emailRecipe();

signals:
    void backToList();
    void windowShouldClose();

private:
    QToolButton* addButton(const QString& title, const QString& icon);
    static QString html(const RecipeViewValues& values);

    Shell& m_shell;
    RecipeViewController m_controller;
    QTextBrowser* m_text;
    QToolButton* m_favorite;
    QFrame* m_scalePanel;
    QSpinBox* m_whole;
    QComboBox* m_fraction;
    QPushButton* m_scaleDone;
    QWidget* m_buttons;
};

}  // namespace miravel::desktop
