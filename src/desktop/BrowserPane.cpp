#include "desktop/BrowserPane.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <algorithm>
#include <tuple>

#include "desktop/Alerts.h"
#include "desktop/BookmarkWindows.h"
#include "desktop/EditRecipeDialog.h"
#include "desktop/QtText.h"
#include "desktop/Shell.h"
#include "lib/AtomicFile.h"
#include "lib/StringTable.h"
#include "model/Library.h"
#include "model/MemoryKeychain.h"
#include "model/UserSettings.h"
#include "rendering/MailHandoff.h"
#include "sync/MiravelService.h"

namespace miravel::desktop {

namespace {

// The selection as text: list items arrive on lines of their own, table cells apart by tabs.
constexpr const char* kSelectionScript =
    "(function(){var s=window.getSelection();return s?s.toString():'';})()";
constexpr const char* kClearSelectionScript =
    "(function(){var s=window.getSelection();if(s)s.removeAllRanges();})()";

std::optional<Image> imageOfQImage(const QImage& picture) {
    if (picture.isNull()) {
        return std::nullopt;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) {
        return std::nullopt;
    }
    auto decoded = decodeImage(std::string_view(png.constData(), static_cast<size_t>(png.size())));
    if (!decoded) {
        return std::nullopt;
    }
    return std::move(*decoded);
}

QPixmap pixmapOfImage(const Image& image) {
    QPixmap pixmap;
    if (auto jpeg = encodeJpeg(image)) {
        pixmap.loadFromData(QByteArray::fromStdString(*jpeg));
    }
    return pixmap;
}

}  // namespace

// Handing the engine this page would replace its contents, history and all. A page of its
// own takes the request instead, only to learn the address, which then loads here.
QWebEnginePage* BrowserPage::createWindow(WebWindowType) {
    auto* catcher = new QWebEnginePage(profile(), this);
    connect(catcher, &QWebEnginePage::urlChanged, this, [this, catcher](const QUrl& url) {
        if (url.isEmpty() || catcher->property("taken").toBool()) {
            return;
        }
        catcher->setProperty("taken", true);
        catcher->triggerAction(QWebEnginePage::Stop);
        catcher->deleteLater();
        load(url);
    });
    return catcher;
}

BrowserWebView::BrowserWebView(BrowserPane& pane, QWidget* parent)
    : QWebEngineView(parent), m_pane(pane) {}

void BrowserWebView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = m_pane.makeContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

ClipPhotoWell::ClipPhotoWell(BrowserController& controller, QWidget* parent)
    : QLabel(parent), m_controller(controller) {
    setObjectName("clipPhotoWell");
    setAccessibleName(tr("Photo"));
    setFixedSize(64, 64);
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::StyledPanel);
    setAcceptDrops(true);
    setToolTip(tr("Drop a picture here, or use Copy Image on a picture of the page"));
    refresh();
}

void ClipPhotoWell::refresh() {
    if (const auto& image = m_controller.wellImage()) {
        setPixmap(pixmapOfImage(*image).scaled(size() - QSize(6, 6), Qt::KeepAspectRatio,
                                               Qt::SmoothTransformation));
    } else {
        setPixmap({});
        setText(tr("Photo"));
    }
}

void ClipPhotoWell::take(const QByteArray& bytes) {
    auto taken = m_controller.imageDragged(
        std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    if (!taken) {
        presentErrorAlert(this, taken.error());
    }
    refresh();
}

void ClipPhotoWell::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasImage() || event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void ClipPhotoWell::dropEvent(QDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (mime->hasImage()) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        qvariant_cast<QImage>(mime->imageData()).save(&buffer, "PNG");
        take(png);
    } else if (mime->hasUrls() && mime->urls().first().isLocalFile()) {
        auto bytes =
            readFile(fspath(mime->urls().first().toLocalFile()), {.regularFileOnly = true});
        if (!bytes) {
            presentErrorAlert(this, bytes.error());
            return;
        }
        take(QByteArray::fromStdString(*bytes));
    }
    event->acceptProposedAction();
}

