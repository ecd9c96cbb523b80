#pragma once

#include <QLabel>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>
#include <array>
#include <memory>

#include "browser/BrowserController.h"
#include "browser/WebView.h"

class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class QWebEngineProfile;

namespace miravel {
class MemoryKeychain;
class MiravelService;
}  // namespace miravel

namespace miravel::desktop {

class AddBookmarkPopover;
class BookmarksWindow;
class BrowserPane;
class Shell;

// Requests for a new window or tab load in this same page, after what it shows.
class BrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    QWebEnginePage* createWindow(WebWindowType type) override;
};

// The page's context menu comes from the pane's controller.
class BrowserWebView : public QWebEngineView {
    Q_OBJECT
public:
    BrowserWebView(BrowserPane& pane, QWidget* parent);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    BrowserPane& m_pane;
};

// The clipboard tools' picture: shows the controller's well image and takes a dropped image.
class ClipPhotoWell : public QLabel {
    Q_OBJECT
public:
    ClipPhotoWell(BrowserController& controller, QWidget* parent);
    void refresh();
    // A dropped image file or image data, as a drop hands it over.
    void take(const QByteArray& bytes);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    BrowserController& m_controller;
};

// The small editor next to a field button; what it holds when it closes goes into the field.
class FieldEditorPopup : public QWidget {
    Q_OBJECT
public:
    FieldEditorPopup(const EditTextController& editor, QWidget* parent);
    QPlainTextEdit* textEdit() const { return m_text; }

signals:
    void closedWithText(const QString& text);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QPlainTextEdit* m_text;
    bool m_reported = false;
};

// The Browser pane: the navigation bar, the page, the clipboard tools and Save Recipe. It is
// the controller's web view (over Qt WebEngine) and its presenter; every rule is the
// controller's.
class BrowserPane : public QWidget, public WebView, public BrowserPresenter {
    Q_OBJECT
public:
    BrowserPane(Shell& shell, QWidget* parent = nullptr);
    ~BrowserPane() override;

    BrowserController& controller() { return *m_controller; }
    // Loads the home page, or the address waiting in initialUrl, once.
    void start();
    // View Source and the like: shows the page (at once when the pane has started).
    void showAddress(const std::string& url);

    QWebEngineView* view() const { return m_view; }
    QLineEdit* addressField() const { return m_address; }
    QLineEdit* searchField() const { return m_search; }
    QToolButton* stopReloadButton() const { return m_stopReload; }
    QToolButton* bookmarksButton() const { return m_bookmarks; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* fieldButton(std::string_view fieldName) const;
    QLabel* captureNotice() const { return m_captureNotice; }
    FieldEditorPopup* fieldEditor() const { return m_fieldEditor; }
    ClipPhotoWell* photoWell() const { return m_well; }
    QProgressBar* saveProgress() const { return m_progress; }
    // The bookmarks menu as it opens; its items are rebuilt every time.
    QMenu* bookmarksMenu() const { return m_bookmarksMenu; }
    void rebuildBookmarksMenu();
    void showAddBookmark();
    BookmarksWindow* showBookmarksEditor();
    // The context menu for what lies under the pointer.
    QMenu* makeContextMenu(QWidget* parent);

    // WebView
    void load(const std::string& url) override;
    void evaluateScript(const std::string& script, TextHandler done) override;
    void selectedText(TextHandler done) override;
    void clearSelection() override;
    std::string title() const override;
    std::string address() const override;
    bool isLoading() const override { return m_loading; }
    bool canGoBack() const override;
    bool canGoForward() const override;
    void goBack() override;
    void goForward() override;
    void stop() override;
    void reload() override;
    double zoomFactor() const override;
    void setZoomFactor(double factor) override;
    std::string defaultUserAgent() const override;
    void setUserAgent(const std::string& agent) override;
    void focus() override;

    // BrowserPresenter
    void showNotice(const std::string& text, const std::string& button) override;
    void showFieldEditor(const EditTextController& editor) override;
    void refreshFieldButtons() override;
    void showRecipe(const JsonObject& dictionary, const std::optional<Image>& image) override;
    void showProgress(bool shown) override;
    void showSaveError() override;
    void addressChanged(const std::string& address) override;

signals:
    // The engine finished a load (true when the page arrived).
    void pageLoaded(bool ok);

private:
    QWidget* makeNavigationBar();
    QWidget* makeClipboardTools();
    void refreshNavigation();
    // The engine's picture of the image under the last context menu, then `then`.
    void takeContextImage(std::function<void()> then);
    void saveContextImage();

    Shell& m_shell;
    QWebEngineProfile* m_profile;
    BrowserPage* m_page = nullptr;
    BrowserWebView* m_view = nullptr;
    std::unique_ptr<MemoryKeychain> m_serviceKeychain;
    std::unique_ptr<MiravelService> m_service;
    std::unique_ptr<BrowserController> m_controller;
    std::string m_defaultUserAgent;
    bool m_loading = false;
    bool m_started = false;

    QToolButton* m_back = nullptr;
    QToolButton* m_forward = nullptr;
    QToolButton* m_stopReload = nullptr;
    QToolButton* m_bookmarks = nullptr;
    QMenu* m_bookmarksMenu = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_search = nullptr;
    QPushButton* m_save = nullptr;
    QProgressBar* m_progress = nullptr;
    std::array<QPushButton*, kCapturedFields.size()> m_fieldButtons{};
    QLabel* m_captureNotice = nullptr;
    QPointer<FieldEditorPopup> m_fieldEditor;
    ClipPhotoWell* m_well = nullptr;
    QPointer<BookmarksWindow> m_bookmarksWindow;
};

}  // namespace miravel::desktop
