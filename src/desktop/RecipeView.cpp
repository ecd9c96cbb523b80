#include "desktop/RecipeView.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "desktop/Alerts.h"
#include "desktop/QtText.h"
#include "desktop/Sheets.h"
#include "desktop/Shell.h"
#include "lib/MainQueue.h"
#include "lib/StringTable.h"
#include "model/Library.h"
#include "rendering/MiravelHtml.h"

namespace miravel::desktop {

RecipeView::RecipeView(Shell& shell, bool windowMode, QWidget* parent)
    : QWidget(parent),
      m_shell(shell),
      m_controller(shell.context(), shell.library().mainQueue(), shell.settings(), windowMode) {
    setObjectName("recipeView");
    m_controller.setDelegate(this);
    m_controller.setMailHandoff(&shell.mail(), shell.mailFolder());
    m_controller.setPrintHandoff(&shell.printer());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_buttons = new QWidget(this);
    auto* row = new QHBoxLayout(m_buttons);
    row->setContentsMargins(6, 4, 6, 4);
    if (!windowMode) {
        connect(addButton(tr("Back"), "go-previous"), &QToolButton::clicked, this,
                [this] { m_controller.goBack(); });
    }
    m_favorite = addButton(tr("Favorite"), "emblem-favorite");
    m_favorite->setCheckable(true);
    connect(m_favorite, &QToolButton::clicked, this, [this](bool checked) {
        if (auto saved = m_controller.changeFavorites(checked); !saved) {
            presentDatabaseError(this, saved.error());
        }
    });
    connect(addButton(tr("Add to Grocery List"), "list-add"), &QToolButton::clicked, this,
            [this] { m_controller.addToGroceryList(); });
    connect(addButton(tr("Add to Meals"), "x-office-calendar"), &QToolButton::clicked, this,
            [this] { m_controller.addToMealPlan(); });
    connect(addButton(tr("Scale"), "zoom-in"), &QToolButton::clicked, this,
            [this] { m_controller.scaleRecipe(); });
    connect(addButton(tr("View Source"), "applications-internet"), &QToolButton::clicked, this,
            [this] { m_controller.viewSourceUrl(); });
    connect(addButton(tr("Edit"), "document-edit"), &QToolButton::clicked, this,
            [this] { m_controller.editPressed(); });
    connect(addButton(tr("Delete"), "edit-delete"), &QToolButton::clicked, this, [this] {
        if (auto deleted = m_controller.deletePressed(); !deleted) {
            presentDatabaseError(this, deleted.error());
        }
    });
    if (!windowMode) {
        connect(addButton(tr("Open in New Window"), "window-new"), &QToolButton::clicked, this,
                [this] { m_controller.openRecipeInNewWindow(); });
    }
    connect(addButton(tr("Email"), "mail-send"), &QToolButton::clicked, this,
            &RecipeView::emailRecipe);
    connect(addButton(tr("Print"), "document-print"), &QToolButton::clicked, this,
            &RecipeView::printRecipe);
    row->addStretch();
    layout->addWidget(m_buttons);

    m_scalePanel = new QFrame(this);
    m_scalePanel->setObjectName("scalePanel");
    m_scalePanel->setFrameShape(QFrame::StyledPanel);
    auto* scale = new QHBoxLayout(m_scalePanel);
    scale->addWidget(new QLabel(qs(IngredientScaleController::promptLabel()), m_scalePanel));
    m_whole = new QSpinBox(m_scalePanel);
    m_whole->setRange(0, 99);
    m_whole->setAccessibleName(tr("Whole number"));
    scale->addWidget(m_whole);
    m_fraction = new QComboBox(m_scalePanel);
    m_fraction->setAccessibleName(tr("Fraction"));
    for (const auto& title : IngredientScaleController::fractionItemTitles()) {
        m_fraction->addItem(qs(title));
    }
    scale->addWidget(m_fraction);
    auto* cancel = new QPushButton(qs(IngredientScaleController::cancelButtonTitle()), this);
    m_scaleDone = new QPushButton(qs(IngredientScaleController::doneButtonTitle()), this);
    scale->addWidget(cancel);
    scale->addWidget(m_scaleDone);
    scale->addStretch();
    connect(cancel, &QPushButton::clicked, this,
            [this] { m_controller.scalePanel().cancelPressed(); });
    connect(m_scaleDone, &QPushButton::clicked, this, [this] {
        auto& panel = m_controller.scalePanel();
        panel.setWholeNumber(m_whole->value());
        panel.setSelectedFraction(
            static_cast<std::size_t>(std::max(0, m_fraction->currentIndex())));
        panel.savePressed();
        if (const auto& failed = m_controller.scaleSaveError()) {
            presentDatabaseError(this, *failed);
        }
    });
    m_scalePanel->hide();
    layout->addWidget(m_scalePanel);

    m_text = new QTextBrowser(this);
    m_text->setObjectName("recipeText");
    m_text->setAccessibleName(tr("Recipe"));
    m_text->setOpenLinks(false);
    m_text->document()->setDocumentMargin(14);
    connect(m_text, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& url) { m_shell.showInBrowser(ss(url.toString())); });
    layout->addWidget(m_text, 1);
}

RecipeView::~RecipeView() {
    m_controller.setDelegate(nullptr);
}

QToolButton* RecipeView::addButton(const QString& title, const QString& icon) {
    auto* button = new QToolButton(m_buttons);
    button->setText(title);
    button->setAccessibleName(title);
    button->setIcon(QIcon::fromTheme(icon));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    m_buttons->layout()->addWidget(button);
    return button;
}

void RecipeView::setRecipe(std::shared_ptr<Recipe> recipe) {
    m_scalePanel->hide();
    m_controller.setRecipe(std::move(recipe));
}