FieldEditorPopup::FieldEditorPopup(const EditTextController& editor, QWidget* parent)
    : QWidget(parent, Qt::Popup) {
    setObjectName("fieldEditor");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(qs(editor.title), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    m_text = new QPlainTextEdit(this);
    m_text->setAccessibleName(qs(editor.title));
    m_text->setPlainText(qs(editor.text));
    m_text->moveCursor(QTextCursor::End);
    insertTabsOnControlTab(m_text);
    layout->addWidget(m_text);
    auto* done = new QPushButton(qs(miravel::tr("Done")), this);
    connect(done, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(done, 0, Qt::AlignRight);
    resize(360, 220);
}

void FieldEditorPopup::hideEvent(QHideEvent* event) {
    if (!m_reported) {
        m_reported = true;
        emit closedWithText(m_text->toPlainText());
    }
    QWidget::hideEvent(event);
}

BrowserPane::BrowserPane(Shell& shell, QWidget* parent)
    : QWidget(parent), m_shell(shell), m_profile(new QWebEngineProfile("Browser", this)) {
    setObjectName("browserPane");
    // The engine would keep its cookies and cache under the application's data folder, which
    // is the library folder a restore exchanges whole: they live beside it instead.
    m_profile->setPersistentStoragePath(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/miravel-browser");
    m_profile->setCachePath(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                            "/miravel-browser");
    m_defaultUserAgent = ss(m_profile->httpUserAgent());
    m_page = new BrowserPage(m_profile, this);
    m_view = new BrowserWebView(*this, this);
    m_view->setPage(m_page);
    m_view->setAccessibleName(tr("Web page"));

    m_controller = std::make_unique<BrowserController>(*this, *this, m_shell.library().mainQueue());
    // The page parse needs no account: the service gets no credentials. It reads its address
    // from the settings at each request; whether there is one is asked at each Save Recipe.
    m_serviceKeychain = std::make_unique<MemoryKeychain>();
    m_service = std::make_unique<MiravelService>(m_shell.settings(), *m_serviceKeychain,
                                                 m_shell.library().mainQueue());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeNavigationBar());
    layout->addWidget(m_view, 1);
    layout->addWidget(makeClipboardTools());

    connect(m_page, &QWebEnginePage::loadStarted, this, [this] {
        m_loading = true;
        refreshNavigation();
    });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        m_loading = false;
        refreshNavigation();
        emit pageLoaded(ok);
    });
    connect(m_page, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
        m_controller->pageAddressChanged(ss(url.toString()), m_address->hasFocus());
        refreshNavigation();
    });
    refreshNavigation();
}

BrowserPane::~BrowserPane() {
    // The page goes before its profile, and nothing the engine still delivers reaches the
    // controller.
    m_page->disconnect(this);
    m_controller.reset();
    delete m_view;
    m_view = nullptr;
    delete m_page;
    m_page = nullptr;
}

