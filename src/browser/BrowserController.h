#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/PageFetch.h"
#include "browser/WebView.h"
#include "lib/Error.h"
#include "lib/Image.h"
#include "lib/JsonValue.h"

namespace miravel {

class MainQueue;
class MiravelService;
class UserSettings;

// Pages are sent to the parse service only when the user named one ("ServiceBaseURL"); the
// client's fallback address is for sync set-up, not for pages of every site visited.
bool parseServiceConfigured(const UserSettings& settings);

// The "Request Site" mail of the save error.
struct SiteRequestMail {
    std::string recipient;
    std::string subject;
    std::string body;
};
inline constexpr const char* kSupportAddress = "support@miravel.example";

// The small editor shown next to a field button.
struct EditTextController {
    std::string title;      // the button's title
    std::string text;       // what the user edits
    std::string fieldName;  // the captured field it writes back to
};

// One of the eight fields the clipboard tools capture.
struct CapturedField {
    const char* property;  // "name", "ingredients", ... as processField names it
    const char* title;     // the button's title
    const char* key;       // the recipe dictionary's key
};
inline constexpr std::array<CapturedField, 8> kCapturedFields{{
    {"name", "Name", "name"},
    {"ingredients", "Ingredients", "ingredients"},
    {"directions", "Directions", "directions"},
    {"servings", "Servings", "servings"},
    {"nutrition", "Nutrition", "nutritional_info"},
    {"notes", "Notes", "notes"},
    {"prep", "Prep", "prep_time"},
    {"cook", "Cook", "cook_time"},
}};

inline constexpr const char* kUserAgentSuffix = " Chrome/21.0.1180.89 Safari/537.1";
inline constexpr const char* kSearchAddress = "https://www.bing.com/search?q=";
// The whole document: recipe sites put their JSON-LD in the head, which the body lacks.
inline constexpr const char* kPageMarkupScript = "document.documentElement.outerHTML";
inline constexpr const char* kSaveErrorTitle = "Error Processing Recipe";
inline constexpr const char* kSaveErrorText =
    "We couldn't process the recipe on this site. But don't worry, you can still save the "
    "recipe using the clipboard tools below.";

// What the pane draws or asks the user; the desktop binds it to widgets, the tests record it.
class BrowserPresenter {
public:
    virtual ~BrowserPresenter() = default;
    // "Name captured." next to the button.
    virtual void showNotice(const std::string& text, const std::string& button) = 0;
    // The field editor opened next to the button; closeFieldEditor hands back its text.
    virtual void showFieldEditor(const EditTextController& editor) = 0;
    virtual void refreshFieldButtons() = 0;
    // The recipe editor opened as a new recipe with these initial values.
    virtual void showRecipe(const JsonObject& dictionary, const std::optional<Image>& image) = 0;
    virtual void showProgress(bool shown) = 0;
    // "Error Processing Recipe", with "Close" and "Request Site".
    virtual void showSaveError() = 0;
    virtual void addressChanged(const std::string& /*address*/) {}
};

// The text a web address or a typed entry loads, or nothing when it must not load: bare hosts
// get "http://", http and https addresses stay as they are, any other scheme (javascript:,
// file:, data:) is refused rather than turned into a web address.
std::optional<std::string> loadableAddress(std::string_view text);
// Only http and https: what bookmarks and downloads may open.
bool isWebAddress(std::string_view url);
// A selection as a field keeps it: bullets and tabs gone, white space trimmed at both ends.
std::string cleanSelection(std::string_view text);
std::string searchAddress(std::string_view query);

// The Browser pane's logic: navigation, the clipboard tools, the picture well and "Save
// Recipe". Everything runs on the main queue.
class BrowserController {
public:
    BrowserController(WebView& webView, BrowserPresenter& presenter, MainQueue& queue);
    ~BrowserController();
    BrowserController(const BrowserController&) = delete;
    BrowserController& operator=(const BrowserController&) = delete;

