// The Browser pane over the real web engine, offscreen. One application (and so one engine)
// serves every case: the engine's start is the slow part.
#include <QBuffer>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <algorithm>
#include <optional>

#include "browser/BookmarksController.h"
#include "desktop/BookmarkWindows.h"
#include "desktop/BrowserPane.h"
#include "desktop/EditRecipeDialog.h"
#include "desktop/QtText.h"
#include "lib/AtomicFile.h"
#include "lib/JsonParser.h"
#include "model/Bookmark.h"
#include "support/DesktopTestSupport.h"

using namespace miravel;
using namespace miravel::desktop;
using namespace miravel::desktop::testing;

namespace {

const std::filesystem::path kWebPages = std::filesystem::path(MIRAVEL_CORPUS) / "webpages";

// Runs a script in the page and waits for it.
void runScript(QWebEngineView& view, const QString& script) {
    bool done = false;
    view.page()->runJavaScript(script, [&done](const QVariant&) { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
}

// Selects the contents of the element with this id.
void selectElement(QWebEngineView& view, const QString& id) {
    runScript(view, QString("(function(){var r=document.createRange();"
                            "r.selectNodeContents(document.getElementById('%1'));"
                            "var s=getSelection();s.removeAllRanges();s.addRange(r);})()")
                        .arg(id));
}

// The page's selection, or "(no answer)" when the engine gives none.
QString selection(QWebEngineView& view) {
    QString text = "(no answer)";
    bool done = false;
    view.page()->runJavaScript("getSelection().toString()", [&](const QVariant& value) {
        text = value.toString();
        done = true;
    });
    (void)QTest::qWaitFor([&] { return done; }, 10000);
    return text;
}

EditRecipeDialog* openEditor(QWidget& window) {
    for (auto* dialog : window.findChildren<EditRecipeDialog*>()) {
        if (dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

}  // namespace

class BrowserPaneTest : public QObject {
    Q_OBJECT

    std::optional<RunningApplication> m_running;
    BrowserPane* m_pane = nullptr;
    QTemporaryDir m_pages;

    // Loads markup the way a page from a file arrives, and waits for it.
    bool loadHtml(const QString& html) {
        QSignalSpy loaded(m_pane, &BrowserPane::pageLoaded);
        m_pane->view()->setHtml(html, QUrl("https://cooking.example.com/page"));
        return loaded.wait(15000) && loaded.first().first().toBool();
    }
    bool loadFile(const QString& path) {
        QSignalSpy loaded(m_pane, &BrowserPane::pageLoaded);
        m_pane->load(ss(QUrl::fromLocalFile(path).toString()));
        return loaded.wait(30000);
    }

    // Pictures come from the network, which the tests have not.
    void offlinePictures() {
        m_pane->controller().setPictureFetch(
            [](const std::string&, std::function<void(Result<FetchedPage>)> done) {
                done(std::unexpected(Error{"test", 1, "offline", {}}));
            });
    }

private slots:
    void initTestCase() {
        m_running.emplace("browser");
        QVERIFY(m_running->launched);
        m_running->window().showBrowserPane();
        m_pane = m_running->window().browserPane();
        QVERIFY(m_pane != nullptr);
        offlinePictures();
    }

    // A case that stopped early may have left its own picture fetch behind.
    void init() { offlinePictures(); }

    void cleanupTestCase() {
        m_pane = nullptr;
        m_running.reset();
    }

    void theEnginesFilesStayOutOfTheLibraryFolder() {
        const QString library = qpath(m_running->folder() / "Library");
        QWebEngineProfile* profile = m_pane->view()->page()->profile();
        QVERIFY(!profile->isOffTheRecord());
        for (const QString& path : {profile->persistentStoragePath(), profile->cachePath()}) {
            QVERIFY2(!path.startsWith(library), qPrintable(path));
            // The program's own data folder is its default library folder.
            QVERIFY2(
                !path.startsWith(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)),
                qPrintable(path));
        }
    }

    void theUserAgentNamesTheEngineAndTheCompatibleBrowser() {
        const std::string agent = ss(m_pane->view()->page()->profile()->httpUserAgent());
        QVERIFY(agent.ends_with(kUserAgentSuffix));
        QVERIFY(agent.size() > std::string_view(kUserAgentSuffix).size());
        QCOMPARE(m_pane->stopReloadButton()->toolTip().isEmpty(), false);
    }

    void savingACorpusPageReadFromAFileFillsTheEditor() {
        const auto page = kWebPages / "40aprons.com__fortyaprons_1.testhtml";
        if (!std::filesystem::exists(page)) {
            QSKIP("no corpus at ../shared/corpus");
        }
        auto expected =
            JsonParser::parse(*readFile(std::filesystem::path(page).replace_extension(".json")));
        QVERIFY(expected && expected->isObject());
        // The engine names a page's type by its file's extension.
        const QString copy = m_pages.filePath("fortyaprons.html");
        QFile::remove(copy);
        QVERIFY(QFile::copy(qpath(page), copy));
        QVERIFY(loadFile(copy));
        QCOMPARE(m_pane->addressField()->text(), QUrl::fromLocalFile(copy).toString());

        // The picture download holds the editor back, with the indicator showing meanwhile.
        std::function<void(Result<FetchedPage>)> pictureArrives;
        std::string pictureUrl;
        m_pane->controller().setPictureFetch(
            [&](const std::string& url, std::function<void(Result<FetchedPage>)> done) {
                pictureUrl = url;
                pictureArrives = std::move(done);
            });
        AlertLog alerts;
        QTest::mouseClick(m_pane->saveButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(pictureArrives != nullptr, 20000);
        QVERIFY(m_pane->saveProgress()->isVisible());
        QVERIFY(!m_pane->saveButton()->isEnabled());
        QVERIFY(openEditor(m_running->window()) == nullptr);
        QVERIFY(pictureUrl.starts_with("https://40aprons.com/"));
        pictureArrives(std::unexpected(Error{"test", 1, "offline", {}}));
        offlinePictures();
        QTRY_VERIFY_WITH_TIMEOUT(openEditor(m_running->window()) != nullptr, 20000);
        QVERIFY(alerts.texts.isEmpty());
        QVERIFY(!m_pane->saveProgress()->isVisible());
        QVERIFY(m_pane->saveButton()->isEnabled());
        EditRecipeDialog* editor = openEditor(m_running->window());
        QCOMPARE(editor->nameField()->text(), qs(expected->asObject().find("title")->asString()));
        const QString ingredients = editor->ingredientsField()->toPlainText();
        QVERIFY2(ingredients.contains("rosemary needles"), qPrintable(ingredients));
        QCOMPARE(qs(editor->controller().fields().sourceUrl), QUrl::fromLocalFile(copy).toString());
        editor->pressCancel();
        QTRY_VERIFY(openEditor(m_running->window()) == nullptr);
    }

    void aPageWithoutARecipeShowsTheErrorSheetAndLeavesTheFields() {
        QVERIFY(loadHtml("<html><body><p>Nothing to cook here.</p></body></html>"));
        m_pane->controller().setField("notes", "kept");
        AlertLog alerts;
        m_pane->saveButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(alerts.texts, QStringList{kSaveErrorTitle}, 10000);
        QVERIFY(openEditor(m_running->window()) == nullptr);
        QCOMPARE(m_pane->controller().field("notes"), std::string("kept"));
        QVERIFY(m_pane->saveButton()->isEnabled());
        m_pane->controller().resetPressed();
    }

    void aSelectionPressedIntoAnEmptyFieldIsStoredAndAnnounced() {
        m_pane->controller().resetPressed();
        QVERIFY(
            loadHtml("<html><body><h1 id='title'>  <span>&#8226;</span> Best Pasta\t </h1>"
                     "<ul id='list'><li>1 egg</li><li>200 g flour</li></ul></body></html>"));
        selectElement(*m_pane->view(), "title");
        QPushButton* name = m_pane->fieldButton("name");
        QVERIFY(!name->isChecked());
        QTest::mouseClick(name, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_pane->controller().field("name"), std::string("Best Pasta"),
                                  10000);
        QCOMPARE(m_pane->captureNotice()->text(), QString("Name captured."));
        QVERIFY(m_pane->captureNotice()->isVisible());
        QVERIFY(name->isChecked());
        // The page's selection is cleared once captured.
        QTRY_COMPARE_WITH_TIMEOUT(selection(*m_pane->view()), QString(), 10000);

        // A second capture into the filled field goes through the editor, and only closing
        // the editor stores its text.
        selectElement(*m_pane->view(), "list");
        QTest::mouseClick(name, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_pane->fieldEditor() != nullptr, 10000);
        QPlainTextEdit* text = m_pane->fieldEditor()->textEdit();
        QVERIFY(text->toPlainText().startsWith("Best Pasta\n1 egg"));
        QCOMPARE(m_pane->controller().field("name"), std::string("Best Pasta"));
        QVERIFY(name->isChecked());
        text->setPlainText("Best Pasta Ever");
        m_pane->fieldEditor()->close();
        QCOMPARE(m_pane->controller().field("name"), std::string("Best Pasta Ever"));

        // Nothing selected on an empty field: the editor opens empty, and an empty close
        // leaves the button off.
        runScript(*m_pane->view(), "getSelection().removeAllRanges()");
        QPushButton* cook = m_pane->fieldButton("cook");
        QTest::mouseClick(cook, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_pane->fieldEditor() != nullptr, 10000);
        QCOMPARE(m_pane->fieldEditor()->textEdit()->toPlainText(), QString());
        m_pane->fieldEditor()->close();
        QVERIFY(!cook->isChecked());

        // Create Recipe hands the captured fields to a new recipe; Reset turns every button off.
        m_pane->findChild<QPushButton*>("createRecipeButton")->click();
        EditRecipeDialog* editor = openEditor(m_running->window());
        QVERIFY(editor != nullptr);
        QCOMPARE(editor->nameField()->text(), QString("Best Pasta Ever"));
        editor->pressCancel();
        m_pane->findChild<QPushButton*>("resetButton")->click();
        QVERIFY(!name->isChecked());
    }

    void aNewWindowRequestLoadsInTheSameView() {
        const QString target = m_pages.filePath("target.html");
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html><body>Target</body></html>");
        file.close();
        const QString opener = m_pages.filePath("opener.html");
        QFile start(opener);
        QVERIFY(start.open(QIODevice::WriteOnly));
        start.write(
            "<html><body><a id='a' href='target.html' target='_blank'>go</a></body></html>");
        start.close();
        QVERIFY(loadFile(opener));
        // The click navigates away: the script's answer never comes.
        m_pane->view()->page()->runJavaScript("document.getElementById('a').click()");
        QTRY_COMPARE_WITH_TIMEOUT(m_pane->view()->url(), QUrl::fromLocalFile(target), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(m_pane->addressField()->text(),
                                  QUrl::fromLocalFile(target).toString(), 15000);
        QTRY_VERIFY(m_pane->controller().isSaving() == false);
        QTRY_VERIFY_WITH_TIMEOUT(!m_pane->isLoading(), 15000);
        QVERIFY(m_pane->canGoBack());
    }

    void theStopButtonTurnsIntoReloadWhenThePageHasArrived() {
        QStringList tips;
        auto watch = connect(m_pane->view()->page(), &QWebEnginePage::loadStarted, this,
                             [&] { tips << m_pane->stopReloadButton()->toolTip(); });
        QVERIFY(loadHtml("<html><body><p>Soup</p></body></html>"));
        disconnect(watch);
        QCOMPARE(tips, QStringList{"Stop"});
        QCOMPARE(m_pane->stopReloadButton()->toolTip(), QString("Reload"));
    }

    void theAddressFieldFollowsThePageUnlessTheUserIsTypingInIt() {
        QVERIFY(loadHtml("<html><body>One</body></html>"));
        QCOMPARE(m_pane->addressField()->text(), QString("https://cooking.example.com/page"));
        m_running->window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_running->window()));
        m_pane->addressField()->setFocus();
        QTRY_VERIFY(m_pane->addressField()->hasFocus());
        m_pane->addressField()->setText("pasta.example.com/half-typed");
        QSignalSpy loaded(m_pane, &BrowserPane::pageLoaded);
        m_pane->view()->setHtml("<html><body>Two</body></html>",
                                QUrl("https://cooking.example.com/other"));
        QVERIFY(loaded.wait(15000));
        QCOMPARE(m_pane->addressField()->text(), QString("pasta.example.com/half-typed"));
        // Entering it loads the address with its scheme added, and the page takes the keys.
        QTest::keyClick(m_pane->addressField(), Qt::Key_Return);
        QCOMPARE(m_pane->controller().addressText(),
                 std::string("http://pasta.example.com/half-typed"));
        QVERIFY(!m_pane->addressField()->hasFocus());

        m_pane->searchField()->setText("leek & potato soup");
        QTest::keyClick(m_pane->searchField(), Qt::Key_Return);
        QCOMPARE(m_pane->controller().addressText(),
                 std::string(kSearchAddress) + "leek%20%26%20potato%20soup");
        m_pane->stop();
    }

    void copyImageOverAPicturePutsItsThumbnailInTheWell() {
        m_pane->controller().resetPressed();
        QImage picture(600, 400, QImage::Format_RGB32);
        picture.fill(QColor(200, 60, 40));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        QVERIFY(
            loadHtml("<html><body style='margin:0'><img id='photo' width='600' height='400' "
                     "src='data:image/png;base64," +
                     QString::fromLatin1(png.toBase64()) + "'></body></html>"));
        QWidget* surface = m_pane->view()->focusProxy();
        QVERIFY(surface != nullptr);
        // The engine may not take input until its first frame is up: click until it answers.
        QMenu* menu = nullptr;
        for (int attempt = 0; attempt < 10 && menu == nullptr; ++attempt) {
            QTest::mousePress(surface, Qt::RightButton, {}, QPoint(100, 100));
            QTest::mouseRelease(surface, Qt::RightButton, {}, QPoint(100, 100));
            (void)QTest::qWaitFor(
                [&] { return (menu = m_pane->view()->findChild<QMenu*>()) != nullptr; }, 1000);
        }
        QVERIFY(menu != nullptr);
        QStringList titles;
        QAction* copy = nullptr;
        for (QAction* action : menu->actions()) {
            titles << action->text();
            if (action->text() == "Copy Image") {
                copy = action;
            }
        }
        QCOMPARE(titles, (QStringList{"Copy Image", "Save Image", "Make Text Larger",
                                      "Make Text Smaller"}));
        QVERIFY(m_pane->controller().currentImageUrl()->starts_with("data:image/png"));
        copy->trigger();
        menu->close();
        QTRY_VERIFY_WITH_TIMEOUT(m_pane->controller().wellImage().has_value(), 10000);
        QCOMPARE(m_pane->controller().wellImage()->width, 280);
        QCOMPARE(m_pane->controller().wellImage()->height, 280);
        QVERIFY(!m_pane->photoWell()->pixmap().isNull());
        m_pane->controller().resetPressed();
    }

    void theBookmarksMenuListsTheBookmarksAfterItsFiveFixedItems() {
        auto& context = m_running->context();
        auto bookmark = context.insert<Bookmark>();
        bookmark->setTitle("Soups & Stews");
        bookmark->setUrl("https://soups.example.com/");
        bookmark->setOrderFlag(1000);
        bookmark->setStatus(kStatusModified);
        QVERIFY(m_running->save());
        auto listed = listedBookmarks(context);
        QVERIFY(listed);

        m_pane->rebuildBookmarksMenu();
        const auto actions = m_pane->bookmarksMenu()->actions();
        // Without a parse service there is no "Supported Sites" (and one separator less).
        QCOMPARE(actions.size(), qsizetype(listed->size() + 3));
        QCOMPARE(actions[0]->text(), QString("Add Bookmark..."));
        QCOMPARE(actions[1]->text(), QString("Edit Bookmarks..."));
        QVERIFY(actions[2]->isSeparator());
        QCOMPARE(actions.last()->text(), QString("Soups && Stews"));
        m_pane->stop();
        actions.last()->trigger();
        QCOMPARE(m_pane->controller().addressText(), std::string("https://soups.example.com/"));
        m_pane->stop();
    }

    void theAddBookmarkPopoverStaysOpenUntilBothFieldsAreFilled() {
        auto& context = m_running->context();
        AddBookmarkPopover popover(context, "", "https://pies.example.com/", m_pane);
        popover.show();
        const auto before = listedBookmarks(context)->size();
        popover.pressDone();
        QVERIFY(popover.isVisible());
        QCOMPARE(listedBookmarks(context)->size(), before);
        popover.nameField()->setText("Pies");
        popover.pressDone();
        QVERIFY(!popover.isVisible());
        const auto after = *listedBookmarks(context);
        QCOMPARE(after.size(), before + 1);
        // An unset order flag reads as 0: the new bookmark is listed among the first.
        auto made = std::ranges::find_if(
            after, [](const auto& bookmark) { return bookmark->title() == "Pies"; });
        QVERIFY(made != after.end());
        QCOMPARE((*made)->orderFlag(), std::int64_t(0));
        QCOMPARE((*made)->url(), std::optional<std::string>("https://pies.example.com/"));
    }

    void draggingABookmarkBelowTheLastRenumbersTheList() {
        BookmarksWindow* window = m_pane->showBookmarksEditor();
        QVERIFY(window != nullptr);
        BookmarkTableModel& model = window->model();
        model.reload();
        const int count = model.rowCount();
        QVERIFY(count >= 3);
        QStringList names;
        for (int row = 0; row < count; ++row) {
            names << model.data(model.index(row, 0), Qt::DisplayRole).toString();
        }
        std::unique_ptr<QMimeData> drag(model.mimeData({model.index(0, 0), model.index(0, 1)}));
        // Onto a row is refused; between rows is a move.
        QVERIFY(!model.canDropMimeData(drag.get(), Qt::MoveAction, -1, -1, model.index(1, 0)));
        QVERIFY(model.canDropMimeData(drag.get(), Qt::MoveAction, count, 0, {}));
        model.dropMimeData(drag.get(), Qt::MoveAction, count, 0, {});
        names.move(0, count - 1);
        QStringList shown;
        for (int row = 0; row < count; ++row) {
            shown << model.data(model.index(row, 0), Qt::DisplayRole).toString();
        }
        QCOMPARE(shown, names);
        const auto& rows = window->controller().rows();
        for (std::size_t row = 0; row < rows.size(); ++row) {
            QCOMPARE(rows[row]->orderFlag(), std::int64_t(row));
        }
        QVERIFY(!window->removeButton()->isEnabled());
        window->table()->selectRow(0);
        QVERIFY(window->removeButton()->isEnabled());

        AlertLog alerts;
        alerts.answer = 1;  // Cancel
        window->deleteRows({0, 1});
        QCOMPARE(alerts.texts, QStringList{kDeleteBookmarksText});
        QCOMPARE(model.rowCount(), count);
        alerts.answer = 0;
        window->deleteRows({0});
        QCOMPARE(model.rowCount(), count - 1);
        window->close();
    }
};

int main(int argc, char** argv) {
    privateHome();
    MainQueue::shared().adoptCurrentThreadAsMain();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    BrowserPaneTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BrowserPaneTest.moc"