QString RecipeView::html(const RecipeViewValues& values) {
    auto escaped = [](const std::string& text) { return qs(MiravelHtml::escapeHtml(text)); };
    auto paragraphs = [](const std::string& text) { return qs(MiravelHtml::htmlForText(text)); };
    const int size = values.fontSize > 0 ? values.fontSize : 12;
    QString page = QString(
                       "<div style=\"font-family:'%1', 'DejaVu Sans', sans-serif; "
                       "font-size:%2pt; color:%3;\">")
                       .arg(qs(values.fontName))
                       .arg(size)
                       .arg(qs(values.textColour));
    // Headings scale with the chosen size; a heading tag would keep a size of its own.
    const QString heading =
        QString(
            "<p style=\"font-size:%1pt; font-weight:bold; color:#8a3b12; margin-top:14px; "
            "margin-bottom:4px\">")
            .arg(size * 6 / 5);
    page += "<table width=\"100%\"><tr><td valign=\"top\">";
    page += QString("<p style=\"font-size:%1pt; font-weight:bold; margin:0\">").arg(size * 8 / 5) +
            escaped(values.name) + "</p>";
    page += "<p style=\"color:#c8a000; font-size:16pt; margin:2px 0\">" +
            QString(values.stars, QChar(0x2605)) + QString(5 - values.stars, QChar(0x2606)) +
            "</p>";
    if (!values.categories.empty()) {
        page += "<p style=\"color:#777\">" + escaped(values.categories) + "</p>";
    }
    page += "<table cellspacing=\"0\" cellpadding=\"3\">";
    const std::pair<const char*, std::string> facts[] = {{"Servings", values.servings},
                                                         {"Prep Time", values.prepTime},
                                                         {"Cook Time", values.cookTime},
                                                         {"Difficulty", values.difficulty}};
    for (const auto& [label, value] : facts) {
        page += "<tr><td><b>" + qs(miravel::tr(label)) + "</b></td><td>" + escaped(value) +
                "</td></tr>";
    }
    page += "<tr><td><b>" + qs(miravel::tr("Source")) + "</b></td><td>";
    if (values.sourceUrl) {
        page += "<a href=\"" + escaped(*values.sourceUrl) + "\">" + escaped(values.sourceLabel) +
                "</a>";
    } else {
        page += escaped(values.sourceLabel);
    }
    page += "</td></tr></table></td>";
    if (values.photo) {
        page += "<td align=\"right\" valign=\"top\" width=\"210\"><img width=\"200\" src=\"" +
                QUrl::fromLocalFile(qpath(*values.photo)).toString().toHtmlEscaped() + "\"/></td>";
    }
    page += "</tr></table>";
    const std::pair<const char*, const std::string*> sections[] = {
        {"Ingredients", &values.ingredients},
        {"Directions", &values.directions},
        {"Notes", &values.notes},
        {"Nutritional Info", &values.nutritionalInfo}};
    for (const auto& [title, text] : sections) {
        if (MiravelHtml::notEmpty(*text)) {
            page += heading + qs(miravel::tr(title)) + "</p>" + paragraphs(*text);
        }
    }
    return page + "</div>";
}

void RecipeView::showRecipeValues(const RecipeViewValues& values) {
    m_favorite->setChecked(values.onFavorites);
    // A checked tool button looks much like an unchecked one in several styles.
    m_favorite->setText((values.onFavorites ? QString::fromUtf8("♥ ") : QString::fromUtf8("♡ ")) +
                        tr("Favorite"));
    m_text->setHtml(html(values));
    window()->setWindowTitle(qs(values.name));
}

void RecipeView::showNotice(const std::string& text) {
    m_shell.showNotice(text, this);
}

void RecipeView::chooseIngredients(const std::shared_ptr<Recipe>& recipe,
                                   ManagedObjectContext& context, std::function<void(bool)> done) {
    desktop::chooseIngredients(this, context, {recipe}, m_shell.settings(), done);
}

void RecipeView::chooseMealDateAndType(const std::shared_ptr<Recipe>&) {
    if (auto chosen = desktop::chooseMealDateAndType(this)) {
        if (auto made = m_controller.createMealWithType(chosen->first, chosen->second); !made) {
            presentDatabaseError(this, made.error());
        }
    }
}

void RecipeView::showScalePanel(IngredientScaleController& panel) {
    m_whole->setValue(panel.wholeNumber());
    m_fraction->setCurrentIndex(static_cast<int>(panel.selectedFraction().value_or(0)));
    m_scalePanel->show();
    m_whole->setFocus();
}

void RecipeView::closeScalePanel() {
    m_scalePanel->hide();
}

void RecipeView::showInBrowser(const std::string& url) {
    m_shell.showInBrowser(url);
}

void RecipeView::editRecipe(const std::shared_ptr<Recipe>& recipe, bool) {
    m_shell.editRecipe(recipe, window());
}

bool RecipeView::confirmDeletion(const std::string& message) {
    return desktop::confirmDeletion(this, qs(message), true);
}

void RecipeView::openRecipeInNewWindow(const std::shared_ptr<Recipe>& recipe) {
    m_shell.openRecipeWindow(recipe);
}

void RecipeView::goBackToList() {
    emit backToList();
}

void RecipeView::closeWindow() {
    emit windowShouldClose();
}

void RecipeView::printRecipe() {
    m_controller.printPressed();
}

void RecipeView::emailRecipe() {
    if (!m_controller.emailPressed()) {
        presentAlert(this, {QMessageBox::Warning,
                            qs(miravel::tr("The mail program could not be opened.")),
                            {},
                            {qs(miravel::tr("OK"))}});
    }
}

}  // namespace miravel::desktop
