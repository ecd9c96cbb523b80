#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ingredients/IngredientScaleController.h"
#include "lib/DateText.h"
#include "lib/Error.h"
#include "lib/NotificationCenter.h"
#include "library/RecipeViewModel.h"

namespace miravel {

class MailHandoff;
class MainQueue;
class ManagedObjectContext;
class PrintHandoff;
class Recipe;
class UserSettings;

inline constexpr const char* kDeleteRecipeQuestion = "Are you sure you want to delete this recipe?";
inline constexpr const char* kNoticeAddedToFavorites = "Recipe added to favorites.";
inline constexpr const char* kNoticeRemovedFromFavorites = "Recipe removed from favorites.";
inline constexpr const char* kNoticeAddedToGroceryList = "Recipe added to grocery list.";
inline constexpr const char* kNoticeAddedToMealPlan = "Recipe added to meal plan.";
inline constexpr const char* kSharePromotion = "Shared from Miravel, the recipe manager.";

enum class ShareNetwork { Twitter, Facebook };

// What the recipe view's widgets and windows do; every operation has a harmless default.
class RecipeViewControllerDelegate {
public:
    virtual ~RecipeViewControllerDelegate() = default;
    // Sets every text, the stars, photo, toggle and scale control, and lays the texts out.
    virtual void showRecipeValues(const RecipeViewValues& values) { (void)values; }
    virtual void showNotice(const std::string& text) { (void)text; }
    // The choose-ingredients sheet; `done(true)` when it ends with items chosen.
    // By value: a front end keeps the callback until its sheet ends.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    virtual void chooseIngredients(const std::shared_ptr<Recipe>& recipe,
                                   ManagedObjectContext& context, std::function<void(bool)> done) {
        (void)recipe, (void)context, (void)done;
    }
    virtual void endGroceryListSheet() {}
    // The meal date and type picker; its choice comes back through createMealWithType.
    virtual void chooseMealDateAndType(const std::shared_ptr<Recipe>& recipe) { (void)recipe; }
    virtual void closeMealPicker() {}
    virtual void showScalePanel(IngredientScaleController& panel) { (void)panel; }
    virtual void closeScalePanel() {}
    // Main window to its Browser pane, loading the address, brought to the front.
    virtual void showInBrowser(const std::string& url) { (void)url; }
    // The edit sheet, on the main window or on the recipe's own window.
    virtual void editRecipe(const std::shared_ptr<Recipe>& recipe, bool onOwnWindow) {
        (void)recipe, (void)onOwnWindow;
    }
    // A critical alert with "Delete" and "Cancel"; true for "Delete".
    virtual bool confirmDeletion(const std::string& message) {
        (void)message;
        return false;
    }
    virtual void openRecipeInNewWindow(const std::shared_ptr<Recipe>& recipe) { (void)recipe; }
    virtual void goBackToList() {}
    virtual void closeWindow() {}
    virtual void share(ShareNetwork network, const std::string& text,
                       const std::optional<std::string>& url,
                       const std::optional<std::filesystem::path>& photo) {
        (void)network, (void)text, (void)url, (void)photo;
    }
};

// The view of one recipe, inside the main window or in a window of its own. It follows the
// recipe's changes (the user's and those merged in from sync) and refreshes at most once per
// turn of the main queue.
class RecipeViewController : public IngredientScaleControllerDelegate {
public:
    RecipeViewController(ManagedObjectContext& context, MainQueue& queue,
                         const UserSettings& settings, bool windowMode);
    ~RecipeViewController() override;
    RecipeViewController(const RecipeViewController&) = delete;
    RecipeViewController& operator=(const RecipeViewController&) = delete;

    // Not owned; each must outlive the controller or be reset first.
    void setDelegate(RecipeViewControllerDelegate* delegate) { m_delegate = delegate; }
    // `temporaryFolder` receives the e-mail's attachments: one of this user's own, made by
    // makePrivateTemporaryFolder, never a shared or predictable one.
    void setMailHandoff(MailHandoff* mail, std::filesystem::path temporaryFolder);
    void setPrintHandoff(PrintHandoff* printer) { m_printer = printer; }

    void setRecipe(std::shared_ptr<Recipe> recipe);
    const std::shared_ptr<Recipe>& recipe() const { return m_recipe; }
    bool windowMode() const { return m_windowMode; }
    bool textNeedsDisplay() const { return m_textNeedsDisplay; }
    // Shows every value again, scale control included.
    void updateRecipeValues();
    const RecipeViewValues& values() const { return m_values; }

    [[nodiscard]] Result<void> changeFavorites(bool checked);
    void addToGroceryList();
    void addToMealPlan();
    [[nodiscard]] Result<void> createMealWithType(std::int64_t type, Timestamp date);
    void scaleRecipe();
    IngredientScaleController& scalePanel() { return m_scalePanel; }
    void ingredientScaleControllerDidChangeScale(IngredientScaleController& controller,
                                                 const RCRationalNumber& scale) override;
    void ingredientScaleControllerDismissed(IngredientScaleController& controller) override;
    // The last scale save's failure, if any: the panel's delegate call cannot return it.
    const std::optional<Error>& scaleSaveError() const { return m_scaleSaveError; }
    void viewSourceUrl();
    void editPressed();
    [[nodiscard]] Result<void> deletePressed();
    void openRecipeInNewWindow();
    // False when there is no mail hand-off or the mail program could not be reached.
    bool emailPressed();
    void printPressed();
    void sharePressed(ShareNetwork network);
    void goBack();

private:
    void objectsDidChange(const Notification& note);
    void recipeWillBeDeleted();
    void scheduleRefresh();
    void leave();

    ManagedObjectContext& m_context;
    MainQueue& m_queue;
    const UserSettings& m_settings;
    bool m_windowMode;
    RecipeViewControllerDelegate* m_delegate = nullptr;
    MailHandoff* m_mail = nullptr;
    std::filesystem::path m_mailFolder;
    PrintHandoff* m_printer = nullptr;
    std::shared_ptr<Recipe> m_recipe;
    ObservedRecipeState m_observed;
    RecipeViewValues m_values;
    bool m_textNeedsDisplay = false;
    bool m_groceryListSheetOpen = false;
    IngredientScaleController m_scalePanel;
    std::optional<Error> m_scaleSaveError;
    Observation m_changes;
    Observation m_deletion;
    Observation m_fontSize;
    // Lets a refresh posted to the queue see whether the controller still exists.
    std::shared_ptr<RecipeViewController*> m_alive;
};

}  // namespace miravel