QWidget* BrowserPane::makeNavigationBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName("browserBar");
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 4, 6, 4);
    auto button = [this, bar](const QString& icon, QStyle::StandardPixmap fallback,
                              const QString& tip, auto&& run) {
        auto* made = new QToolButton(bar);
        made->setIcon(QIcon::fromTheme(icon, style()->standardIcon(fallback)));
        made->setToolTip(tip);
        made->setAccessibleName(tip);
        made->setAutoRaise(true);
        connect(made, &QToolButton::clicked, this, run);
        return made;
    };
    m_back = button("go-previous", QStyle::SP_ArrowBack, tr("Back"),
                    [this] { m_controller->backPressed(); });
    m_forward = button("go-next", QStyle::SP_ArrowForward, tr("Forward"),
                       [this] { m_controller->forwardPressed(); });
    m_stopReload = button("view-refresh", QStyle::SP_BrowserReload, qs(miravel::tr("Reload")),
                          [this] { m_controller->stopReloadPressed(); });
    row->addWidget(m_back);
    row->addWidget(m_forward);
    row->addWidget(m_stopReload);

    m_address = new QLineEdit(bar);
    m_address->setObjectName("addressField");
    m_address->setAccessibleName(tr("Address"));
    m_address->setPlaceholderText(tr("Address"));
    m_address->setClearButtonEnabled(true);
    connect(m_address, &QLineEdit::returnPressed, this,
            [this] { m_controller->urlEntered(ss(m_address->text())); });
    row->addWidget(m_address, 3);

    m_search = new QLineEdit(bar);
    m_search->setObjectName("searchField");
    m_search->setAccessibleName(tr("Search"));
    m_search->setPlaceholderText(tr("Search the web"));
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::returnPressed, this,
            [this] { m_controller->searchEntered(ss(m_search->text())); });
    row->addWidget(m_search, 1);

    // Where the icon theme has no zoom icons the buttons say what they do.
    for (const auto& [icon, text, tip, larger] :
         {std::tuple{"zoom-out", "A−", "Make Text Smaller", false},
          std::tuple{"zoom-in", "A+", "Make Text Larger", true}}) {
        auto* zoom = new QToolButton(bar);
        zoom->setIcon(QIcon::fromTheme(icon));
        zoom->setText(qs(text));
        zoom->setToolButtonStyle(QIcon::hasThemeIcon(icon) ? Qt::ToolButtonIconOnly
                                                           : Qt::ToolButtonTextOnly);
        zoom->setToolTip(qs(miravel::tr(tip)));
        zoom->setAccessibleName(qs(miravel::tr(tip)));
        zoom->setAutoRaise(true);
        connect(zoom, &QToolButton::clicked, this, [this, larger = larger] {
            larger ? m_controller->zoomIn() : m_controller->zoomOut();
        });
        row->addWidget(zoom);
    }

    m_bookmarks = new QToolButton(bar);
    m_bookmarks->setObjectName("bookmarksButton");
    m_bookmarks->setText(qs(miravel::tr("Bookmarks")));
    m_bookmarks->setAccessibleName(qs(miravel::tr("Bookmarks")));
    m_bookmarks->setIcon(QIcon::fromTheme("bookmarks", style()->standardIcon(QStyle::SP_DirIcon)));
    m_bookmarks->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_bookmarks->setPopupMode(QToolButton::InstantPopup);
    m_bookmarksMenu = new QMenu(m_bookmarks);
    connect(m_bookmarksMenu, &QMenu::aboutToShow, this, &BrowserPane::rebuildBookmarksMenu);
    m_bookmarks->setMenu(m_bookmarksMenu);
    row->addWidget(m_bookmarks);

    m_progress = new QProgressBar(bar);
    m_progress->setRange(0, 0);
    m_progress->setFixedWidth(60);
    m_progress->setTextVisible(false);
    m_progress->setAccessibleName(tr("Reading the recipe"));
    m_progress->hide();
    row->addWidget(m_progress);
    m_save = new QPushButton(qs(miravel::tr("Save Recipe")), bar);
    m_save->setObjectName("saveRecipeButton");
    m_save->setIcon(
        QIcon::fromTheme("document-save", style()->standardIcon(QStyle::SP_DialogSaveButton)));
    m_save->setToolTip(tr("Read the recipe on this page into a new recipe"));
    connect(m_save, &QPushButton::clicked, this, [this] {
        m_controller->setService(parseServiceConfigured(m_shell.settings()) ? m_service.get()
                                                                            : nullptr);
        m_controller->savePressed();
    });
    row->addWidget(m_save);
    return bar;
}

