#include "desktop/RecipesPane.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <chrono>
#include <utility>

#include "desktop/Alerts.h"
#include "desktop/CategoryColumn.h"
#include "desktop/QtText.h"
#include "desktop/RecipeTableModel.h"
#include "desktop/RecipeView.h"
#include "desktop/Sheets.h"
#include "desktop/Shell.h"
#include "lib/StringTable.h"
#include "library/RecipeListColumns.h"
#include "library/RecipeViewController.h"
#include "model/RecipeSearch.h"
#include "planner/MealCreation.h"
#include "rendering/MailHandoff.h"
#include "rendering/MiravelHtml.h"
#include "rendering/RecipeMail.h"

namespace miravel::desktop {

namespace {

// More than a tall window shows: the rest arrives before anyone scrolls that far.
constexpr std::size_t kFirstFetchRows = 100;
constexpr std::chrono::milliseconds kRestAtLatest{300};

}  // namespace

RecipesPane::RecipesPane(Shell& shell, QWidget* parent)
    : QWidget(parent),
      m_shell(shell),
      m_controller(std::make_unique<RecipesController>(shell.context(), this)) {
    setObjectName("recipesPane");
    setAccessibleName(tr("Recipes"));
    // A large library paints its first screen of rows before the whole list is read: the
    // rest is read once the table has drawn them (or soon after, should it not be drawn).
    m_controller->setFirstFetchBatch(kFirstFetchRows, [this](std::function<void()> rest) {
        m_afterFirstPaint = std::move(rest);
        QTimer::singleShot(kRestAtLatest, this, &RecipesPane::fetchRest);
    });
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(this);
    layout->addWidget(splitter);

    auto* column = new QWidget(splitter);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(0);
    m_categories = new CategoryColumn(
        shell.context(), shell.settings(), *m_controller,
        [this](const QByteArray& rows) { return recipesOfDrag(rows); }, column);
    columnLayout->addWidget(m_categories, 1);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 4, 4, 4);
    auto* add = new QToolButton(column);
    add->setText("+");
    add->setAccessibleName(tr("New Category"));
    add->setToolTip(tr("New Category"));
    connect(add, &QToolButton::clicked, m_categories, &CategoryColumn::newCategory);
    m_removeCategory = new QToolButton(column);
    m_removeCategory->setText("−");
    m_removeCategory->setAccessibleName(tr("Delete Category"));
    m_removeCategory->setToolTip(tr("Delete Category"));
    m_removeCategory->setEnabled(false);
    connect(m_removeCategory, &QToolButton::clicked, m_categories, &CategoryColumn::deleteSelected);
    connect(m_categories, &CategoryColumn::removeEnabledChanged, m_removeCategory,
            &QToolButton::setEnabled);
    buttons->addWidget(add);
    buttons->addWidget(m_removeCategory);
    buttons->addStretch();
    columnLayout->addLayout(buttons);
    splitter->addWidget(column);

    m_stack = new QStackedWidget(splitter);
    m_stack->addWidget(makeListPage());
    m_view = new RecipeView(shell, false, m_stack);
    connect(m_view, &RecipeView::backToList, this, &RecipesPane::showList);
    m_stack->addWidget(m_view);
    splitter->addWidget(m_stack);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 800});
}

bool RecipesPane::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && m_afterFirstPaint && watched == m_table->viewport()) {
        // After this paint has reached the screen, not inside it.
        QTimer::singleShot(0, this, &RecipesPane::fetchRest);
    }
    return QWidget::eventFilter(watched, event);
}

void RecipesPane::fetchRest() {
    if (auto rest = std::exchange(m_afterFirstPaint, {})) {
        rest();
    }
}

RecipesPane::~RecipesPane() {
    m_controller->setDelegate(nullptr);
    // The model observes the controller, and as a child it would outlive it: the members go
    // before the base class deletes the children.
    delete std::exchange(m_model, nullptr);
}