    // The parse service, when one is configured; without it pages are read here.
    void setService(const MiravelService* service) { m_service = service; }
    // How pictures are fetched; fetchPageAsync on the main queue unless a test says otherwise.
    using PictureFetch =
        std::function<void(const std::string& url, std::function<void(Result<FetchedPage>)>)>;
    void setPictureFetch(PictureFetch fetch) { m_pictureFetch = std::move(fetch); }
    void setInitialUrl(std::optional<std::string> url) { m_initialUrl = std::move(url); }
    const std::optional<std::string>& initialUrl() const { return m_initialUrl; }

    // The pane opens: user agent, then the initial address or the home page.
    void open(const std::string& homePage);

    // Returns whether something was loaded.
    bool loadUrl(std::string_view text);
    bool loadBookmark(std::string_view url);
    void urlEntered(const std::string& text);
    void searchEntered(const std::string& text);
    void backPressed();
    void forwardPressed();
    void stopReloadPressed();
    void zoomIn();
    void zoomOut();
    // The address field's text; the web view's address follows it while pages load.
    const std::string& addressText() const { return m_address; }
    void setAddressText(std::string text) { m_address = std::move(text); }
    void pageAddressChanged(const std::string& address, bool userIsEditing);
    const char* stopReloadIcon() const;

    // Manual capture.
    void processField(const std::string& fieldName, const std::string& sender,
                      const std::string& localizedName);
    void fieldPressed(const std::string& fieldName);
    const std::optional<EditTextController>& fieldEditor() const { return m_fieldEditor; }
    void closeFieldEditor(std::string text);
    const std::string& field(std::string_view fieldName) const;
    void setField(std::string_view fieldName, std::string text);
    bool fieldIsOn(std::string_view fieldName) const { return !field(fieldName).empty(); }

    // Pictures. The context menu remembers the image under the pointer.
    std::vector<std::string> contextMenuOpened(std::optional<Image> image,
                                               std::optional<std::string> imageUrl);
    // A web engine names the image under the pointer before it hands over its pixels: the
    // menu is offered now, and the picture arrives through setCurrentImage when the user
    // picks Copy Image or Save Image.
    std::vector<std::string> contextMenuOverImage(std::string imageUrl);
    void setCurrentImage(Image image) { m_currentImage = std::move(image); }
    void copyImage();
    [[nodiscard]] Result<void> saveImage(const std::filesystem::path& file);
    [[nodiscard]] Result<void> imageDragged(std::string_view bytes);
    const std::optional<Image>& currentImage() const { return m_currentImage; }
    const std::optional<std::string>& currentImageUrl() const { return m_currentImageUrl; }
    const std::optional<Image>& wellImage() const { return m_wellImage; }

    void createPressed();
    void resetPressed();
    // The editor saved the recipe.
    void recipeEdited() { resetPressed(); }

    // "Save Recipe": the service's parse when one is configured, else (or when it fails) the
    // page parser here; the alert only when neither finds a recipe.
    void savePressed();
    bool isSaving() const { return m_saving; }
    const std::optional<JsonObject>& downloadedRecipe() const { return m_downloadedRecipe; }

    SiteRequestMail requestSite() const;

    void showRecipe(JsonObject dictionary, std::optional<Image> image,
                    std::optional<std::string> imageUrl);
    std::string getUrlSource() const;

private:
    std::string* fieldSlot(std::string_view fieldName);
    void parseHere(const std::string& url, const std::string& html);
    void recipeFound(JsonObject dictionary);
    void pictureArrived(Result<std::string> bytes, const std::string& url);

    WebView& m_webView;
    BrowserPresenter& m_presenter;
    MainQueue& m_queue;
    const MiravelService* m_service = nullptr;
    PictureFetch m_pictureFetch;
    std::array<std::string, kCapturedFields.size()> m_fields;
    std::string m_address;
    std::optional<std::string> m_initialUrl;
    std::optional<EditTextController> m_fieldEditor;
    std::optional<Image> m_currentImage;
    std::optional<std::string> m_currentImageUrl;
    std::optional<Image> m_wellImage;
    std::optional<JsonObject> m_downloadedRecipe;
    bool m_saving = false;
    // Completions of requests still running hold this, so a closed pane ignores them.
    std::shared_ptr<BrowserController*> m_alive;
};

}  // namespace miravel