QWidget* BrowserPane::makeClipboardTools() {
    auto* tools = new QFrame(this);
    tools->setObjectName("clipboardTools");
    tools->setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(tools);
    row->setContentsMargins(8, 6, 8, 6);
    // A field that holds text shows "on".
    tools->setStyleSheet(
        "QPushButton[field=\"true\"] { background: #f6f6f6; border: 1px solid #b4b4b4;"
        " border-radius: 3px; padding: 4px 12px; }"
        "QPushButton[field=\"true\"]:pressed { background: #e4e4e4; }"
        "QPushButton[field=\"true\"]:checked { background: #d6e6fb; border-color: #3f7fd0;"
        " color: #123d73; }");
    auto* hint = new QLabel(tr("Select text on the page, then press a field:"), tools);
    hint->setWordWrap(true);
    hint->setMaximumWidth(200);
    row->addWidget(hint);
    for (std::size_t i = 0; i < kCapturedFields.size(); ++i) {
        const CapturedField& field = kCapturedFields[i];
        auto* button = new QPushButton(qs(miravel::tr(field.title)), tools);
        button->setObjectName(QString("field_") + field.property);
        button->setCheckable(true);
        button->setProperty("field", true);
        button->setToolTip(tr("Capture the selection as the recipe's %1")
                               .arg(qs(miravel::tr(field.title)).toLower()));
        connect(button, &QPushButton::clicked, this, [this, property = field.property] {
            // The button shows the field, not the click: the controller decides.
            refreshFieldButtons();
            m_controller->fieldPressed(property);
        });
        m_fieldButtons[i] = button;
        row->addWidget(button);
    }
    row->addSpacing(8);
    m_well = new ClipPhotoWell(*m_controller, tools);
    row->addWidget(m_well);
    auto* create = new QPushButton(qs(miravel::tr("Create Recipe")), tools);
    create->setObjectName("createRecipeButton");
    connect(create, &QPushButton::clicked, this, [this] { m_controller->createPressed(); });
    row->addWidget(create);
    auto* reset = new QPushButton(qs(miravel::tr("Reset")), tools);
    reset->setObjectName("resetButton");
    connect(reset, &QPushButton::clicked, this, [this] {
        m_controller->resetPressed();
        m_well->refresh();
    });
    row->addWidget(reset);
    row->addStretch();

    m_captureNotice = new QLabel(this);
    m_captureNotice->setObjectName("captureNotice");
    m_captureNotice->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_captureNotice->setStyleSheet(
        "QLabel#captureNotice { background: rgba(40, 40, 40, 220); color: white;"
        " border-radius: 6px; padding: 4px 10px; }");
    m_captureNotice->hide();
    return tools;
}

QPushButton* BrowserPane::fieldButton(std::string_view fieldName) const {
    for (std::size_t i = 0; i < kCapturedFields.size(); ++i) {
        if (fieldName == kCapturedFields[i].property) {
            return m_fieldButtons[i];
        }
    }
    return nullptr;
}

void BrowserPane::start() {
    if (m_started) {
        return;
    }
    m_started = true;
    m_controller->open(m_shell.settings().text(kDefaultUrlKey));
}

void BrowserPane::showAddress(const std::string& url) {
    if (m_started) {
        m_controller->loadUrl(url);
    } else {
        m_controller->setInitialUrl(url);
        start();
    }
}

void BrowserPane::refreshNavigation() {
    m_back->setEnabled(canGoBack());
    m_forward->setEnabled(canGoForward());
    const bool stop = std::string_view(m_controller->stopReloadIcon()) == "stop_icon";
    m_stopReload->setIcon(
        stop ? QIcon::fromTheme("process-stop", style()->standardIcon(QStyle::SP_BrowserStop))
             : QIcon::fromTheme("view-refresh", style()->standardIcon(QStyle::SP_BrowserReload)));
    const QString tip = qs(miravel::tr(stop ? "Stop" : "Reload"));
    m_stopReload->setToolTip(tip);
    m_stopReload->setAccessibleName(tip);
}

// WebView

void BrowserPane::load(const std::string& url) {
    m_page->load(QUrl(qs(url)));
}

void BrowserPane::evaluateScript(const std::string& script, TextHandler done) {
    QPointer<BrowserPane> self(this);
    m_page->runJavaScript(qs(script), [self, done = std::move(done)](const QVariant& result) {
        if (self && self->m_controller) {
            done(ss(result.toString()));
        }
    });
}

void BrowserPane::selectedText(TextHandler done) {
    evaluateScript(kSelectionScript, std::move(done));
}

void BrowserPane::clearSelection() {
    m_page->runJavaScript(kClearSelectionScript);
}

std::string BrowserPane::title() const {
    return ss(m_page->title());
}

std::string BrowserPane::address() const {
    return ss(m_page->url().toString());
}

bool BrowserPane::canGoBack() const {
    return m_page->history()->canGoBack();
}

bool BrowserPane::canGoForward() const {
    return m_page->history()->canGoForward();
}

void BrowserPane::goBack() {
    m_page->triggerAction(QWebEnginePage::Back);
}

void BrowserPane::goForward() {
    m_page->triggerAction(QWebEnginePage::Forward);
}

void BrowserPane::stop() {
    m_page->triggerAction(QWebEnginePage::Stop);
}

void BrowserPane::reload() {
    m_page->triggerAction(QWebEnginePage::Reload);
}

