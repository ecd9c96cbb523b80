#include "library/RecipeViewController.h"

#include <algorithm>

#include "lib/MainQueue.h"
#include "library/RecipeTrash.h"
#include "model/Recipe.h"
#include "planner/MealCreation.h"
#include "rendering/MailHandoff.h"
#include "rendering/MiravelHtml.h"
#include "rendering/RecipeMail.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

RecipeViewController::RecipeViewController(ManagedObjectContext& context, MainQueue& queue,
                                           const UserSettings& settings, bool windowMode)
    : m_context(context),
      m_queue(queue),
      m_settings(settings),
      m_windowMode(windowMode),
      m_alive(std::make_shared<RecipeViewController*>(this)) {
    m_scalePanel.setDelegate(this);
    NotificationCenter& center = context.notificationCenter();
    m_changes = center.addObserver(kObjectsDidChangeNotification, &context,
                                   [this](const Notification& note) { objectsDidChange(note); });
    // Texts are laid out anew at once: the user is looking at the size they just chose.
    m_fontSize = center.addObserver(kSettingsFontSizeChangedNotification, nullptr,
                                    [this](const Notification&) {
                                        if (m_recipe) {
                                            updateRecipeValues();
                                        }
                                    });
}

RecipeViewController::~RecipeViewController() {
    *m_alive = nullptr;
    m_scalePanel.setDelegate(nullptr);
}

void RecipeViewController::setMailHandoff(MailHandoff* mail, std::filesystem::path folder) {
    m_mail = mail;
    m_mailFolder = std::move(folder);
}

void RecipeViewController::setRecipe(std::shared_ptr<Recipe> recipe) {
    m_deletion.reset();
    m_recipe = std::move(recipe);
    if (!m_recipe) {
        return;
    }
    m_observed = ObservedRecipeState::of(*m_recipe);
    m_deletion = m_context.notificationCenter().addObserver(
        kRecipeWillBeDeletedNotification, static_cast<const void*>(m_recipe.get()),
        [this](const Notification&) { recipeWillBeDeleted(); });
    updateRecipeValues();
}

void RecipeViewController::updateRecipeValues() {
    if (!m_recipe) {
        return;
    }
    m_values = assignRecipeValues(*m_recipe, m_settings);
    m_scalePanel.setScale(m_values.scale);
    if (m_delegate) {
        m_delegate->showRecipeValues(m_values);
    }
}

void RecipeViewController::objectsDidChange(const Notification& note) {
    if (!m_recipe || m_recipe->isReallyDeleted()) {
        return;
    }
    const auto* changes = std::any_cast<ObjectsDidChange>(&note.userInfo);
    if (!changes) {
        return;
    }
    auto mentions = [&](const std::vector<std::shared_ptr<ManagedObject>>& objects) {
        return std::ranges::any_of(objects, [&](const auto& object) { return object == m_recipe; });
    };
    if (!mentions(changes->updated) && !mentions(changes->refreshed)) {
        return;
    }
    auto now = ObservedRecipeState::of(*m_recipe);
    if (now == m_observed) {
        return;
    }
    m_observed = std::move(now);
    scheduleRefresh();
}

void RecipeViewController::scheduleRefresh() {
    if (m_textNeedsDisplay) {
        return;
    }
    m_textNeedsDisplay = true;
    m_queue.post([alive = m_alive] {
        if (RecipeViewController* self = *alive) {
            self->updateRecipeValues();
            self->m_textNeedsDisplay = false;
        }
    });
}

void RecipeViewController::recipeWillBeDeleted() {
    if (m_groceryListSheetOpen && m_delegate) {
        m_delegate->endGroceryListSheet();
    }
    m_groceryListSheetOpen = false;
    leave();
}

void RecipeViewController::leave() {
    m_deletion.reset();
    m_recipe.reset();
    if (!m_delegate) {
        return;
    }
    if (m_windowMode) {
        m_delegate->closeWindow();
    } else {
        m_delegate->goBackToList();
    }
}

Result<void> RecipeViewController::changeFavorites(bool checked) {
    if (!m_recipe) {
        return {};
    }
    m_recipe->setOnFavorites(checked);
    m_recipe->setModified();
    if (auto saved = m_context.save(); !saved) {
        return saved;
    }
    if (m_delegate) {
        m_delegate->showNotice(checked ? kNoticeAddedToFavorites : kNoticeRemovedFromFavorites);
    }
    return {};
}