QWidget* RecipesPane::makeListPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 0);
    auto* bar = new QHBoxLayout;
    m_search = new QLineEdit(page);
    m_search->setObjectName("searchField");
    m_search->setAccessibleName(tr("Search"));
    m_search->setClearButtonEnabled(true);
    m_search->setPlaceholderText(qs(recipeSearchPlaceholder(kSearchByName)));
    auto* scope = new QMenu(m_search);
    auto* group = new QActionGroup(scope);
    for (const char* context : {kSearchByName, kSearchByIngredient, kSearchBySource}) {
        auto* action = scope->addAction(qs(miravel::tr(context)));
        action->setCheckable(true);
        action->setChecked(context == std::string_view(m_controller->searchContext()));
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, context] { m_controller->changeSearchContext(context); });
    }
    auto* scopeAction =
        m_search->addAction(QIcon::fromTheme("edit-find"), QLineEdit::LeadingPosition);
    scopeAction->setToolTip(tr("Search scope"));
    connect(scopeAction, &QAction::triggered, this,
            [this, scope] { scope->exec(m_search->mapToGlobal(QPoint(0, m_search->height()))); });
    connect(m_search, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_controller->search(ss(text)); });
    bar->addWidget(m_search, 1);
    m_count = new QLabel(page);
    m_count->setObjectName("recipeCount");
    bar->addWidget(m_count);
    layout->addLayout(bar);

    m_model = new RecipeTableModel(*m_controller, this);
    connect(m_model, &RecipeTableModel::saveFailed, this, [this](const QString& description) {
        presentDatabaseError(this, Error{"miravel.recipes", 0, ss(description), {}});
    });
    m_table = new QTableView(page);
    m_table->setObjectName("recipeTable");
    m_table->setAccessibleName(tr("Recipes"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setDragEnabled(true);
    m_table->setDragDropMode(QAbstractItemView::DragOnly);
    m_table->setAlternatingRowColors(true);
    m_table->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(24);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->horizontalHeader()->setSectionsClickable(true);
    m_table->horizontalHeader()->setStretchLastSection(false);
    const auto& columns = recipeListColumns();
    // The columns' own widths, but never narrower than their titles (with the sort arrow).
    const QFontMetrics metrics(m_table->horizontalHeader()->font());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int title = metrics.horizontalAdvance(qs(miravel::tr(columns[i].header))) + 30;
        const int own = columns[i].width > 0 ? static_cast<int>(columns[i].width) : 80;
        m_table->setColumnWidth(static_cast<int>(i), std::max(own, title));
    }
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    connect(m_table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) { m_model->sort(column, order); });
    connect(m_table, &QTableView::customContextMenuRequested, this, &RecipesPane::showContextMenu);
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        clickRow(index.row());
        m_controller->openRecipe();
    });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RecipesPane::syncSelection);
    // Return opens the current row, as the menus do; Delete is the Edit menu's
    // (runEditCommand below).
    auto* open =
        new QShortcut(QKeySequence(Qt::Key_Return), m_table, nullptr, nullptr, Qt::WidgetShortcut);
    connect(open, &QShortcut::activated, this, [this] { run(Command::Open); });
    layout->addWidget(m_table, 1);
    m_table->viewport()->installEventFilter(this);
    setTabOrder(m_search, m_table);
    return page;
}

void RecipesPane::start() {
    m_categories->controller().start();
}

bool RecipesPane::showsRecipe() const {
    return m_stack->currentWidget() == m_view;
}

void RecipesPane::showList() {
    m_view->setRecipe(nullptr);
    m_stack->setCurrentIndex(0);
    m_table->setFocus();
}

bool RecipesPane::canRunEditCommand(EditCommand command) const {
    if (command != EditCommand::Delete) {
        return false;
    }
    if (m_table->hasFocus() && !showsRecipe()) {
        return m_table->selectionModel()->hasSelection();
    }
    return m_categories->hasFocus() && m_removeCategory->isEnabled();
}

