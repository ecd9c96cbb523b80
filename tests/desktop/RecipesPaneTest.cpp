#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QTextBrowser>
#include <cmath>
#include <fstream>
#include <thread>

#include "desktop/CategoryColumn.h"
#include "desktop/EditRecipeDialog.h"
#include "desktop/FileFlows.h"
#include "desktop/Printing.h"
#include "desktop/RecipeTableModel.h"
#include "desktop/RecipeView.h"
#include "model/Library.h"
#include "model/RecipeCategory.h"
#include "store/BackgroundContext.h"
#include "store/Predicate.h"
#include "support/DesktopTestSupport.h"

using namespace miravel;
using namespace miravel::desktop;
using namespace miravel::desktop::testing;

class RecipesPaneTest : public QObject {
    Q_OBJECT

private slots:
    void aRecipeSavedInTheEditorAppearsAtItsSortedRow() {
        RunningApplication running("editor");
        QVERIFY(running.launched);
        running.addRecipe("Apple pie");
        running.addRecipe("Carrot cake");
        QVERIFY(running.save());
        QCOMPARE(running.shownNames(), (QStringList{"Apple pie", "Carrot cake"}));

        QSignalSpy resets(&running.pane().model(), &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&running.pane().model(), &QAbstractItemModel::rowsInserted);
        running.app->editRecipe(nullptr, &running.window());
        auto* sheet = running.window().findChild<EditRecipeDialog*>();
        QVERIFY(sheet != nullptr);
        sheet->nameField()->setText("  Banana bread ");
        sheet->ingredientsField()->setPlainText("3 bananas\n2 cups flour");
        sheet->pressDone();
        QCoreApplication::processEvents();

        QCOMPARE(running.shownNames(), (QStringList{"Apple pie", "Banana bread", "Carrot cake"}));
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.first().at(1).toInt(), 1);
        QCOMPARE(resets.count(), 0);
        QTRY_VERIFY(running.window().findChild<EditRecipeDialog*>() == nullptr);

