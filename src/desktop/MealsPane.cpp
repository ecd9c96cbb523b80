#include "desktop/MealsPane.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>

#include "desktop/Alerts.h"
#include "desktop/QtText.h"
#include "desktop/RecipeTableModel.h"
#include "desktop/Sheets.h"
#include "desktop/Shell.h"
#include "lib/NotificationCenter.h"
#include "lib/StringTable.h"
#include "model/Meal.h"
#include "model/Recipe.h"
#include "planner/EditMealController.h"
#include "planner/MealCreation.h"
#include "rendering/PaneOutput.h"
#include "store/ManagedObjectContext.h"

namespace miravel::desktop {

namespace {

// A dropped recipe becomes this meal; the editor changes it later.
constexpr std::int64_t kDroppedMealType = Meal::Dinner;

QDate localDate(Timestamp day) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(day.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count()).date();
}

Timestamp noonOf(const QDate& date) {
    // Noon, clear of any midnight a clock change skips.
    const qint64 ms = QDateTime(date, QTime(12, 0)).toMSecsSinceEpoch();
    return Timestamp(std::chrono::microseconds(ms * 1000));
}

std::vector<int> rowsOfData(const QByteArray& data) {
    std::vector<int> rows;
    for (const auto& part : data.split(',')) {
        bool ok = false;
        const int row = part.toInt(&ok);
        if (ok) {
            rows.push_back(row);
        }
    }
    return rows;
}

// The chooser's rows are dragged as rows of the chooser, which the drop looks up again.
class RecipeChooserList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    QStringList mimeTypes() const override { return {kMealRecipeMimeType}; }
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override {
        QStringList rows;
        for (auto* item : items) {
            rows << QString::number(row(item));
        }
        auto* mime = new QMimeData;
        mime->setData(kMealRecipeMimeType, rows.join(',').toUtf8());
        return mime;
    }
};

}  // namespace

DayColumn::DayColumn(MealsPane& pane, int index, ManagedObjectContext& context, QWidget* parent)
    : QListWidget(parent), m_pane(pane), m_index(index), m_controller(context, this) {
    setObjectName(QStringLiteral("day%1").arg(index));
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(true);
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_controller.editMeal(static_cast<std::size_t>(row(item)));
    });
}

void DayColumn::dayDidChange() {
    clear();
    if (m_controller.showsNoMeals()) {
        auto* empty = new QListWidgetItem(qs(miravel::tr("No meals scheduled.")), this);
        empty->setFlags(Qt::NoItemFlags);
        empty->setTextAlignment(Qt::AlignCenter);
        return;
    }
    for (const auto& row : m_controller.rows()) {
        if (const auto* header = std::get_if<std::string>(&row)) {
            auto* item = new QListWidgetItem(qs(*header), this);
            QFont bold = font();
            bold.setBold(true);
            item->setFont(bold);
            item->setFlags(Qt::ItemIsEnabled);
            continue;
        }
        const auto& meal = std::get<std::shared_ptr<Meal>>(row);
        auto* item = new QListWidgetItem(qs(meal->mealName().value_or(std::string())), this);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    }
}

std::size_t DayColumn::runCriticalAlert(const std::string& message,
                                        const std::vector<std::string>& buttons) {
    QStringList titles;
    for (const auto& button : buttons) {
        titles << qs(miravel::tr(button));
    }
    return static_cast<std::size_t>(
        presentAlert(this, {QMessageBox::Critical, qs(miravel::tr(message)), {}, titles}));
}

void DayColumn::editMeal(const std::shared_ptr<Meal>& meal, Timestamp day) {
    m_pane.editMeal(meal, day);
}

void DayColumn::openRecipe(const std::shared_ptr<Recipe>& recipe, bool inNewWindow) {
    (void)inNewWindow;  // every recipe opened from the planner gets its own window
    m_pane.shell().openRecipeWindow(recipe);
}

QStringList DayColumn::mimeTypes() const {
    return {kMealRowsMimeType, kMealRecipeMimeType, kRecipeRowsMimeType};
}

QMimeData* DayColumn::mimeData(const QList<QListWidgetItem*>& items) const {
    std::vector<std::size_t> rows;
    for (auto* item : items) {
        rows.push_back(static_cast<std::size_t>(row(item)));
    }
    const auto payload = m_controller.dragPayload(rows);
    if (!payload) {
        return nullptr;
    }
    QStringList text{QString::number(m_index)};
    for (std::size_t row : payload->rows) {
        text << QString::number(row);
    }
    auto* mime = new QMimeData;
    mime->setData(kMealRowsMimeType, text.join(',').toUtf8());
    return mime;
}

