#pragma once

#include <optional>
#include <string>
#include <vector>

#include "browser/BrowserController.h"
#include "browser/WebView.h"

namespace miravel::testing {

// A web view that shows what the test says and answers scripts at once.
class FakeWebView : public WebView {
public:
    void load(const std::string& url) override { loads.push_back(url); }
    void evaluateScript(const std::string& script, TextHandler done) override {
        scripts.push_back(script);
        done(markup);
    }
    void selectedText(TextHandler done) override { done(selection); }
    void clearSelection() override { selection.clear(); }
    std::string title() const override { return pageTitle; }
    std::string address() const override { return pageAddress; }
    bool isLoading() const override { return loading; }
    bool canGoBack() const override { return false; }
    bool canGoForward() const override { return false; }
    void goBack() override {}
    void goForward() override {}
    void stop() override { loading = false; }
    void reload() override {}
    double zoomFactor() const override { return zoom; }
    void setZoomFactor(double factor) override { zoom = factor; }
    std::string defaultUserAgent() const override { return "Engine/1.0"; }
    void setUserAgent(const std::string& agent) override { userAgent = agent; }
    void focus() override { ++focused; }

    std::vector<std::string> loads;
    std::vector<std::string> scripts;
    std::string markup;
    std::string selection;
    std::string pageTitle;
    std::string pageAddress;
    std::string userAgent;
    bool loading = false;
    double zoom = 1.0;
    int focused = 0;
};

class RecordingPresenter : public BrowserPresenter {
public:
    void showNotice(const std::string& text, const std::string& button) override {
        notices.push_back(text + " @" + button);
    }
    void showFieldEditor(const EditTextController& editor) override { editors.push_back(editor); }
    void refreshFieldButtons() override { ++refreshes; }
    void showRecipe(const JsonObject& dictionary, const std::optional<Image>& image) override {
        recipes.push_back(dictionary);
        images.push_back(image);
    }
    void showProgress(bool shown) override { progress = shown; }
    void showSaveError() override { ++saveErrors; }

    std::vector<std::string> notices;
    std::vector<EditTextController> editors;
    std::vector<JsonObject> recipes;
    std::vector<std::optional<Image>> images;
    int refreshes = 0;
    int saveErrors = 0;
    bool progress = false;
};

}  // namespace miravel::testing