        // Renamed in the sheet, the recipe moves to its new place in one move.
        QSignalSpy moved(&running.pane().model(), &QAbstractItemModel::rowsMoved);
        running.app->editRecipe(running.pane().model().recipeAt(0), &running.window());
        sheet = running.window().findChild<EditRecipeDialog*>();
        QVERIFY(sheet != nullptr);
        QCOMPARE(sheet->nameField()->text(), QString("Apple pie"));
        sheet->nameField()->setText("Zucchini pie");
        sheet->pressDone();
        QCOMPARE(running.shownNames(),
                 (QStringList{"Banana bread", "Carrot cake", "Zucchini pie"}));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(resets.count(), 0);
    }

    void theEditorsTextFieldsKeepReturnAndTakeTabsOnControlTab() {
        RunningApplication running("keys");
        QVERIFY(running.launched);
        running.app->editRecipe(nullptr, &running.window());
        auto* sheet = running.window().findChild<EditRecipeDialog*>();
        QVERIFY(sheet != nullptr);
        QPlainTextEdit* field = sheet->ingredientsField();
        field->setFocus();
        QTest::keyClicks(field, "salt");
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Tab, Qt::ControlModifier);
        QTest::keyClicks(field, "pepper");
        QCOMPARE(field->toPlainText(), QString("salt\n\tpepper"));
        QVERIFY(sheet->isVisible());
        sheet->pressCancel();
    }

    void aBackgroundImportAddsRowsWithoutAReset() {
        RunningApplication running("import");
        QVERIFY(running.launched);
        running.addRecipe("Mango lassi");
        QVERIFY(running.save());
        const auto file = running.folder() / "three.mmf";
        std::ofstream(file) << meal("Apple crumble") << meal("Zesty lemon bars")
                            << meal("Banana muffins");

        AlertLog alerts;
        QSignalSpy resets(&running.pane().model(), &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&running.pane().model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy finished(&running.window().fileFlows(), &FileFlows::finished);
        running.window().fileFlows().importFile(file);
        QVERIFY(running.window().fileFlows().progressDialog() != nullptr);
        QVERIFY(finished.wait(20000));

        QCOMPARE(alerts.texts.first(), QString("Import Recipes"));
        QCOMPARE(alerts.texts.last(), QString("Import Complete"));
        QCOMPARE(running.shownNames(), (QStringList{"Apple crumble", "Banana muffins",
                                                    "Mango lassi", "Zesty lemon bars"}));
        QVERIFY(inserted.count() >= 1);
        QCOMPARE(resets.count(), 0);
    }

    void droppingARecipeOnACategoryFilesIt() {
        RunningApplication running("drop");
        QVERIFY(running.launched);
        auto desserts = running.context().insert<RecipeCategory>();
        desserts->setName("Desserts");
        auto pie = running.addRecipe("Apple pie");
        QVERIFY(running.save());
        QTRY_COMPARE(running.shownNames(), QStringList{"Apple pie"});

        CategoryColumn& column = running.pane().categoryColumn();
        running.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&running.window()));
        auto row = column.controller().rowForItem(desserts);
        QVERIFY(row.has_value());
        QTreeWidgetItem* item = column.itemForRow(*row);
        QVERIFY(item != nullptr);
        QCOMPARE(item->text(0), QString("Desserts"));

        QMimeData* mime = running.pane().model().mimeData({running.pane().model().index(0, 0)});
        const QPoint at = column.visualItemRect(item).center();
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(column.viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDragMoveEvent move(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(column.viewport(), &move);
        QVERIFY(move.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(column.viewport(), &drop);
        delete mime;

        QCOMPARE(pie->categories().size(), std::size_t{1});
        QCOMPARE(pie->categories().front().get(), desserts.get());
        QVERIFY(!running.context().hasChanges());
    }

    void deletingAsksWithTheExactText() {
        RunningApplication running("delete");
        QVERIFY(running.launched);
        running.addRecipe("Apple pie");
        running.addRecipe("Carrot cake");
        QVERIFY(running.save());
        QTableView* table = running.pane().table();
        table->selectRow(0);

        AlertLog alerts;
        alerts.answer = 1;  // Cancel
        running.pane().deleteSelected();
        QCOMPARE(alerts.texts, QStringList{"Are you sure you want to delete this recipe?"});
        QCOMPARE(running.shownNames(), (QStringList{"Apple pie", "Carrot cake"}));

        alerts.answer = 0;  // Delete
        table->selectAll();
        running.pane().deleteSelected();
        QCOMPARE(alerts.texts.last(), QString("Are you sure you want to delete these recipes?"));
        QCOMPARE(running.shownNames(), QStringList{});
    }

    void theScalePanelShowsScaledIngredients() {
        RunningApplication running("scale");
        QVERIFY(running.launched);
        auto bread = running.addRecipe("Soda bread", "2 cups flour\n1 tsp salt");
        bread->setServings("4 servings");
        QVERIFY(running.save());
        running.pane().openRecipe(bread);
        RecipeView& view = running.pane().recipeView();
        QVERIFY(running.pane().showsRecipe());
        QVERIFY(view.browser()->toPlainText().contains("2 cups flour"));

        view.controller().scaleRecipe();
        QVERIFY(!view.scalePanelWidget()->isHidden());
        view.scaleWholeNumber()->setValue(1);
        view.scaleFraction()->setCurrentIndex(
            view.scaleFraction()->findText(QString::fromUtf8("1/2")));
        QVERIFY(view.scaleFraction()->currentIndex() > 0);
        QTest::mouseClick(view.scaleDoneButton(), Qt::LeftButton);
        QVERIFY(view.scalePanelWidget()->isHidden());
        QTRY_VERIFY(view.browser()->toPlainText().contains("3 cups flour"));
        QVERIFY(view.browser()->toPlainText().contains("6 servings"));
        QCOMPARE(bread->scale(), std::optional<std::string>("3/2"));
    }

    // Several changes in one save: renames that cross each other, deletions and newcomers
    // around them. The table must end where the list ends, without a reset.
    void mixedChangesInOneSaveReplayRowByRow() {
        RunningApplication running("mixed");
        QVERIFY(running.launched);
        std::vector<std::shared_ptr<Recipe>> recipes;
        for (const char* name :
             {"Borscht", "Chili", "Dal", "Empanadas", "Falafel", "Gumbo", "Hummus", "Injera"}) {
            recipes.push_back(running.addRecipe(name));
        }
        QVERIFY(running.save());
        QSignalSpy resets(&running.pane().model(), &QAbstractItemModel::modelReset);
        const std::vector<std::vector<std::pair<int, const char*>>> rounds = {
            {{0, "Zuppa"}, {1, "Yakitori"}, {7, "Aloo gobi"}},
            {{2, "Kedgeree"}, {3, "Cassoulet"}, {4, "Kebab"}},
            {{5, "Ajvar"}, {6, "Zarzuela"}, {0, "Baba ganoush"}, {1, "Xacuti"}}};
        int round = 0;
        for (const auto& renames : rounds) {
            for (const auto& [which, name] : renames) {
                recipes[static_cast<std::size_t>(which)]->setName(name);
            }
            running.addRecipe("New " + std::to_string(round));
            running.addRecipe(std::string(1, static_cast<char>('A' + round)) + " newcomer");
            if (round == 1) {
                running.context().deleteObject(recipes[2]);
            }
            QVERIFY(running.save());
            QStringList expected;
            auto& controller = running.pane().controller();
            for (std::size_t row = 0; row < controller.count(); ++row) {
                expected << QString::fromStdString(controller.recipeAt(row)->name().value_or(""));
            }
            QCOMPARE(running.shownNames(), expected);
            ++round;
        }
        QCOMPARE(resets.count(), 0);
    }

    // A change saved by a background job (an import, a sync) reaches the shown recipe.
    void theShownRecipeFollowsABackgroundChange() {
        RunningApplication running("follow");
        QVERIFY(running.launched);
        auto stew = running.addRecipe("Bean stew", "2 cups beans");
        QVERIFY(running.save());
        running.pane().openRecipe(stew);
        RecipeView& view = running.pane().recipeView();
        QVERIFY(view.browser()->toPlainText().contains("2 cups beans"));

        const std::string uid = stew->uid();
        bool saved = false;
        std::thread job([&] {
            auto background = running.app->library().newBackgroundContext();
            auto found =
                background->fetch<Recipe>(Predicate::fromTrustedFormat("uid == %@", {Value(uid)}));
            if (found && found->size() == 1) {
                found->front()->setIngredients("3 cups beans\n1 onion");
                found->front()->setModified();
                saved = static_cast<bool>(background->save());
            }
        });
        QTRY_VERIFY(view.browser()->toPlainText().contains("1 onion"));
        job.join();
        QVERIFY(saved);
        QVERIFY(view.browser()->toPlainText().contains("3 cups beans"));
    }

    // Printing lays the page out with exactly 60 points left and right, 40 top and bottom.
    void printsWithThePagesMargins() {
        RunningApplication running("print");
        QVERIFY(running.launched);
        auto soup = running.addRecipe("Onion soup", "6 onions\n1 l stock");
        QVERIFY(running.save());
        const auto pdf = running.folder() / "soup.pdf";
        running.app->qtPrinter().setOutputFile(QString::fromStdString(pdf.string()));
        running.pane().openRecipe(soup);
        running.pane().recipeView().printRecipe();
        QVERIFY(std::filesystem::file_size(pdf) > 1000);
        const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
        if (pdftotext.isEmpty()) {
            QSKIP("pdftotext is not installed: the margins are not measured");
        }
        QProcess words;
        words.start(pdftotext,
                    {"-bbox", "-f", "1", "-l", "1", QString::fromStdString(pdf.string()), "-"});
        QVERIFY(words.waitForFinished(10000));
        const QString boxes = QString::fromUtf8(words.readAllStandardOutput());
        QRegularExpression first("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"");
        auto match = first.match(boxes);
        QVERIFY2(match.hasMatch(), qPrintable(boxes.left(400)));
        QVERIFY(std::abs(match.captured(1).toDouble() - 60.0) < 1.5);
        QVERIFY(std::abs(match.captured(2).toDouble() - 40.0) < 6.0);
    }

    void theKeyboardOpensAndFavoritesARecipe() {
        RunningApplication running("keyboard");
        QVERIFY(running.launched);
        auto pie = running.addRecipe("Apple pie");
        QVERIFY(running.save());
        running.window().show();
        running.window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&running.window()));
        QTableView* table = running.pane().table();
        table->setFocus();
        table->setCurrentIndex(table->model()->index(0, 0));
        QTest::keyClick(table, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(pie->onFavorites(), std::optional<bool>(true));
        QTest::keyClick(table, Qt::Key_Return);
        QVERIFY(running.pane().showsRecipe());
        QTest::keyClick(&running.window(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(pie->onFavorites(), std::optional<bool>(false));
    }

    void theSearchFieldFiltersInTheChosenScope() {
        RunningApplication running("search");
        QVERIFY(running.launched);
        running.addRecipe("Apple pie", "apples\nflour");
        running.addRecipe("Leek soup", "leeks\nstock");
        running.addRecipe("Pear tart", "pears\nflour");
        QVERIFY(running.save());
        QLineEdit* search = running.pane().searchField();
        QTest::keyClicks(search, "pie");
        QCOMPARE(running.shownNames(), QStringList{"Apple pie"});
        QCOMPARE(running.pane().findChild<QLabel*>("recipeCount")->text(), QString("1 Recipe"));

        QMenu* scope = search->findChild<QMenu*>();
        QVERIFY(scope != nullptr);
        QAction* byIngredient = nullptr;
        for (QAction* action : scope->actions()) {
            if (action->text() == "Ingredient") {
                byIngredient = action;
            }
        }
        QVERIFY(byIngredient != nullptr);
        search->clear();
        byIngredient->trigger();
        QCOMPARE(search->placeholderText(), QString("Search By Ingredient"));
        QTest::keyClicks(search, "flour");
        QCOMPARE(running.shownNames(), (QStringList{"Apple pie", "Pear tart"}));
    }

    void theNoticeSits10PointsFromTheBottomRightCorner() {
        RunningApplication running("notice");
        QVERIFY(running.launched);
        auto pie = running.addRecipe("Apple pie");
        QVERIFY(running.save());
        running.window().show();
        running.pane().openRecipe(pie);
        RecipeView& view = running.pane().recipeView();
        QVERIFY(view.controller().changeFavorites(true));
        auto* notice = view.findChild<QLabel*>("notice");
        QVERIFY(notice != nullptr);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QString("Recipe added to favorites."));
        QCOMPARE(notice->size(), QSize(286, 66));
        QCOMPARE(notice->geometry().bottomRight() + QPoint(1, 1),
                 QPoint(view.width() - 10, view.height() - 10));
        QTRY_VERIFY_WITH_TIMEOUT(!notice->isVisible(), 5000);
    }

    void draggingACategoryBetweenRowsReordersIt() {
        RunningApplication running("reorder");
        QVERIFY(running.launched);
        for (const char* name : {"Breads", "Cakes", "Drinks"}) {
            running.context().insert<RecipeCategory>()->setName(name);
        }
        QVERIFY(running.save());
        CategoryColumn& column = running.pane().categoryColumn();
        // The user's own order, which only shows with "Alphabetize Categories" off.
        column.controller().setAlphabetizeCategories(false);
        running.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&running.window()));
        auto names = [&] {
            QStringList shown;
            for (const auto& category : column.controller().categories()) {
                shown << QString::fromStdString(category->name().value_or(""));
            }
            return shown;
        };
        QCOMPARE(names(), (QStringList{"Breads", "Cakes", "Drinks"}));

        // "Drinks" dropped on the upper edge of "Breads" goes before it.
        auto* drinks =
            column.itemForRow(*column.controller().rowForItem(column.controller().categories()[2]));
        QMimeData* mime = column.model()->mimeData({column.indexFromItem(drinks)});
        QVERIFY(mime != nullptr);
        auto* breads =
            column.itemForRow(*column.controller().rowForItem(column.controller().categories()[0]));
        const QPoint at = column.visualItemRect(breads).topLeft() + QPoint(10, 1);
        QDragEnterEvent enter(at, Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(column.viewport(), &enter);
        QDropEvent drop(at, Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(column.viewport(), &drop);
        delete mime;
        QTRY_COMPARE(names(), (QStringList{"Drinks", "Breads", "Cakes"}));
    }

    void cancellingTheEditorWritesNothing() {
        RunningApplication running("cancel");
        QVERIFY(running.launched);
        auto pie = running.addRecipe("Apple pie", "apples");
        QVERIFY(running.save());
        running.app->editRecipe(pie, &running.window());
        auto* sheet = running.window().findChild<EditRecipeDialog*>();
        QVERIFY(sheet != nullptr);
        sheet->nameField()->setText("Plum pie");
        sheet->ingredientsField()->setPlainText("plums");
        QTest::keyClick(sheet, Qt::Key_Escape);
        QTRY_VERIFY(running.window().findChild<EditRecipeDialog*>() == nullptr);
        QCOMPARE(pie->name(), std::optional<std::string>("Apple pie"));
        QCOMPARE(pie->ingredients(), std::optional<std::string>("apples"));
        QVERIFY(!running.context().hasChanges());
    }

    void aBackupRunsBehindTheProgressDialog() {
        RunningApplication running("backup");
        QVERIFY(running.launched);
        running.addRecipe("Apple pie");
        QVERIFY(running.save());
        AlertLog alerts;
        QSignalSpy finished(&running.window().fileFlows(), &FileFlows::finished);
        const auto archive = running.folder() / "Mine.miravelbak";
        running.window().fileFlows().backupTo(archive);
        QVERIFY(running.window().fileFlows().progressDialog() != nullptr);
        QVERIFY(finished.wait(20000));
        QCOMPARE(alerts.texts, QStringList{"Backup Complete"});
        QVERIFY(std::filesystem::file_size(archive) > 0);
    }

    void anImageDroppedOnThePhotoWellBecomesThePhoto() {
        RunningApplication running("photo");
        QVERIFY(running.launched);
        auto pie = running.addRecipe("Apple pie");
        QVERIFY(running.save());
        QImage picture(400, 300, QImage::Format_RGB32);
        picture.fill(QColor(200, 120, 40));
        const QString file = QString::fromStdString((running.folder() / "pie.png").string());
        QVERIFY(picture.save(file));

        running.app->editRecipe(pie, &running.window());
        auto* sheet = running.window().findChild<EditRecipeDialog*>();
        QVERIFY(sheet != nullptr);
        auto* well = sheet->findChild<QLabel*>("photoWell");
        QVERIFY(well != nullptr);
        AlertLog alerts;
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file)});
        QDragEnterEvent enter(well->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(well, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(well->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(well, &drop);
        QCOMPARE(alerts.texts, QStringList{});
        QVERIFY(sheet->controller().image().has_value());
        QVERIFY(!well->pixmap().isNull());
        sheet->pressDone();
        QVERIFY(pie->photoPath().has_value());
        QVERIFY(std::filesystem::exists(*pie->photoPath()));
    }

private:
    static std::string meal(const std::string& title) {
        return "MMMMM----- Recipe via Meal-Master (tm) v8.05\n\n      Title: " + title +
               "\n Categories: Desserts\n   Servings: 4\n\n      2 c  flour\n      1 t  salt\n\n"
               "  Mix and bake.\n\nMMMMM\n\n";
    }
};

MIRAVEL_DESKTOP_TEST_MAIN(RecipesPaneTest)
#include "RecipesPaneTest.moc"
