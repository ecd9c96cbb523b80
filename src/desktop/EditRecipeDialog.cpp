#include "desktop/EditRecipeDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "desktop/Alerts.h"
#include "desktop/QtText.h"
#include "desktop/Shell.h"
#include "lib/AtomicFile.h"
#include "lib/StringTable.h"
#include "model/UserSettings.h"

namespace miravel::desktop {

namespace {

class ControlTabFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Tab || key->modifiers() != Qt::ControlModifier) {
            return false;
        }
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();  // keeps Ctrl+Tab from switching the sheet's text tabs
            return true;
        }
        static_cast<QPlainTextEdit*>(watched)->insertPlainText("\t");
        return true;
    }
};

}  // namespace

void insertTabsOnControlTab(QPlainTextEdit* edit) {
    edit->setTabChangesFocus(true);
    edit->installEventFilter(new ControlTabFilter(edit));
}

// The photo well: shows the chosen image or the recipe's photo, takes a dropped image file
// or image data, and is emptied with Delete.
class PhotoWell : public QLabel {
public:
    PhotoWell(EditRecipeController& controller, QWidget* parent)
        : QLabel(parent), m_controller(controller) {
        setObjectName("photoWell");
        setAccessibleName(tr("Photo"));
        setFixedSize(180, 180);
        setAlignment(Qt::AlignCenter);
        setFrameShape(QFrame::StyledPanel);
        setAcceptDrops(true);
        setFocusPolicy(Qt::StrongFocus);
        refresh();
    }
    void refresh() {
        QPixmap pixmap;
        if (const auto& image = m_controller.image()) {
            if (auto jpeg = encodeJpeg(*image)) {
                pixmap.loadFromData(QByteArray::fromStdString(*jpeg));
            }
        } else if (auto path = m_controller.wellPhotoPath()) {
            pixmap.load(qpath(*path));
        }
        if (pixmap.isNull()) {
            setPixmap({});
            setText(tr("No Photo"));
        } else {
            setPixmap(
                pixmap.scaled(size() - QSize(8, 8), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        }
    }
    void take(Result<void> result) {
        if (!result) {
            presentErrorAlert(this, result.error());
        }
        refresh();
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->mimeData()->hasUrls() || event->mimeData()->hasImage()) {
            event->acceptProposedAction();
        }
    }
    void dropEvent(QDropEvent* event) override {
        const QMimeData* mime = event->mimeData();
        if (mime->hasUrls() && mime->urls().first().isLocalFile()) {
            take(m_controller.chooseImage(fspath(mime->urls().first().toLocalFile())));
        } else if (mime->hasFormat("image/png")) {
            take(m_controller.imageDragged(mime->data("image/png").toStdString()));
        }
        event->acceptProposedAction();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
            m_controller.clearImage();
            refresh();
            return;
        }
        QLabel::keyPressEvent(event);
    }

private:
    EditRecipeController& m_controller;
};

