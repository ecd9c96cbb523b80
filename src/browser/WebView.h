#pragma once

#include <functional>
#include <string>

namespace miravel {

// What the clipper needs from the platform's web view. The desktop implements it over its
// engine; the tests drive a double. Script results arrive later, as engines deliver them.
class WebView {
public:
    using TextHandler = std::function<void(std::string)>;

    virtual ~WebView() = default;

    virtual void load(const std::string& url) = 0;
    virtual void evaluateScript(const std::string& script, TextHandler done) = 0;
    // The selection's markup rendered as plain text (list bullets arrive as "•", cells as tabs).
    virtual void selectedText(TextHandler done) = 0;
    virtual void clearSelection() = 0;

    virtual std::string title() const = 0;
    virtual std::string address() const = 0;
    virtual bool isLoading() const = 0;

    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual void stop() = 0;
    virtual void reload() = 0;

    virtual double zoomFactor() const = 0;
    virtual void setZoomFactor(double factor) = 0;

    virtual std::string defaultUserAgent() const = 0;
    virtual void setUserAgent(const std::string& agent) = 0;
    virtual void focus() = 0;
};

}  // namespace miravel
