#include "browser/BrowserController.h"

#include <algorithm>
#include <cctype>

#include "browser/PageFetch.h"
#include "browser/PageRecipe.h"
#include "browser/RecipePageParser.h"
#include "lib/AtomicFile.h"
#include "lib/ImageThumbnail.h"
#include "lib/Log.h"
#include "lib/MainQueue.h"
#include "model/UserSettings.h"
#include "sync/MiravelService.h"

namespace miravel {

namespace {

std::string lower(std::string_view text) {
    std::string result(text);
    std::ranges::transform(result, result.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// The scheme of `text` ("javascript" for "javascript:alert(1)"), or empty when there is none.
// "localhost:8080/x" has none: a port is no scheme.
std::string schemeOf(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 ||
        !std::isalpha(static_cast<unsigned char>(text[0]))) {
        return {};
    }
    for (char c : text.substr(0, colon)) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
            return {};
        }
    }
    const std::string_view rest = text.substr(colon + 1);
    const auto portEnd = rest.find_first_of("/?#");
    const std::string_view port = rest.substr(0, portEnd);
    if (!port.empty() &&
        std::ranges::all_of(port, [](unsigned char c) { return std::isdigit(c); })) {
        return {};
    }
    return lower(text.substr(0, colon));
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n\f\v");
    return text.substr(first, last - first + 1);
}

std::size_t fieldIndex(std::string_view fieldName) {
    for (std::size_t i = 0; i < kCapturedFields.size(); ++i) {
        if (fieldName == kCapturedFields[i].property) {
            return i;
        }
    }
    return kCapturedFields.size();
}

const std::string kNoText;

}  // namespace

bool parseServiceConfigured(const UserSettings& settings) {
    return !trimmed(settings.text(kServiceBaseUrlKey)).empty();
}

std::optional<std::string> loadableAddress(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) {
        return std::nullopt;
    }
    const std::string scheme = schemeOf(text);
    if (scheme == "http" || scheme == "https") {
        return std::string(text);
    }
    if (!scheme.empty()) {
        return std::nullopt;
    }
    return "http://" + std::string(text);
}

bool isWebAddress(std::string_view url) {
    const std::string scheme = schemeOf(url);
    return (scheme == "http" || scheme == "https") && url.size() > scheme.size() + 3 &&
           url.substr(scheme.size(), 3) == "://";
}

std::string cleanSelection(std::string_view text) {
    static constexpr std::string_view kBullet = "\xE2\x80\xA2";
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i, kBullet.size()) == kBullet) {
            i += kBullet.size();
        } else if (text[i] == '\t') {
            ++i;
        } else {
            result += text[i++];
        }
    }
    return std::string(trimmed(result));
}

std::string searchAddress(std::string_view query) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string address = kSearchAddress;
    for (unsigned char c : query) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            address += static_cast<char>(c);
        } else {
            address += '%';
            address += kHex[c >> 4];
            address += kHex[c & 0xF];
        }
    }
    return address;
}

BrowserController::BrowserController(WebView& webView, BrowserPresenter& presenter,
                                     MainQueue& queue)
    : m_webView(webView),
      m_presenter(presenter),
      m_queue(queue),
      m_pictureFetch(
          [&queue](const std::string& url, std::function<void(Result<FetchedPage>)> done) {
              fetchPageAsync(url, queue, std::move(done));
          }),
      m_alive(std::make_shared<BrowserController*>(this)) {}

BrowserController::~BrowserController() {
    *m_alive = nullptr;
}

void BrowserController::open(const std::string& homePage) {
    m_webView.setUserAgent(m_webView.defaultUserAgent() + kUserAgentSuffix);
    if (m_initialUrl) {
        const std::string url = std::move(*m_initialUrl);
        m_initialUrl.reset();
        loadUrl(url);
    } else {
        loadUrl(homePage);
    }
}

bool BrowserController::loadUrl(std::string_view text) {
    const auto address = loadableAddress(text);
    if (!address) {
        if (!trimmed(text).empty()) {
            logLine("Refused to load {}", std::string(text));
        }
        return false;
    }
    m_webView.load(*address);
    m_address = *address;
    m_presenter.addressChanged(m_address);
    return true;
}

bool BrowserController::loadBookmark(std::string_view url) {
    return isWebAddress(trimmed(url)) && loadUrl(url);
}

void BrowserController::urlEntered(const std::string& text) {
    if (text != m_webView.address()) {
        loadUrl(text);
    }
    m_webView.focus();
}

