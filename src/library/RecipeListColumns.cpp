#include "library/RecipeListColumns.h"

#include <ctime>

#include "ingredients/TimeParser.h"
#include "lib/StringTable.h"

namespace miravel {

const std::vector<RecipeListColumn>& recipeListColumns() {
    static const std::vector<RecipeListColumn> columns = {
        {"name", "Name", "name", true, 200, 40, false},
        {"prep", "Prep", "prepTime", true, 0, 0, false},
        {"cook", "Cook", "cookTime", true, 0, 0, false},
        {"difficulty", "Difficulty", "difficulty", true, 0, 0, false},
        {"rating", "Rating", "rating", true, 70, 70, true},
        {"source", "Source", "source", true, 100, 10, false},
        {"sourceUrl", "Source URL", "sourceUrl", true, 120, 30, false},
        {"created", "Date Added", "created", false, 60, 30, false},
    };
    return columns;
}

const RecipeListColumn* recipeListColumn(std::string_view identifier) {
    for (const auto& column : recipeListColumns()) {
        if (identifier == column.identifier) {
            return &column;
        }
    }
    return nullptr;
}

std::optional<SortDescriptor> sortDescriptorForColumn(std::string_view identifier, bool ascending) {
    const RecipeListColumn* column = recipeListColumn(identifier);
    if (column == nullptr) {
        return std::nullopt;
    }
    if (identifier == "name") {
        return SortDescriptor::localized(column->attribute, ascending);
    }
    if (identifier == "prep" || identifier == "cook") {
        // A recipe without a time sorts as zero minutes, like a text naming none.
        auto byMinutes = [](const Value& a, const Value& b) {
            return cookTimeCompare(a.isText() ? a.asText() : std::string_view(),
                                   b.isText() ? b.asText() : std::string_view());
        };
        return SortDescriptor(column->attribute, ascending, SortDescriptor::Comparison::Default,
                              byMinutes);
    }
    return SortDescriptor(column->attribute, ascending);
}

std::string createdDateText(Timestamp created, Timestamp now) {
    auto localDay = [](Timestamp moment) {
        std::time_t seconds = timeTOf(moment);
        std::tm local{};
        localtime_r(&seconds, &local);
        return local;
    };
    std::tm day = localDay(created);
    std::tm today = localDay(now);
    auto sameDay = [](const std::tm& a, const std::tm& b) {
        return a.tm_year == b.tm_year && a.tm_yday == b.tm_yday;
    };
    if (sameDay(day, today)) {
        return tr("Today");
    }
    // The calendar day before today, found through mktime so month and year ends work.
    std::tm yesterday = today;
    yesterday.tm_mday -= 1;
    yesterday.tm_hour = 12;
    yesterday.tm_isdst = -1;
    std::time_t normalized = std::mktime(&yesterday);
    localtime_r(&normalized, &yesterday);
    if (sameDay(day, yesterday)) {
        return tr("Yesterday");
    }
    char text[64];
    std::size_t length = std::strftime(text, sizeof text, "%x", &day);
    return std::string(text, length);
}

}  // namespace miravel