void RecipesPane::runEditCommand(EditCommand command) {
    if (!canRunEditCommand(command)) {
        return;
    }
    if (m_categories->hasFocus()) {
        m_categories->deleteSelected();
    } else {
        deleteSelected();
    }
}

void RecipesPane::focusSearch() {
    showList();
    m_search->setFocus();
    m_search->selectAll();
}

void RecipesPane::syncSelection() {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    std::sort(rows.begin(), rows.end());
    m_controller->setSelectedRows(rows);
    auto current = m_table->currentIndex();
    m_controller->setClickedRow(current.isValid() ? std::optional<std::size_t>(current.row())
                                                  : std::nullopt);
}

void RecipesPane::clickRow(int row) {
    m_clickedRow = row;
    syncSelection();
    m_controller->setClickedRow(row >= 0 ? std::optional<std::size_t>(row) : std::nullopt);
}

void RecipesPane::run(Command command) {
    if (showsRecipe()) {
        RecipeViewController& shown = m_view->controller();
        switch (command) {
            case Command::Open:
                break;
            case Command::OpenInNewWindow:
                shown.openRecipeInNewWindow();
                break;
            case Command::Favorite:
                if (auto saved = shown.changeFavorites(!shown.values().onFavorites); !saved) {
                    presentDatabaseError(this, saved.error());
                }
                break;
            case Command::AddToGroceryList:
                shown.addToGroceryList();
                break;
            case Command::AddToMealPlan:
                shown.addToMealPlan();
                break;
            case Command::Scale:
                shown.scaleRecipe();
                break;
            case Command::ViewSource:
                shown.viewSourceUrl();
                break;
        }
        return;
    }
    clickRow(m_table->currentIndex().row());
    switch (command) {
        case Command::Open:
            m_controller->openRecipe();
            break;
        case Command::OpenInNewWindow:
            m_controller->openRecipeInNewWindow();
            break;
        case Command::Favorite: {
            auto state = m_controller->validateMenuItem(RecipeMenu::Context, kMenuFavorites);
            if (auto saved = m_controller->toggleFavorites(state.checked); !saved) {
                presentDatabaseError(this, saved.error());
            }
            break;
        }
        case Command::AddToGroceryList:
            m_controller->addToGroceryList();
            break;
        case Command::AddToMealPlan:
            addClickedToMealPlan();
            break;
        case Command::Scale:
        case Command::ViewSource:
            // Both need the recipe open: open it, the command follows on the view.
            m_controller->openRecipe();
            if (showsRecipe()) {
                run(command);
            }
            break;
    }
}

void RecipesPane::deleteSelected() {
    syncSelection();
    if (auto deleted = m_controller->deleteRecipe(false); !deleted) {
        presentDatabaseError(this, deleted.error());
    }
}

void RecipesPane::showContextMenu(const QPoint& position) {
    clickRow(m_table->indexAt(position).row());
    QMenu menu(this);
    auto item = [&](const char* title, auto&& run) {
        auto* action = menu.addAction(qs(miravel::tr(title)), this, run);
        MenuItemState state = m_controller->validateMenuItem(RecipeMenu::Context, title);
        action->setEnabled(state.enabled);
        if (title == std::string_view(kMenuFavorites)) {
            action->setCheckable(true);
            action->setChecked(state.checked);
        }
        return action;
    };
    item(kMenuNewRecipe, [this] { m_controller->newRecipe(); });
    menu.addSeparator();
    item(kMenuOpen, [this] { m_controller->openRecipe(); });
    item(kMenuOpenInNewWindow, [this] { m_controller->openRecipeInNewWindow(); });
    item(kMenuEdit, [this] { m_controller->editRecipe(); });
    item(kMenuDelete, [this] {
        if (auto deleted = m_controller->deleteRecipe(true); !deleted) {
            presentDatabaseError(this, deleted.error());
        }
    });
    menu.addSeparator();
    item(kMenuAddToGroceryList, [this] { m_controller->addToGroceryList(); });
    item(kMenuAddToMealPlan, [this] { addClickedToMealPlan(); });
    menu.addSeparator();
    item(kMenuPrint, [this] { m_controller->printRecipe(); });
    item(kMenuEmail, [this] { m_controller->emailRecipe(); });
    menu.addSeparator();
    auto* favorite = item(kMenuFavorites, [] {});
    connect(favorite, &QAction::triggered, this, [this](bool nowChecked) {
        if (auto saved = m_controller->toggleFavorites(!nowChecked); !saved) {
            presentDatabaseError(this, saved.error());
        }
    });
    menu.exec(m_table->viewport()->mapToGlobal(position));
}