void BrowserController::searchEntered(const std::string& text) {
    if (!text.empty()) {
        loadUrl(searchAddress(text));
    }
}

void BrowserController::backPressed() {
    if (m_webView.canGoBack()) {
        m_webView.goBack();
    }
}

void BrowserController::forwardPressed() {
    if (m_webView.canGoForward()) {
        m_webView.goForward();
    }
}

void BrowserController::stopReloadPressed() {
    if (m_webView.isLoading()) {
        m_webView.stop();
    } else {
        m_webView.reload();
    }
}

void BrowserController::zoomIn() {
    m_webView.setZoomFactor(m_webView.zoomFactor() * 1.1);
}
void BrowserController::zoomOut() {
    m_webView.setZoomFactor(m_webView.zoomFactor() / 1.1);
}

void BrowserController::pageAddressChanged(const std::string& address, bool userIsEditing) {
    if (!userIsEditing) {
        m_address = address;
        m_presenter.addressChanged(m_address);
    }
}

const char* BrowserController::stopReloadIcon() const {
    return m_webView.isLoading() ? "stop_icon" : "refresh_icon";
}

std::string* BrowserController::fieldSlot(std::string_view fieldName) {
    const std::size_t index = fieldIndex(fieldName);
    return index < m_fields.size() ? &m_fields[index] : nullptr;
}

const std::string& BrowserController::field(std::string_view fieldName) const {
    const std::size_t index = fieldIndex(fieldName);
    return index < m_fields.size() ? m_fields[index] : kNoText;
}

void BrowserController::setField(std::string_view fieldName, std::string text) {
    if (std::string* slot = fieldSlot(fieldName)) {
        *slot = std::move(text);
    }
}

void BrowserController::fieldPressed(const std::string& fieldName) {
    const std::size_t index = fieldIndex(fieldName);
    if (index < kCapturedFields.size()) {
        processField(fieldName, kCapturedFields[index].title, kCapturedFields[index].title);
    }
}

void BrowserController::processField(const std::string& fieldName, const std::string& sender,
                                     const std::string& localizedName) {
    if (fieldSlot(fieldName) == nullptr) {
        return;
    }
    std::shared_ptr<BrowserController*> alive = m_alive;
    m_webView.selectedText([alive, fieldName, sender, localizedName](std::string selected) {
        BrowserController* self = *alive;
        if (self == nullptr) {
            return;
        }
        std::string* slot = self->fieldSlot(fieldName);
        const std::string selection = cleanSelection(selected);
        if (slot->empty() && !selection.empty()) {
            *slot = selection;
            self->m_webView.clearSelection();
            self->m_presenter.showNotice(localizedName + " captured.", sender);
        } else {
            std::string text = slot->empty() ? selection : *slot + "\n" + selection;
            self->m_fieldEditor = EditTextController{localizedName, std::move(text), fieldName};
            self->m_presenter.showFieldEditor(*self->m_fieldEditor);
        }
        self->m_presenter.refreshFieldButtons();
    });
}

void BrowserController::closeFieldEditor(std::string text) {
    if (!m_fieldEditor) {
        return;
    }
    setField(m_fieldEditor->fieldName, std::move(text));
    m_fieldEditor.reset();
    m_presenter.refreshFieldButtons();
}

std::vector<std::string> BrowserController::contextMenuOpened(std::optional<Image> image,
                                                              std::optional<std::string> imageUrl) {
    if (image) {
        m_currentImage = std::move(image);
        m_currentImageUrl = std::move(imageUrl);
        return {"Copy Image", "Save Image", "Make Text Larger", "Make Text Smaller"};
    }
    return {"Make Text Larger", "Make Text Smaller"};
}

std::vector<std::string> BrowserController::contextMenuOverImage(std::string imageUrl) {
    m_currentImage.reset();
    m_currentImageUrl = std::move(imageUrl);
    return {"Copy Image", "Save Image", "Make Text Larger", "Make Text Smaller"};
}

void BrowserController::copyImage() {
    if (!m_currentImage) {
        return;
    }
    m_wellImage = createThumbnail(*m_currentImage);
    m_currentImage.reset();
}

Result<void> BrowserController::saveImage(const std::filesystem::path& file) {
    if (!m_currentImage) {
        return {};
    }
    auto jpeg = encodeJpeg(*m_currentImage, 100);
    if (!jpeg) {
        return std::unexpected(jpeg.error());
    }
    auto written = writeFileAtomically(file, *jpeg);
    if (!written) {
        return written;
    }
    m_currentImage.reset();
    return {};
}

