#include "desktop/Sheets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/Alerts.h"
#include "desktop/QtText.h"
#include "grocery/ChooseIngredientsController.h"
#include "grocery/ConsolidatedItem.h"
#include "lib/StringTable.h"
#include "model/Meal.h"

namespace miravel::desktop {

namespace {

QDialogButtonBox* doneAndCancel(QDialog& dialog) {
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(qs(miravel::tr("Cancel")), QDialogButtonBox::RejectRole);
    buttons->addButton(qs(miravel::tr("Done")), QDialogButtonBox::AcceptRole)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

}  // namespace

void chooseIngredients(QWidget* parent, ManagedObjectContext& context,
                       const std::vector<std::shared_ptr<Recipe>>& recipes,
                       const UserSettings& settings, const std::function<void(bool)>& done) {
    ChooseIngredientsController chooser(context, recipes, settings);
    done(runIngredientChooser(parent, chooser));
}

bool runIngredientChooser(QWidget* parent, ChooseIngredientsController& chooser) {
    QDialog dialog(parent);
    dialog.setWindowTitle(qs(miravel::tr("Choose Ingredients")));
    auto* layout = new QVBoxLayout(&dialog);
    auto* all = new QCheckBox(qs(miravel::tr("Select All")), &dialog);
    all->setChecked(true);
    layout->addWidget(all);
    auto* rows = new QListWidget(&dialog);
    rows->setAccessibleName(qs(miravel::tr("Ingredients")));
    const auto& items = chooser.consolidatedItems();
    for (std::size_t row = 0; row < items.size(); ++row) {
        auto* item = new QListWidgetItem(qs(items[row]->name()), rows);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(chooser.isSelected(row) ? Qt::Checked : Qt::Unchecked);
    }
    QObject::connect(rows, &QListWidget::itemChanged, &dialog, [&](QListWidgetItem* item) {
        chooser.setSelected(static_cast<std::size_t>(rows->row(item)),
                            item->checkState() == Qt::Checked);
    });
    QObject::connect(all, &QCheckBox::clicked, &dialog, [&](bool on) {
        chooser.selectAllCheckboxClicked(on);
        QSignalBlocker quiet(rows);
        for (int row = 0; row < rows->count(); ++row) {
            rows->item(row)->setCheckState(
                chooser.isSelected(static_cast<std::size_t>(row)) ? Qt::Checked : Qt::Unchecked);
        }
    });
    layout->addWidget(rows, 1);
    layout->addWidget(doneAndCancel(dialog));
    dialog.resize(420, 460);
    if (dialog.exec() != QDialog::Accepted) {
        chooser.cancelPressed();
        return false;
    }
    if (auto saved = chooser.donePressed(); !saved) {
        presentDatabaseError(parent, saved.error());
        return false;
    }
    return true;
}

std::optional<std::pair<std::int64_t, Timestamp>> chooseMealDateAndType(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setWindowTitle(qs(miravel::tr("Add to Meal Plan")));
    auto* form = new QFormLayout(&dialog);
    auto* day = new QDateEdit(QDate::currentDate(), &dialog);
    day->setCalendarPopup(true);
    day->setAccessibleName(qs(miravel::tr("Date")));
    auto* type = new QComboBox(&dialog);
    type->setAccessibleName(qs(miravel::tr("Meal")));
    for (std::int64_t kind : {Meal::Breakfast, Meal::Lunch, Meal::Dinner, Meal::Snacks}) {
        type->addItem(qs(Meal::typeName(kind)), QVariant::fromValue(static_cast<qlonglong>(kind)));
    }
    type->setCurrentIndex(Meal::Dinner);
    form->addRow(qs(miravel::tr("Date")), day);
    form->addRow(qs(miravel::tr("Meal")), type);
    form->addRow(doneAndCancel(dialog));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    // Noon of the chosen local day, clear of any midnight a clock change skips.
    const qint64 ms = QDateTime(day->date(), QTime(12, 0)).toMSecsSinceEpoch();
    return std::pair{type->currentData().toLongLong(),
                     Timestamp(std::chrono::microseconds(ms * 1000))};
}

}  // namespace miravel::desktop