void RecipeViewController::addToGroceryList() {
    if (!m_recipe || !m_delegate) {
        return;
    }
    m_groceryListSheetOpen = true;
    m_delegate->chooseIngredients(m_recipe, m_context, [alive = m_alive](bool chosen) {
        RecipeViewController* self = *alive;
        if (!self) {
            return;
        }
        self->m_groceryListSheetOpen = false;
        if (chosen && self->m_delegate) {
            self->m_delegate->showNotice(kNoticeAddedToGroceryList);
        }
    });
}

void RecipeViewController::addToMealPlan() {
    if (m_recipe && m_delegate) {
        m_delegate->chooseMealDateAndType(m_recipe);
    }
}

Result<void> RecipeViewController::createMealWithType(std::int64_t type, Timestamp date) {
    if (!m_recipe) {
        return {};
    }
    auto meal = miravel::createMealWithType(m_context, type, date, m_recipe);
    if (!meal) {
        return std::unexpected(meal.error());
    }
    if (m_delegate) {
        m_delegate->showNotice(kNoticeAddedToMealPlan);
        m_delegate->closeMealPicker();
    }
    return {};
}

void RecipeViewController::scaleRecipe() {
    if (!m_recipe) {
        return;
    }
    m_scalePanel.setScale(m_recipe->scaledFraction());
    if (m_delegate) {
        m_delegate->showScalePanel(m_scalePanel);
    }
}

void RecipeViewController::ingredientScaleControllerDidChangeScale(IngredientScaleController&,
                                                                   const RCRationalNumber& scale) {
    m_scaleSaveError.reset();
    if (m_recipe) {
        // The scale is this device's way of looking at the recipe, not an edit: it is neither
        // marked modified nor synchronized.
        m_recipe->setScaleFraction(scale);
        if (auto saved = m_context.save(); !saved) {
            m_scaleSaveError = saved.error();
        }
        updateRecipeValues();
    }
    if (m_delegate) {
        m_delegate->closeScalePanel();
    }
}

void RecipeViewController::ingredientScaleControllerDismissed(IngredientScaleController&) {
    if (m_delegate) {
        m_delegate->closeScalePanel();
    }
}

void RecipeViewController::viewSourceUrl() {
    if (!m_recipe || !m_delegate) {
        return;
    }
    if (auto url = m_recipe->sourceUrl(); url && !url->empty()) {
        m_delegate->showInBrowser(*url);
    }
}

void RecipeViewController::editPressed() {
    if (m_recipe && m_delegate) {
        m_delegate->editRecipe(m_recipe, m_windowMode);
    }
}

Result<void> RecipeViewController::deletePressed() {
    if (!m_recipe || !m_delegate ||
        !m_delegate->confirmDeletion(recipeDeletionQuestion({m_recipe}))) {
        return {};
    }
    // Held here: the will-be-deleted notification makes the view let go of the recipe.
    auto recipe = m_recipe;
    auto deleted = RecipeTrash(m_context).deleteRecipes({recipe});
    if (m_recipe) {
        leave();
    }
    return deleted;
}

void RecipeViewController::openRecipeInNewWindow() {
    if (!m_recipe || !m_delegate) {
        return;
    }
    m_delegate->openRecipeInNewWindow(m_recipe);
    if (!m_windowMode) {
        m_delegate->goBackToList();
    }
}

bool RecipeViewController::emailPressed() {
    if (!m_recipe || !m_mail) {
        return false;
    }
    return emailRecipe(*m_recipe, *m_mail, m_mailFolder,
                       [](const Recipe& recipe) -> std::optional<std::string> {
                           return recipe.emailAttachment();
                       });
}

void RecipeViewController::printPressed() {
    if (m_recipe && m_printer) {
        m_printer->printHtml(MiravelHtml::printForRecipe(*m_recipe));
    }
}

void RecipeViewController::sharePressed(ShareNetwork network) {
    if (!m_recipe || !m_delegate) {
        return;
    }
    auto url = m_recipe->sourceUrl();
    if (url && url->empty()) {
        url.reset();
    }
    const std::string text = m_recipe->name().value_or("") + "\n" + kSharePromotion;
    m_delegate->share(network, text, url, m_recipe->photoPath());
}

void RecipeViewController::goBack() {
    if (!m_windowMode && m_delegate) {
        m_delegate->goBackToList();
    }
}

}  // namespace miravel