Result<void> BrowserController::imageDragged(std::string_view bytes) {
    auto image = preparePhoto(bytes);
    if (!image) {
        return std::unexpected(image.error());
    }
    m_wellImage = std::move(*image);
    return {};
}

void BrowserController::createPressed() {
    JsonObject dictionary;
    for (std::size_t i = 0; i < kCapturedFields.size(); ++i) {
        dictionary.set(kCapturedFields[i].key, JsonValue(m_fields[i]));
    }
    dictionary.set("source_url", JsonValue(m_address));
    showRecipe(std::move(dictionary), m_wellImage, m_currentImageUrl);
}

void BrowserController::resetPressed() {
    for (std::string& text : m_fields) {
        text.clear();
    }
    m_wellImage.reset();
    m_currentImageUrl.reset();
    m_presenter.refreshFieldButtons();
}

std::string BrowserController::getUrlSource() const {
    return sourceNameForUrl(m_address);
}

void BrowserController::showRecipe(JsonObject dictionary, std::optional<Image> image,
                                   std::optional<std::string> imageUrl) {
    dictionary.set("source", JsonValue(getUrlSource()));
    dictionary.set("source_url", JsonValue(m_address));
    if (imageUrl) {
        dictionary.set("image_url", JsonValue(*imageUrl));
    }
    m_downloadedRecipe.reset();
    m_presenter.showRecipe(dictionary, image);
}

SiteRequestMail BrowserController::requestSite() const {
    return {kSupportAddress, "Miravel Site Request",
            "Please add support for this site:\n\n" + m_address};
}

void BrowserController::savePressed() {
    if (m_saving) {
        return;
    }
    m_saving = true;
    m_presenter.showProgress(true);
    std::shared_ptr<BrowserController*> alive = m_alive;
    const std::string url = m_address;
    m_webView.evaluateScript(kPageMarkupScript, [alive, url](std::string html) {
        BrowserController* self = *alive;
        if (self == nullptr) {
            return;
        }
        if (self->m_service == nullptr) {
            self->parseHere(url, html);
            return;
        }
        self->m_service->getRecipe(url, html)->target(
            [alive](const JsonValue& result) {
                if (BrowserController* self = *alive) {
                    if (result.isObject()) {
                        self->recipeFound(result.asObject());
                    } else {
                        self->m_saving = false;
                        self->m_presenter.showProgress(false);
                        self->m_presenter.showSaveError();
                    }
                }
            },
            [alive, url, html](const Error& error) {
                if (BrowserController* self = *alive) {
                    logLine("Recipe errored: {}", error.description);
                    self->parseHere(url, html);
                }
            });
    });
}

void BrowserController::parseHere(const std::string& url, const std::string& html) {
    auto recipe = RecipePageParser::parse(html, url);
    if (!recipe) {
        m_saving = false;
        m_presenter.showProgress(false);
        m_presenter.showSaveError();
        return;
    }
    recipeFound(recipeDictionary(*recipe, url));
}

void BrowserController::recipeFound(JsonObject dictionary) {
    m_downloadedRecipe = std::move(dictionary);
    const JsonValue* image = m_downloadedRecipe->find("image_url");
    if (image == nullptr || !image->isString() || image->asString().empty()) {
        m_saving = false;
        m_presenter.showProgress(false);
        showRecipe(*m_downloadedRecipe, std::nullopt, std::nullopt);
        return;
    }
    const std::string url = image->asString();
    std::shared_ptr<BrowserController*> alive = m_alive;
    m_pictureFetch(url, [alive, url](Result<FetchedPage> page) {
        if (BrowserController* self = *alive) {
            if (page) {
                self->pictureArrived(std::move(page->body), page->finalUrl);
            } else {
                self->pictureArrived(std::unexpected(page.error()), url);
            }
        }
    });
}

void BrowserController::pictureArrived(Result<std::string> bytes, const std::string& url) {
    m_saving = false;
    m_presenter.showProgress(false);
    if (!m_downloadedRecipe) {
        return;
    }
    if (!bytes) {
        logLine("Image download failed: {}", bytes.error().description);
        showRecipe(*m_downloadedRecipe, std::nullopt, std::nullopt);
        return;
    }
    auto image = preparePhoto(*bytes);
    showRecipe(*m_downloadedRecipe, image ? std::optional<Image>(std::move(*image)) : std::nullopt,
               url);
}

}  // namespace miravel