EditRecipeDialog::EditRecipeDialog(Shell& shell, std::shared_ptr<Recipe> recipe, QWidget* parent,
                                   std::optional<BrowserCapture> capture)
    : QDialog(parent), m_shell(shell), m_controller(shell.context(), shell.hooks(), this) {
    setObjectName("editRecipeDialog");
    setWindowTitle(recipe ? tr("Edit Recipe") : tr("New Recipe"));
    setWindowModality(Qt::WindowModal);
    m_controller.setRecipe(std::move(recipe));
    if (capture) {
        m_controller.setBrowserData(std::move(capture->data));
        if (capture->image) {
            m_controller.setImage(std::move(*capture->image));
        }
    }
    m_controller.initializeFields();

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_well = new PhotoWell(m_controller, this);
    auto* wellColumn = new QVBoxLayout;
    wellColumn->addWidget(m_well);
    auto* changeImage = new QPushButton(qs(miravel::tr("Change Image")), this);
    connect(changeImage, &QPushButton::clicked, this, &EditRecipeDialog::chooseImage);
    wellColumn->addWidget(changeImage);
    auto* categories = new QPushButton(qs(miravel::tr("Categories")), this);
    connect(categories, &QPushButton::clicked, this, &EditRecipeDialog::chooseCategories);
    wellColumn->addWidget(categories);
    wellColumn->addStretch();
    top->addLayout(wellColumn);

    auto* form = new QFormLayout;
    m_name = lineField(qs(miravel::tr("Recipe Name")), tr("Name"));
    QFont big = m_name->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    m_name->setFont(big);
    form->addRow(m_name);
    m_rating = new QSpinBox(this);
    m_rating->setRange(0, 5);
    m_rating->setSuffix(" ★");
    m_rating->setAccessibleName(qs(miravel::tr("Rating")));
    form->addRow(qs(miravel::tr("Rating")), m_rating);
    m_difficulty = new QComboBox(this);
    m_difficulty->setAccessibleName(qs(miravel::tr("Difficulty")));
    m_difficulty->addItem("");
    for (const auto& choice : EditRecipeController::difficultyChoices()) {
        m_difficulty->addItem(qs(choice));
    }
    form->addRow(qs(miravel::tr("Difficulty")), m_difficulty);
    m_prep = lineField(qs(miravel::tr("0 hr 0 min")), qs(miravel::tr("Prep Time")));
    form->addRow(qs(miravel::tr("Prep Time")), m_prep);
    m_cook = lineField(qs(miravel::tr("0 hr 0 min")), qs(miravel::tr("Cook Time")));
    form->addRow(qs(miravel::tr("Cook Time")), m_cook);
    m_servings = lineField(qs(miravel::tr("1 serving")), qs(miravel::tr("Servings")));
    form->addRow(qs(miravel::tr("Servings")), m_servings);
    m_source = lineField(qs(miravel::tr("My Collection")), qs(miravel::tr("Source")));
    form->addRow(qs(miravel::tr("Source")), m_source);
    m_url = lineField({}, qs(miravel::tr("URL")));
    form->addRow(qs(miravel::tr("URL")), m_url);
    m_categoryLine = new QLabel(this);
    m_categoryLine->setWordWrap(true);
    form->addRow(qs(miravel::tr("Categories")), m_categoryLine);
    top->addLayout(form, 1);
    layout->addLayout(top);

    auto* tabs = new QTabWidget(this);
    auto* both = new QWidget(tabs);
    auto* bothLayout = new QHBoxLayout(both);
    m_ingredients = textField(qs(miravel::tr("Ingredients")));
    m_directions = textField(qs(miravel::tr("Directions")));
    bothLayout->addWidget(m_ingredients, 2);
    bothLayout->addWidget(m_directions, 3);
    // A lone "&" would mark a shortcut letter.
    tabs->addTab(both, qs(miravel::tr("Ingredients & Directions")).replace("&", "&&"));
    m_notes = textField(qs(miravel::tr("Notes")));
    tabs->addTab(m_notes, qs(miravel::tr("Notes")));
    m_nutrition = textField(qs(miravel::tr("Nutritional Info")));
    tabs->addTab(m_nutrition, qs(miravel::tr("Nutritional Info")));
    layout->addWidget(tabs, 1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(qs(miravel::tr("Cancel")), QDialogButtonBox::RejectRole);
    auto* doneButton = buttons->addButton(qs(miravel::tr("Done")), QDialogButtonBox::AcceptRole);
    doneButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &EditRecipeDialog::pressDone);
    connect(buttons, &QDialogButtonBox::rejected, this, &EditRecipeDialog::pressCancel);
    layout->addWidget(buttons);
    resize(820, 640);
    showFields();
    m_name->setFocus();
}

EditRecipeDialog::~EditRecipeDialog() = default;

QLineEdit* EditRecipeDialog::lineField(const QString& placeholder, const QString& accessibleName) {
    auto* field = new QLineEdit(this);
    field->setPlaceholderText(placeholder);
    field->setAccessibleName(accessibleName);
    return field;
}

QPlainTextEdit* EditRecipeDialog::textField(const QString& accessibleName) {
    auto* field = new QPlainTextEdit(this);
    field->setAccessibleName(accessibleName);
    field->setPlaceholderText(accessibleName);
    insertTabsOnControlTab(field);
    return field;
}