double BrowserPane::zoomFactor() const {
    return m_page->zoomFactor();
}

void BrowserPane::setZoomFactor(double factor) {
    // The engine takes 0.25 to 5.
    m_page->setZoomFactor(std::clamp(factor, 0.25, 5.0));
}

std::string BrowserPane::defaultUserAgent() const {
    return m_defaultUserAgent;
}

void BrowserPane::setUserAgent(const std::string& agent) {
    m_profile->setHttpUserAgent(qs(agent));
}

void BrowserPane::focus() {
    m_view->setFocus();
}

// BrowserPresenter

void BrowserPane::showNotice(const std::string& text, const std::string& button) {
    QPushButton* next = nullptr;
    for (std::size_t i = 0; i < kCapturedFields.size(); ++i) {
        if (button == kCapturedFields[i].title) {
            next = m_fieldButtons[i];
        }
    }
    m_captureNotice->setText(qs(miravel::tr(text)));
    m_captureNotice->adjustSize();
    if (next != nullptr) {
        QPoint above = next->mapTo(this, QPoint(0, 0));
        m_captureNotice->move(
            std::max(0, above.x() + (next->width() - m_captureNotice->width()) / 2),
            std::max(0, above.y() - m_captureNotice->height() - 4));
    }
    m_captureNotice->show();
    m_captureNotice->raise();
    QTimer::singleShot(1800, m_captureNotice,
                       [notice = m_captureNotice, text = m_captureNotice->text()] {
                           if (notice->text() == text) {
                               notice->hide();
                           }
                       });
}

void BrowserPane::showFieldEditor(const EditTextController& editor) {
    if (m_fieldEditor) {
        m_fieldEditor->close();
    }
    auto* popup = new FieldEditorPopup(editor, this);
    connect(popup, &FieldEditorPopup::closedWithText, this,
            [this](const QString& text) { m_controller->closeFieldEditor(ss(text)); });
    QWidget* anchor = fieldButton(editor.fieldName);
    QPoint at =
        anchor ? anchor->mapToGlobal(QPoint(0, -popup->height() - 4)) : mapToGlobal(QPoint(0, 0));
    popup->move(at);
    m_fieldEditor = popup;
    popup->show();
    popup->textEdit()->setFocus();
}

void BrowserPane::refreshFieldButtons() {
    for (std::size_t i = 0; i < kCapturedFields.size(); ++i) {
        m_fieldButtons[i]->setChecked(m_controller->fieldIsOn(kCapturedFields[i].property));
    }
}

void BrowserPane::showRecipe(const JsonObject& dictionary, const std::optional<Image>& image) {
    auto* dialog =
        new EditRecipeDialog(m_shell, nullptr, window(), BrowserCapture{dictionary, image});
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &EditRecipeDialog::saved, this, [this] {
        m_controller->recipeEdited();
        m_well->refresh();
    });
    dialog->open();
}

void BrowserPane::showProgress(bool shown) {
    m_progress->setVisible(shown);
    m_save->setEnabled(!shown);
}

void BrowserPane::showSaveError() {
    const int answer =
        presentAlert(this, {QMessageBox::Warning,
                            qs(miravel::tr(kSaveErrorTitle)),
                            qs(miravel::tr(kSaveErrorText)),
                            {qs(miravel::tr("Close")), qs(miravel::tr("Request Site"))}});
    if (answer == 1) {
        const SiteRequestMail mail = m_controller->requestSite();
        m_shell.mail().emailWithContent(mail.body, mail.subject, {},
                                        std::vector<std::string>{mail.recipient});
    }
}

void BrowserPane::addressChanged(const std::string& address) {
    m_address->setText(qs(address));
    m_address->setCursorPosition(0);
}

// Bookmarks