std::vector<std::shared_ptr<Recipe>> RecipesPane::recipesOfDrag(const QByteArray& rows) const {
    std::vector<std::shared_ptr<Recipe>> recipes;
    for (const QByteArray& row : rows.split(',')) {
        bool ok = false;
        int index = row.toInt(&ok);
        if (auto recipe = ok ? m_model->recipeAt(index) : nullptr) {
            recipes.push_back(std::move(recipe));
        }
    }
    return recipes;
}

void RecipesPane::reloadRecipes() {
    m_model->reload();
}

void RecipesPane::showRecipeCount(const std::string& text, bool) {
    m_count->setText(qs(text));
}

void RecipesPane::setSearchFieldText(const std::string& text) {
    m_search->setText(qs(text));
}

void RecipesPane::setSearchPlaceholder(const std::string& text) {
    m_search->setPlaceholderText(qs(text));
}

void RecipesPane::clearSelection() {
    m_table->clearSelection();
}

bool RecipesPane::confirmDeletion(const std::string& message) {
    return desktop::confirmDeletion(this, qs(message));
}

void RecipesPane::showNotice(const std::string& text) {
    m_shell.showNotice(text, this);
}

void RecipesPane::chooseIngredients(const std::vector<std::shared_ptr<Recipe>>& recipes,
                                    ManagedObjectContext& context, std::function<void(bool)> done) {
    desktop::chooseIngredients(this, context, recipes, m_shell.settings(), done);
}

void RecipesPane::addClickedToMealPlan() {
    auto recipe = m_model->recipeAt(m_clickedRow);
    if (!recipe) {
        return;
    }
    if (auto chosen = chooseMealDateAndType(this)) {
        auto made = createMealWithType(m_shell.context(), chosen->first, chosen->second, recipe);
        if (!made) {
            presentDatabaseError(this, made.error());
            return;
        }
        showNotice(kNoticeAddedToMealPlan);
    }
}

void RecipesPane::emailRecipe(const std::shared_ptr<Recipe>& recipe) {
    if (!miravel::emailRecipe(*recipe, m_shell.mail(), m_shell.mailFolder(),
                              [](const Recipe& r) { return r.emailAttachment(); })) {
        presentAlert(this, {QMessageBox::Warning,
                            qs(miravel::tr("The mail program could not be opened.")),
                            {},
                            {qs(miravel::tr("OK"))}});
    }
}

void RecipesPane::printRecipe(const std::shared_ptr<Recipe>& recipe) {
    m_shell.printer().printHtml(MiravelHtml::printForRecipe(*recipe));
}

void RecipesPane::openRecipe(const std::shared_ptr<Recipe>& recipe) {
    m_view->setRecipe(recipe);
    m_stack->setCurrentWidget(m_view);
}

void RecipesPane::openRecipeInNewWindow(const std::shared_ptr<Recipe>& recipe) {
    m_shell.openRecipeWindow(recipe);
}

void RecipesPane::editRecipe(const std::shared_ptr<Recipe>& recipe) {
    m_shell.editRecipe(recipe, window());
}

void RecipesPane::newRecipe() {
    m_shell.editRecipe(nullptr, window());
}

}  // namespace miravel::desktop
