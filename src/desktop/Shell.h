#pragma once

#include <filesystem>
#include <memory>
#include <string>

class QWidget;

namespace miravel {
class ApplicationHooks;
class Library;
class MailHandoff;
class ManagedObjectContext;
class PrintHandoff;
class Recipe;
class UserSettings;
}  // namespace miravel

namespace miravel::desktop {

// What the panes and windows need of the running application: the library and its
// settings, the print and mail hand-offs, and the windows they open.
class Shell {
public:
    virtual ~Shell() = default;
    virtual Library& library() = 0;
    virtual ManagedObjectContext& context() = 0;
    virtual UserSettings& settings() = 0;
    virtual ApplicationHooks& hooks() = 0;
    virtual MailHandoff& mail() = 0;
    // This user's private folder for a recipe e-mail's attachments.
    virtual const std::filesystem::path& mailFolder() = 0;
    virtual PrintHandoff& printer() = 0;
    // Opens the recipe's own window, or brings it to the front.
    virtual void openRecipeWindow(const std::shared_ptr<Recipe>& recipe) = 0;
    // The edit sheet over `parent`; no recipe makes a new one.
    virtual void editRecipe(const std::shared_ptr<Recipe>& recipe, QWidget* parent) = 0;
    virtual void showInBrowser(const std::string& url) = 0;
    virtual void showNotice(const std::string& text, QWidget* over) = 0;
};

}  // namespace miravel::desktop
