#include "import/HtmlExport.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cctype>

#include "fmt/format.h"
#include "lib/ApplicationIdentifier.h"
#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/TextCollation.h"
#include "lib/TextFolding.h"
#include "lib/TextPieces.h"
#include "model/Recipe.h"
#include "model/RecipeCategory.h"
#include "model/RecipeFile.h"
#include "rendering/MiravelHtml.h"

namespace miravel::HtmlExport {

namespace {

constexpr std::size_t kMaxDisplayUnits = 255;

std::string escaped(std::string_view text) {
    return MiravelHtml::escapeHtml(text);
}

// The non-empty trimmed lines of a text.
std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> result;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (auto line = trimCharacters(text.substr(start, end - start), kNameSpace);
            !line.empty()) {
            result.push_back(line);
        }
        start = end + 1;
    }
    return result;
}

std::string utf16Page(const std::string& text) {
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + static_cast<std::size_t>(unicode.length()) * 2);
    for (int32_t i = 0; i < unicode.length(); ++i) {
        const char16_t unit = unicode.charAt(i);
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::string withoutRefusedCharacters(const std::string& name) {
    std::string kept;
    for (char ch : name) {
        if (std::string_view("/\\?%*|\"<>\n\r\t").find(ch) == std::string_view::npos) {
            kept.push_back(ch);
        }
    }
    return kept;
}

// What may be replaced by an export: nothing, an empty folder, or an earlier export.
Result<bool> replaceable(const std::filesystem::path& location) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(location, error);
    if (!std::filesystem::exists(status)) {
        return false;
    }
    auto refuse = [&](const std::string& why) {
        return makeError(kFileErrorDomain, 1, location.string() + " " + why);
    };
    if (!std::filesystem::is_directory(status)) {
        return refuse("is not a folder");
    }
    if (std::filesystem::is_empty(location, error)) {
        return true;
    }
    auto index = readFile(location / "index.html");
    if (index && utf16Page(std::string(kIndexMarker)).substr(2).size() <= index->size() &&
        index->find(utf16Page(std::string(kIndexMarker)).substr(2)) != std::string::npos) {
        return true;
    }
    return refuse("holds other files; choose an empty folder or a new name");
}

// A link to a page file: a "#" or a blank in a recipe's name must not end the address.
std::string pageLink(const std::string& fileName) {
    std::string link;
    for (unsigned char ch : fileName) {
        if (std::isalnum(ch) != 0 ||
            std::string_view("-._~").find(static_cast<char>(ch)) != std::string_view::npos) {
            link.push_back(static_cast<char>(ch));
        } else {
            link += fmt::format("%{:02X}", ch);
        }
    }
    return link;
}

}  // namespace

bool notEmpty(const std::optional<std::string>& text) {
    if (!text) {
        return false;
    }
    const auto kept = trimCharacters(*text, kNameSpace);
    return !kept.empty() && kept != "---";
}

std::string recipeName(const std::optional<std::string>& name, const std::string& fallback) {
    if (!name || name->empty()) {
        return fmt::format("{} {}", tr("Untitled Recipe"), fallback);
    }
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(*name);
    if (unicode.length() <= static_cast<int32_t>(kMaxDisplayUnits)) {
        return *name;
    }
    int32_t cut = kMaxDisplayUnits;
    if (U16_IS_LEAD(unicode.charAt(cut - 1))) {
        --cut;  // never half a surrogate pair
    }
    std::string shortened;
    unicode.tempSubString(0, cut).toUTF8String(shortened);
    return shortened;
}

const std::string& styles() {
    static const std::string block = [] {
        const std::vector<std::string> rules = {
            "body { margin: 40px 60px 80px 80px; width:900px; font-family: Helvetica, "
            "sans-serif; font-size: 14px;}",
            ".fn { color:#7C0000; font-size: 22px; font-family: Futura, Helvetica, sans-serif; "
            "font-weight: normal; margin:0; padding:0 0 4px 0; }",
            ".categories { color: #605D5D; font-size: 12px; font-style: italic; padding:0 0 4px "
            "0; margin:0; }",
            ".rating { padding: 0; margin: 0; color: #777; }",
            ".ingredientsbox { float: left; width: 300px; margin-right:80px; clear:both; }",
            ".instructionsbox { float:left; width:500px; }",
            ".ingredients { border-radius: 1px; border: 1px solid #DDD; padding: 20px 12px 6px "
            "20px; background-color: #FFF;" +
                std::string(32, ' ') + "width: 300px; list-style-type: none; }",
            ".ingredient { padding-bottom: 7px; border-bottom: 1px dotted #D8D8D8; "
            "margin-bottom: 8px; }",
            ".ingredient:last-child { border-bottom:none; }",
            ".photo { float:left; padding-right:12px; }",
            ".recipe_info { width:210px; padding: 5px 10px 0 0; margin: 0; font-size: 12px; "
            "display: inline-block; }",
            ".recipe_info li { list-style-type:none; padding:0; margin:0 0 6px 0; }",
            ".recipe_info b { color: #222; }",
            ".subhead { color:#7C0000; font-size: 14px; font-weight:bold; "
            "text-transform:uppercase; }",
            ".clear { clear:both; }",
            ".sourcebox { font-size: 12px; font-style: italic; padding:0; margin:0; }",
        };
        std::string text = "<style type=\"text/css\">";
        for (const auto& rule : rules) {
            text += std::string(17, ' ') + rule;
        }
        return text + std::string(13, ' ') + "</style>";
    }();
    return block;
}