void DayColumn::dragEnterEvent(QDragEnterEvent* event) {
    if (m_pane.canDrop(*event->mimeData(), m_index)) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void DayColumn::dragMoveEvent(QDragMoveEvent* event) {
    if (m_pane.canDrop(*event->mimeData(), m_index)) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void DayColumn::dropEvent(QDropEvent* event) {
    if (m_pane.drop(*event->mimeData(), m_index)) {
        // The store moves the meal; the view must not remove the dragged row itself.
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DayColumn::contextMenuEvent(QContextMenuEvent* event) {
    auto* clicked = itemAt(event->pos());
    std::optional<std::size_t> row;
    if (clicked && !m_controller.showsNoMeals()) {
        row = static_cast<std::size_t>(this->row(clicked));
    }
    QMenu menu(this);
    auto add = [&](const QString& title, DayMenuAction action, auto&& run) {
        auto* item = menu.addAction(title, this, run);
        item->setEnabled(m_controller.validateMenuItem(action, row));
    };
    add(qs(miravel::tr("Add Meal…")), DayMenuAction::AddMeal, [this] { m_controller.addMeal(); });
    add(qs(miravel::tr("Edit Meal…")), DayMenuAction::EditMeal,
        [this, row] { m_controller.editMeal(*row); });
    add(qs(miravel::tr("Delete Meal")), DayMenuAction::DeleteMeal, [this, row] {
        if (auto deleted = m_controller.deleteMeal(*row); !deleted) {
            presentDatabaseError(this, deleted.error());
        }
    });
    menu.addSeparator();
    add(qs(miravel::tr("Open Recipe")), DayMenuAction::OpenRecipe,
        [this, row] { m_controller.openRecipe(*row, false); });
    menu.addSeparator();
    menu.addAction(qs(miravel::tr("Add Day to Grocery List")), this,
                   [this] { m_pane.addDayToGroceryList(m_index); });
    menu.addAction(qs(miravel::tr("Print Day…")), this, [this] { m_pane.printDay(m_index); });
    menu.addAction(qs(miravel::tr("Email Day")), this, [this] { m_pane.emailDay(m_index); });
    menu.exec(event->globalPos());
}

MealsPane::MealsPane(Shell& shell, QWidget* parent)
    : QWidget(parent), m_shell(shell), m_recipes(shell.context(), false) {
    setObjectName("mealsPane");
    setAccessibleName(qs(miravel::tr("Meals")));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto button = [this, bar](const QString& title, const QString& name, auto&& run) {
        auto* made = new QPushButton(title, this);
        made->setObjectName(name);
        connect(made, &QPushButton::clicked, this, run);
        bar->addWidget(made);
        return made;
    };
    button(qs(miravel::tr("◀")), "previousWeek", [this] {
        m_week->prevWeek();
    })->setAccessibleName(qs(miravel::tr("Previous Week")));
    button(qs(miravel::tr("Today")), "today", [this] { m_week->reloadCalendar(); });
    button(qs(miravel::tr("▶")), "nextWeek", [this] {
        m_week->nextWeek();
    })->setAccessibleName(qs(miravel::tr("Next Week")));
    button(qs(miravel::tr("Week…")), "chooseWeek", [this] { showWeekChooser(); });
    m_title = new QLabel(this);
    m_title->setObjectName("weekTitle");
    QFont big = m_title->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    m_title->setFont(big);
    bar->addSpacing(12);
    bar->addWidget(m_title, 1);
    button(qs(miravel::tr("Add Week to Grocery List")), "addWeek",
           [this] { addWeekToGroceryList(); });
    button(qs(miravel::tr("Print")), "printWeek", [this] { printWeek(); });
    button(qs(miravel::tr("Email")), "emailWeek", [this] { emailWeek(); });
    layout->addLayout(bar);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(makeChooser());
    auto* weekView = new QWidget(splitter);
    auto* columns = new QHBoxLayout(weekView);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(4);
    for (int i = 0; i < 7; ++i) {
        auto* column = new QVBoxLayout;
        m_headers[static_cast<std::size_t>(i)] = new QLabel(weekView);
        m_headers[static_cast<std::size_t>(i)]->setAlignment(Qt::AlignCenter);
        m_days[static_cast<std::size_t>(i)] = new DayColumn(*this, i, shell.context(), weekView);
        column->addWidget(m_headers[static_cast<std::size_t>(i)]);
        column->addWidget(m_days[static_cast<std::size_t>(i)], 1);
        columns->addLayout(column, 1);
    }
    splitter->addWidget(weekView);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 860});
    layout->addWidget(splitter, 1);

    m_week = std::make_unique<MealPlannerWeekController>(shell.context(), shell.settings(),
                                                         NotificationCenter::defaultCenter(), this);
    weekDidChange(m_week->weekString());
    // The chooser reads the library when the pane is first shown, not at start-up.
    m_recipes.setChangeHandler([this] { reloadRecipes(); });
}

void MealsPane::startChooser() {
    if (!m_recipes.started()) {
        m_recipes.start();
        reloadRecipes();
    }
}

void MealsPane::showEvent(QShowEvent* event) {
    startChooser();
    QWidget::showEvent(event);
}

MealsPane::~MealsPane() = default;

void MealsPane::showWeekChooser() {
    // The popover: a month calendar on the shown week; a click shows the week holding the day.
    auto* anchor = findChild<QPushButton*>("chooseWeek");
    auto* popup = new QMenu(this);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    auto* calendar = new QCalendarWidget(popup);
    // 1 = Sunday ... 7 = Saturday, to Qt's 1 = Monday ... 7 = Sunday.
    calendar->setFirstDayOfWeek(
        static_cast<Qt::DayOfWeek>((m_week->calendar().firstWeekday() + 5) % 7 + 1));
    calendar->setSelectedDate(localDate(m_week->selectedDay()));
    connect(calendar, &QCalendarWidget::clicked, popup, [this, popup](const QDate& date) {
        m_week->chooseWeek(noonOf(date));
        popup->close();
    });
    auto* holder = new QWidgetAction(popup);
    holder->setDefaultWidget(calendar);
    popup->addAction(holder);
    popup->popup(anchor->mapToGlobal(QPoint(0, anchor->height())));
}

QWidget* MealsPane::makeChooser() {
    auto* chooser = new QWidget(this);
    auto* layout = new QVBoxLayout(chooser);
    layout->setContentsMargins(0, 0, 0, 0);
    m_scope = new QComboBox(chooser);
    m_scope->setObjectName("searchScope");
    m_scope->setAccessibleName(qs(miravel::tr("Search By")));
    for (const char* scope : {"Name", "Ingredient", "Source"}) {
        m_scope->addItem(qs(miravel::tr(scope)), QString::fromUtf8(scope));
    }
    m_search = new QLineEdit(chooser);
    m_search->setObjectName("recipeSearch");
    m_search->setAccessibleName(qs(miravel::tr("Search Recipes")));
    m_search->setClearButtonEnabled(true);
    m_search->setPlaceholderText(qs(m_recipes.placeholder()));
    m_recipeList = new RecipeChooserList(chooser);
    m_recipeList->setObjectName("mealRecipes");
    m_recipeList->setAccessibleName(qs(miravel::tr("Recipes")));
    m_recipeList->setDragEnabled(true);
    m_recipeList->setDragDropMode(QAbstractItemView::DragOnly);
    // Long names end in an ellipsis rather than widen the column.
    m_recipeList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_recipeList->setTextElideMode(Qt::ElideRight);
    m_recipeList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(m_scope, &QComboBox::currentIndexChanged, this, [this] {
        m_recipes.changeSearchContext(ss(m_scope->currentData().toString()));
        m_search->setPlaceholderText(qs(m_recipes.placeholder()));
        reloadRecipes();
    });
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_recipes.search(ss(text));
        reloadRecipes();
    });
    layout->addWidget(m_scope);
    layout->addWidget(m_search);
    layout->addWidget(m_recipeList, 1);
    return chooser;
}

