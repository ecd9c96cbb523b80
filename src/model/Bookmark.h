#pragma once

#include <optional>
#include <string>

#include "model/SyncedObject.h"

namespace miravel {

// A bookmark of the recipe browser.
class Bookmark : public SyncedObject {
public:
    static constexpr const char* kEntityName = "Bookmark";
    using SyncedObject::SyncedObject;

    std::optional<std::string> title() const { return text("title"); }
    void setTitle(std::optional<std::string> value) { setText("title", std::move(value)); }
    std::optional<std::string> url() const { return text("url"); }
    void setUrl(std::optional<std::string> value) { setText("url", std::move(value)); }

    std::optional<JsonObject> objectDictionary() const override;
};

}  // namespace miravel