std::string htmlForRecipe(const Recipe& recipe) {
    std::string page = "<html><head><meta content=\"miravelrecipe\" />" + styles() +
                       "</head><body class='hrecipe'>";
    if (auto path = recipe.photoPath()) {
        const auto imageUrl = recipe.imageUrl();
        if (imageUrl) {
            page += "\t<a href=\"" + escaped(*imageUrl) + "\">";
        }
        page +=
            "\t<img class='photo' src=\"images/" + escaped(path->filename().string()) + "\" />\n";
        if (imageUrl) {
            page += "\t</a>\n";
        }
    }
    page += "<div style='display:inline-block;'><h1 class='fn'>" +
            escaped(recipe.name().value_or("")) + "</h1>\n";
    if (auto rating = recipe.rating(); rating && *rating > 0) {
        page += fmt::format("<p class='rating' value='{}'>", *rating);
        for (std::int64_t star = 0; star < std::min<std::int64_t>(*rating, 5); ++star) {
            page += "★";
        }
        page += "</p>";
    }
    if (auto categories = recipe.categories(); !categories.empty()) {
        std::vector<std::string> names;
        for (const auto& category : categories) {
            names.push_back(category->name().value_or(""));
        }
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return localizedCaseInsensitiveCompare(a, b) < 0;
        });
        std::string joined;
        for (const auto& name : names) {
            joined += (joined.empty() ? "" : ", ") + escaped(name);
        }
        page += "\t<p class='categories'>" + joined + "</p>\n";
    }
    const bool prep = notEmpty(recipe.prepTime());
    const bool cook = notEmpty(recipe.cookTime());
    const bool servings = notEmpty(recipe.servings());
    const bool difficulty = notEmpty(recipe.difficulty());
    if (prep || cook || servings || difficulty) {
        page += "\t<ul class='recipe_info'>\n";
        if (prep || cook) {
            page += "\t\t<li>\n";
            if (prep) {
                page += "\t\t<b>" + tr("Prep") + ":</b><span class='prepTime'> " +
                        escaped(*recipe.prepTime()) + "</span>";
            }
            if (cook) {
                page += "<b>" + std::string(prep ? " " : "") + tr("Cook") +
                        ":</b><span class='cookTime'> " + escaped(*recipe.cookTime()) + "</span>";
            }
            page += "</li>\n";
        }
        if (servings) {
            page += "\t\t<li class='yield'><b>" + tr("Servings") + ":</b> " +
                    escaped(*recipe.servings()) + "</li>\n";
        }
        if (difficulty) {
            page += "\t\t<li class='difficulty'><b>" + tr("Difficulty") + ":</b> " +
                    escaped(*recipe.difficulty()) + "</li>\n";
        }
        page += "\t</ul>\n";
    }
    page += "</div><div>\n";
    if (auto ingredients = recipe.ingredients(); notEmpty(ingredients)) {
        page += "\t<div class='ingredientsbox'>\t<h3 class='subhead'>" + tr("Ingredients") +
                "</h3>\t<ul class='ingredients'>\n";
        for (std::string_view line : lines(*ingredients)) {
            const bool section = line.find(':') == line.size() - 1;
            page += std::string(section ? "\t\t<li class='ingredient section'>"
                                        : "\t\t<li class='ingredient'>") +
                    escaped(line) + "</li>\n";
        }
        page += "\t</ul>\n\t</div>\n";
    }
    if (auto directions = recipe.directions(); notEmpty(directions)) {
        page += "\t<div class='instructionsbox'>\t<h3 class='subhead'>" + tr("Directions") +
                "</h3>\t<div class='instructions'>\n";
        for (std::string_view line : lines(*directions)) {
            page += "\t\t<p class='instruction'>" + escaped(line) + "</p>\n";
        }
        page += "\t</div>\n";
        const auto source = recipe.source();
        const auto sourceUrl = recipe.sourceUrl();
        if (notEmpty(source) || notEmpty(sourceUrl)) {
            page += "\t\t<p class='sourcebox'><b>" + tr("Source") + ": </b>";
            if (notEmpty(sourceUrl)) {
                page += "<a class='source' href='" + escaped(*sourceUrl) + "'>" +
                        escaped(notEmpty(source) ? *source : *sourceUrl) + "</a>";
            } else {
                page += "<span class='source'>" + escaped(*source) + "</span>";
            }
            page += "</p>\n";
        }
        page += "\t</div>\n";
    }
    page += "</div>\n";
    auto block = [&](const char* heading, const char* divClass, const char* paragraph,
                     const std::optional<std::string>& text) {
        if (!notEmpty(text)) {
            return;
        }
        page += "\t<h3 class='subhead clear'>" + tr(heading) + "</h3>\t<div class='" + divClass +
                "'>\n";
        for (std::string_view line : lines(*text)) {
            page += std::string("\t\t") + paragraph + escaped(line) + "</p>\n";
        }
        page += "\t</div>\n";
    };
    block("Notes", "notes", "<p class='note'>", recipe.notes());
    block("Nutritional Info", "nutrition", "<p>", recipe.nutritionalInfo());
    return page + "</body></html>";
}