void MealsPane::reloadRecipes() {
    m_recipeList->clear();
    // The row is the drag's payload: the list is the chooser's, in its order.
    for (const auto& recipe : m_recipes.recipes()) {
        auto* item = new QListWidgetItem(qs(recipe->name().value_or(std::string())), m_recipeList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    }
}

void MealsPane::weekDidChange(const std::string& title) {
    if (!m_week) {
        return;  // the controller's first week, while it is being made; the constructor shows it
    }
    m_title->setText(qs(title));
    const auto& week = m_week->week();
    const QDate today = QDate::currentDate();
    for (std::size_t i = 0; i < week.size(); ++i) {
        const QDate date = localDate(week[i]);
        const QString text = QLocale().toString(date, QStringLiteral("dddd\nMMM d"));
        m_days[i]->setAccessibleName(QLocale().toString(date, QLocale::LongFormat));
        m_headers[i]->setText(
            date == today
                ? QStringLiteral("<b>%1</b>").arg(text.toHtmlEscaped().replace('\n', "<br/>"))
                : text);
        if (m_days[i]->controller().date() != week[i]) {
            m_days[i]->controller().setDate(week[i]);
        }
        m_days[i]->dayDidChange();
    }
}

// The pane's own chooser drags one recipe; the Recipes pane's table drags its selected rows.
std::vector<std::shared_ptr<Recipe>> MealsPane::recipesOfDrag(const QMimeData& data) const {
    if (data.hasFormat(kMealRecipeMimeType)) {
        const auto rows = rowsOfData(data.data(kMealRecipeMimeType));
        if (rows.empty() || rows.front() < 0) {
            return {};
        }
        if (auto recipe = m_recipes.recipeAtRow(static_cast<std::size_t>(rows.front()))) {
            return {recipe};
        }
        return {};
    }
    if (data.hasFormat(kRecipeRowsMimeType) && m_recipeRows) {
        return m_recipeRows(data.data(kRecipeRowsMimeType));
    }
    return {};
}

std::shared_ptr<Meal> MealsPane::mealOfDrag(const QMimeData& data) const {
    if (!data.hasFormat(kMealRowsMimeType)) {
        return nullptr;
    }
    const auto parts = rowsOfData(data.data(kMealRowsMimeType));
    if (parts.size() < 2 || parts.front() < 0 || parts.front() >= 7) {
        return nullptr;
    }
    MealDragPayload payload;
    for (auto it = parts.begin() + 1; it != parts.end(); ++it) {
        if (*it < 0) {
            return nullptr;
        }
        payload.rows.push_back(static_cast<std::size_t>(*it));
    }
    return m_days[static_cast<std::size_t>(parts.front())]->controller().mealForPayload(payload);
}

bool MealsPane::canDrop(const QMimeData& data, int dayIndex) const {
    if (dayIndex < 0 || dayIndex >= 7) {
        return false;
    }
    if (auto meal = mealOfDrag(data)) {
        return m_week->validateDrop(*meal, dayIndex);
    }
    return !recipesOfDrag(data).empty();
}

bool MealsPane::drop(const QMimeData& data, int dayIndex) {
    if (!canDrop(data, dayIndex)) {
        return false;
    }
    if (auto meal = mealOfDrag(data)) {
        if (auto moved = m_week->acceptDrop(meal, dayIndex); !moved) {
            presentDatabaseError(this, moved.error());
            return false;
        }
        return true;
    }
    const auto day = m_week->week()[static_cast<std::size_t>(dayIndex)];
    // Each recipe a meal of its own, in the order dragged, each after the day's last.
    for (const auto& recipe : recipesOfDrag(data)) {
        auto made = createMealWithType(m_shell.context(), kDroppedMealType, day, recipe);
        if (!made) {
            presentDatabaseError(this, made.error());
            return false;
        }
    }
    return true;
}

void MealsPane::editMeal(const std::shared_ptr<Meal>& meal, Timestamp day) {
    startChooser();
    EditMealController editor(m_shell.context(), m_shell.settings());
    if (meal) {
        editor.setMeal(meal);
    } else {
        editor.resetFields();
        editor.setDate(day);
    }
    QDialog dialog(this);
    dialog.setObjectName("mealEditor");
    dialog.setWindowTitle(qs(miravel::tr(meal ? "Edit Meal" : "Add Meal")));
    auto* form = new QFormLayout(&dialog);
    auto* byName = new QRadioButton(qs(miravel::tr("Name")), &dialog);
    auto* byRecipe = new QRadioButton(qs(miravel::tr("Recipe")), &dialog);
    (editor.mode() == EditMealController::Mode::Name ? byName : byRecipe)->setChecked(true);
    auto* modes = new QHBoxLayout;
    modes->addWidget(byName);
    modes->addWidget(byRecipe);
    form->addRow(modes);
    auto* name = new QLineEdit(qs(editor.nameText()), &dialog);
    name->setObjectName("mealName");
    form->addRow(qs(miravel::tr("Name")), name);
    auto* recipe = new QComboBox(&dialog);
    recipe->setObjectName("mealRecipe");
    const auto recipes = m_recipes.recipes();
    recipe->addItem(qs(miravel::tr("Choose a Recipe")));
    for (const auto& each : recipes) {
        recipe->addItem(qs(each->name().value_or(std::string())));
        if (each == editor.recipe()) {
            recipe->setCurrentIndex(recipe->count() - 1);
        }
    }
    form->addRow(qs(miravel::tr("Recipe")), recipe);
    auto* type = new QComboBox(&dialog);
    type->setObjectName("mealType");
    for (std::int64_t kind : {Meal::Breakfast, Meal::Lunch, Meal::Dinner, Meal::Snacks}) {
        type->addItem(qs(Meal::typeName(kind)), QVariant::fromValue(static_cast<qlonglong>(kind)));
    }
    type->setCurrentIndex(static_cast<int>(editor.type()));
    form->addRow(qs(miravel::tr("Meal")), type);
    auto* date = new QDateEdit(localDate(editor.date()), &dialog);
    date->setCalendarPopup(true);
    form->addRow(qs(miravel::tr("Date")), date);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(qs(miravel::tr("Cancel")), QDialogButtonBox::RejectRole);
    auto* done = buttons->addButton(qs(miravel::tr("Done")), QDialogButtonBox::AcceptRole);
    done->setDefault(true);
    form->addRow(buttons);
    // The controller decides whether Done may be pressed; every field change asks it again.
    auto sync = [&] {
        editor.setMode(byName->isChecked() ? EditMealController::Mode::Name
                                           : EditMealController::Mode::Recipe);
        editor.setNameText(ss(name->text()));
        const int chosen = recipe->currentIndex() - 1;
        editor.setRecipe(chosen >= 0 ? recipes[static_cast<std::size_t>(chosen)] : nullptr);
        editor.setType(type->currentData().toLongLong());
        editor.setDate(noonOf(date->date()));
        name->setEnabled(byName->isChecked());
        recipe->setEnabled(byRecipe->isChecked());
        done->setEnabled(editor.isDoneEnabled());
    };
    connect(byName, &QRadioButton::toggled, &dialog, sync);
    connect(name, &QLineEdit::textChanged, &dialog, sync);
    connect(recipe, &QComboBox::currentIndexChanged, &dialog, sync);
    connect(type, &QComboBox::currentIndexChanged, &dialog, sync);
    connect(date, &QDateEdit::dateChanged, &dialog, sync);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    sync();
    if (dialog.exec() != QDialog::Accepted) {
        editor.cancelPressed();
        return;
    }
    sync();
    if (auto saved = editor.donePressed(); !saved) {
        presentDatabaseError(this, saved.error());
    }
}

void MealsPane::addDayToGroceryList(int dayIndex) {
    m_week->selectRow(dayIndex);
    m_week->addDayToGroceryList();
}

void MealsPane::addWeekToGroceryList() {
    m_week->addWeekToGroceryList();
}

void MealsPane::presentIngredientChooser(ChooseIngredientsController& chooser) {
    runIngredientChooser(this, chooser);
}

void MealsPane::showNotice(const std::string& text) {
    m_shell.showNotice(text, this);
}

void MealsPane::printDay(int dayIndex) {
    m_week->selectRow(dayIndex);
    miravel::printDay(*m_week, m_shell.printer());
}

void MealsPane::emailDay(int dayIndex) {
    m_week->selectRow(dayIndex);
    if (!miravel::emailDay(*m_week, m_shell.mail())) {
        presentAlert(this, {QMessageBox::Warning,
                            qs(miravel::tr("The mail program could not be opened.")),
                            {},
                            {qs(miravel::tr("OK"))}});
    }
}

std::optional<std::pair<int, std::size_t>> MealsPane::focusedMeal() const {
    for (int i = 0; i < 7; ++i) {
        DayColumn* day = m_days[static_cast<std::size_t>(i)];
        if (!day->hasFocus() || day->controller().showsNoMeals()) {
            continue;
        }
        const auto selected = day->selectedItems();
        if (selected.empty()) {
            return std::nullopt;
        }
        const auto row = static_cast<std::size_t>(day->row(selected.front()));
        if (!day->controller().validateMenuItem(DayMenuAction::DeleteMeal, row)) {
            return std::nullopt;
        }
        return std::pair{i, row};
    }
    return std::nullopt;
}

bool MealsPane::canRunEditCommand(EditCommand command) const {
    return command == EditCommand::Delete && focusedMeal().has_value();
}

void MealsPane::runEditCommand(EditCommand command) {
    if (command != EditCommand::Delete) {
        return;
    }
    if (const auto meal = focusedMeal()) {
        if (auto deleted = day(meal->first).controller().deleteMeal(meal->second); !deleted) {
            presentDatabaseError(this, deleted.error());
        }
    }
}

void MealsPane::printWeek() {
    miravel::printWeek(*m_week, m_shell.printer());
}

void MealsPane::emailWeek() {
    if (!emailMealPlan(*m_week, m_shell.mail())) {
        presentAlert(this, {QMessageBox::Warning,
                            qs(miravel::tr("The mail program could not be opened.")),
                            {},
                            {qs(miravel::tr("OK"))}});
    }
}

}  // namespace miravel::desktop
