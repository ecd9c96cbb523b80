#pragma once

#include <QDialog>
#include <memory>
#include <optional>

#include "lib/Image.h"
#include "lib/JsonValue.h"
#include "library/EditRecipeController.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace miravel::desktop {

class PhotoWell;
class Shell;

// Multi-line fields keep Return for a line break; Tab moves on, and Ctrl+Tab (the desktop
// keeps Alt+Tab for switching windows) inserts a tab character.
void insertTabsOnControlTab(QPlainTextEdit* edit);

// What the Browser pane hands a new recipe: the captured or parsed fields and the picture.
struct BrowserCapture {
    JsonObject data;
    std::optional<Image> image;
};

// The edit sheet: every field of a recipe, the photo well and the categories chooser. Only
// "Done" writes the recipe; a save that fails leaves the sheet open with what was typed.
class EditRecipeDialog : public QDialog, public EditRecipeControllerDelegate {
    Q_OBJECT
public:
    EditRecipeDialog(Shell& shell, std::shared_ptr<Recipe> recipe, QWidget* parent,
                     std::optional<BrowserCapture> capture = std::nullopt);
    ~EditRecipeDialog() override;

    EditRecipeController& controller() { return m_controller; }
    QLineEdit* nameField() const { return m_name; }
    QPlainTextEdit* ingredientsField() const { return m_ingredients; }
    void pressDone();
    void pressCancel();

    void recipeEdited(const std::shared_ptr<Recipe>& recipe) override;
    void closeSheet() override;

signals:
    void saved(const std::shared_ptr<miravel::Recipe>& recipe);

protected:
    void reject() override { pressCancel(); }

private:
    QLineEdit* lineField(const QString& placeholder, const QString& accessibleName);
    QPlainTextEdit* textField(const QString& accessibleName);
    void showFields();
    void readFields();
    void chooseImage();
    void chooseCategories();
    void showCategoryLine();

    Shell& m_shell;
    EditRecipeController m_controller;
    QLineEdit* m_name;
    QSpinBox* m_rating;
    QComboBox* m_difficulty;
    QLineEdit* m_prep;
    QLineEdit* m_cook;
    QLineEdit* m_servings;
    QLineEdit* m_source;
    QLineEdit* m_url;
    QPlainTextEdit* m_ingredients;
    QPlainTextEdit* m_directions;
    QPlainTextEdit* m_notes;
    QPlainTextEdit* m_nutrition;
    QLabel* m_categoryLine;
    PhotoWell* m_well;
    bool m_closing = false;
};

}  // namespace miravel::desktop