std::string exportRecipeToHtml(const Recipe& recipe, const std::filesystem::path& folder,
                               std::map<std::string, int>* pageNames) {
    const std::string page = htmlForRecipe(recipe);
    if (auto photo = recipe.photoPath()) {
        const auto images = folder / "images";
        if (auto made = createFolder(images); !made) {
            logLine("Images directory {} could not be created.", images.string());
        } else {
            const auto copy = images / photo->filename();
            std::error_code error;
            if (!std::filesystem::exists(copy, error)) {
                std::filesystem::copy_file(*photo, copy, error);
                if (error) {
                    logLine("Image could not be copied: {}", photo->string());
                    logLine("Reason: {}", error.message());
                }
            }
        }
    }
    std::string name = recipeName(recipe.name(), recipe.uid());
    if (pageNames != nullptr) {
        int& counter = (*pageNames)[lowerCased(name)];
        if (counter > 0) {
            name = fmt::format("{} {}", name, counter + 1);
        }
        ++counter;
    }
    // The page name only ever becomes a file inside the folder: no separators, no dot names.
    std::string fileName = withoutRefusedCharacters(name + ".html");
    if (fileName.starts_with(".")) {
        fileName.insert(0, "_");
    }
    if (auto written = writeFileAtomically(folder / fileName, utf16Page(page)); !written) {
        logLine("File could not be written: {}", (folder / fileName).string());
    }
    return fileName;
}

Result<std::vector<std::shared_ptr<Recipe>>> exportRecipesToHtml(
    const std::vector<std::shared_ptr<Recipe>>& recipes, const std::filesystem::path& location) {
    auto replacing = replaceable(location);
    if (!replacing) {
        logLine("Previous directory {} could not be removed.", location.string());
        return std::unexpected(replacing.error());
    }
    // Built beside the location, so a failure half-way leaves the earlier export as it was.
    const std::filesystem::path building =
        location.parent_path() / (location.filename().string() + ".part-" + newUid());
    if (auto made = createFolder(building); !made) {
        logLine("Directory {} could not be created.", location.string());
        return std::unexpected(made.error());
    }
    auto sorted = recipes;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return a->name().value_or("") < b->name().value_or("");
    });
    std::map<std::string, int> pageNames;
    std::vector<std::pair<std::optional<std::string>, std::string>> pages;
    for (const auto& recipe : sorted) {
        pages.emplace_back(recipe->name(), exportRecipeToHtml(*recipe, building, &pageNames));
    }
    std::string index =
        "<html><head>" + std::string(kIndexMarker) + styles() + "</head><body>" +
        fmt::format("<h1 class='fn'>{} ({})</h1>\n<ul>", tr("Recipes"), pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        index += "<li class=\"recipe\"><a href=\"" + pageLink(pages[i].second) + "\">" +
                 escaped(recipeName(pages[i].first, std::to_string(i))) + "</a></li>";
    }
    index += "</ul></body></html>";
    if (auto written = writeFileAtomically(building / "index.html", utf16Page(index)); !written) {
        logLine("Could not write index.html file");
    }
    std::error_code error;
    if (*replacing) {
        const auto old =
            location.parent_path() / (location.filename().string() + ".old-" + newUid());
        std::filesystem::rename(location, old, error);
        if (!error) {
            std::filesystem::rename(building, location, error);
            if (error) {
                std::filesystem::rename(old, location);  // put the earlier export back
            } else {
                std::filesystem::remove_all(old, error);
                error.clear();
            }
        }
    } else {
        std::filesystem::rename(building, location, error);
    }
    if (error) {
        std::filesystem::remove_all(building);
        logLine("Directory {} could not be created.", location.string());
        return makeError(kFileErrorDomain, 1, location.string() + ": " + error.message());
    }
    return std::vector<std::shared_ptr<Recipe>>{};
}

}  // namespace miravel::HtmlExport