void EditRecipeDialog::showFields() {
    const RecipeFields& fields = m_controller.fields();
    m_name->setText(qs(fields.name));
    m_rating->setValue(static_cast<int>(fields.rating));
    m_difficulty->setCurrentIndex(std::max(0, m_difficulty->findText(qs(fields.difficulty))));
    m_prep->setText(qs(fields.prepTime));
    m_cook->setText(qs(fields.cookTime));
    m_servings->setText(qs(fields.servings));
    m_source->setText(qs(fields.source));
    m_url->setText(qs(fields.sourceUrl));
    m_ingredients->setPlainText(qs(fields.ingredients));
    m_directions->setPlainText(qs(fields.directions));
    m_notes->setPlainText(qs(fields.notes));
    m_nutrition->setPlainText(qs(fields.nutritionalInfo));
    showCategoryLine();
}

void EditRecipeDialog::readFields() {
    RecipeFields& fields = m_controller.fields();
    fields.name = ss(m_name->text());
    fields.rating = m_rating->value();
    fields.difficulty = ss(m_difficulty->currentText());
    fields.prepTime = ss(m_prep->text());
    fields.cookTime = ss(m_cook->text());
    fields.servings = ss(m_servings->text());
    fields.source = ss(m_source->text());
    fields.sourceUrl = ss(m_url->text());
    fields.ingredients = ss(m_ingredients->toPlainText());
    fields.directions = ss(m_directions->toPlainText());
    fields.notes = ss(m_notes->toPlainText());
    fields.nutritionalInfo = ss(m_nutrition->toPlainText());
}

void EditRecipeDialog::showCategoryLine() {
    QStringList names;
    for (const auto& category : m_controller.categories()) {
        names << qs(category->name().value_or(""));
    }
    m_categoryLine->setText(names.isEmpty() ? "—" : names.join(", "));
}

void EditRecipeDialog::chooseImage() {
    QStringList patterns;
    for (const auto& extension : EditRecipeController::imageExtensions()) {
        patterns << "*." + qs(extension);
    }
    QString file = QFileDialog::getOpenFileName(this, qs(miravel::tr("Change Image")), {},
                                                tr("Images (%1)").arg(patterns.join(' ')));
    if (!file.isEmpty()) {
        m_well->take(m_controller.chooseImage(fspath(file)));
    }
}

// The chooser as a popover: the check list closes (and hands its choice back) when the user
// clicks elsewhere.
void EditRecipeDialog::chooseCategories() {
    auto& chooser =
        m_controller.changeCategories(m_shell.settings().boolean(kAlphabetizeCategoriesKey));
    auto* popup = new QListWidget(this);
    popup->setWindowFlags(Qt::Popup);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    popup->setAccessibleName(qs(miravel::tr("Categories")));
    for (std::size_t row = 0; row < chooser.numberOfRows(); ++row) {
        auto* item = new QListWidgetItem(qs(chooser.name(row)), popup);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(chooser.isChosen(row) ? Qt::Checked : Qt::Unchecked);
    }
    connect(popup, &QListWidget::itemChanged, this, [this, popup](QListWidgetItem* item) {
        auto row = static_cast<std::size_t>(popup->row(item));
        if (m_controller.categoriesOpen()) {
            m_controller.changeCategories(false).setChosen(row, item->checkState() == Qt::Checked);
        }
    });
    connect(popup, &QObject::destroyed, this, [this] {
        if (!m_closing) {
            m_controller.closeCategories();
            showCategoryLine();
        }
    });
    popup->resize(220, std::min(360, 24 * static_cast<int>(chooser.numberOfRows()) + 8));
    popup->move(mapToGlobal(m_categoryLine->geometry().bottomLeft()));
    popup->show();
}

void EditRecipeDialog::pressDone() {
    readFields();
    if (auto saved = m_controller.saveEditRecipeSheet(); !saved) {
        presentDatabaseError(this, saved.error());
    }
}

void EditRecipeDialog::pressCancel() {
    m_controller.cancelEditRecipeSheet();
}

void EditRecipeDialog::recipeEdited(const std::shared_ptr<Recipe>& recipe) {
    emit saved(recipe);
}

void EditRecipeDialog::closeSheet() {
    m_closing = true;
    QDialog::done(QDialog::Accepted);
}

}  // namespace miravel::desktop