void BrowserPane::rebuildBookmarksMenu() {
    m_bookmarksMenu->clear();
    for (const BookmarkMenuItem& item :
         miravel::bookmarksMenu(m_shell.context(), parseServiceConfigured(m_shell.settings()))) {
        using Kind = BookmarkMenuItem::Kind;
        switch (item.kind) {
            case Kind::Separator:
                m_bookmarksMenu->addSeparator();
                break;
            case Kind::AddBookmark:
                m_bookmarksMenu->addAction(qs(miravel::tr("Add Bookmark")) + "...", this,
                                           &BrowserPane::showAddBookmark);
                break;
            case Kind::EditBookmarks:
                m_bookmarksMenu->addAction(qs(miravel::tr("Edit Bookmarks")) + "...", this,
                                           &BrowserPane::showBookmarksEditor);
                break;
            case Kind::SupportedSites:
                m_bookmarksMenu->addAction(qs(miravel::tr("Supported Sites")), this, [this] {
                    m_controller->loadUrl(
                        supportedSitesUrl(m_shell.settings().text(kServiceBaseUrlKey)));
                });
                break;
            case Kind::Bookmark: {
                QString title = qs(item.title);
                title.replace("&", "&&");
                m_bookmarksMenu->addAction(
                    title, this, [this, url = item.url] { m_controller->loadBookmark(url); });
                break;
            }
        }
    }
}

void BrowserPane::showAddBookmark() {
    auto* popover =
        new AddBookmarkPopover(m_shell.context(), title(), m_controller->addressText(), this);
    popover->move(m_bookmarks->mapToGlobal(QPoint(0, m_bookmarks->height())));
    popover->show();
}

BookmarksWindow* BrowserPane::showBookmarksEditor() {
    if (!m_bookmarksWindow) {
        m_bookmarksWindow = new BookmarksWindow(m_shell, window());
        m_bookmarksWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_bookmarksWindow->show();
    m_bookmarksWindow->raise();
    m_bookmarksWindow->activateWindow();
    return m_bookmarksWindow;
}

// Pictures

QMenu* BrowserPane::makeContextMenu(QWidget* parent) {
    const QWebEngineContextMenuRequest* request = m_view->lastContextMenuRequest();
    const bool overImage =
        request != nullptr && request->mediaType() == QWebEngineContextMenuRequest::MediaTypeImage;
    QMenu* menu = nullptr;
    std::vector<std::string> items;
    if (overImage) {
        menu = new QMenu(parent);
        items = m_controller->contextMenuOverImage(ss(request->mediaUrl().toString()));
    } else {
        menu = m_view->createStandardContextMenu();
        menu->addSeparator();
        items = m_controller->contextMenuOpened(std::nullopt, std::nullopt);
    }
    for (const std::string& item : items) {
        QAction* action = menu->addAction(qs(miravel::tr(item)));
        if (item == "Copy Image") {
            connect(action, &QAction::triggered, this, [this] {
                takeContextImage([this] {
                    m_controller->copyImage();
                    m_well->refresh();
                });
            });
        } else if (item == "Save Image") {
            connect(action, &QAction::triggered, this,
                    [this] { takeContextImage([this] { saveContextImage(); }); });
        } else if (item == "Make Text Larger") {
            connect(action, &QAction::triggered, this, [this] { m_controller->zoomIn(); });
        } else if (item == "Make Text Smaller") {
            connect(action, &QAction::triggered, this, [this] { m_controller->zoomOut(); });
        }
    }
    return menu;
}

// The engine hands the decoded picture over through the clipboard, whatever its origin.
void BrowserPane::takeContextImage(std::function<void()> then) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto* waiting = new QObject(this);
    auto finish = [this, clipboard, waiting, then = std::move(then)] {
        if (waiting->property("done").toBool()) {
            return;
        }
        waiting->setProperty("done", true);
        waiting->deleteLater();
        if (auto image = imageOfQImage(clipboard->image())) {
            m_controller->setCurrentImage(std::move(*image));
            then();
        }
    };
    connect(clipboard, &QClipboard::dataChanged, waiting, finish);
    QTimer::singleShot(3000, waiting, finish);
    m_page->triggerAction(QWebEnginePage::CopyImageToClipboard);
}

void BrowserPane::saveContextImage() {
    const QString file = QFileDialog::getSaveFileName(this, qs(miravel::tr("Save Image")), {},
                                                      tr("Images (*.png *.jpeg *.jpg)"));
    if (file.isEmpty()) {
        return;
    }
    if (auto saved = m_controller->saveImage(fspath(file)); !saved) {
        presentErrorAlert(this, saved.error());
    }
}

}  // namespace miravel::desktop
