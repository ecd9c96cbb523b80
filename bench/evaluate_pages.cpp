// Runs the recipe page parser over a folder of saved pages and writes one prediction per page
// in the form the shared web-page scorer reads, so that our extraction and a peer's are scored
// by the same program on the same pages; then times it on the pages held in memory.
//
//   evaluate_pages PAGES_DIR OUT_DIR   predictions for every PAGES_DIR/<page>.testhtml
//   evaluate_pages --speed PAGES_DIR [--seconds S]   pages/s, fast path and full parse
//
// A page's address is the "canonical_url" of the expected <page>.json beside it, when there is
// one (relative image addresses resolve against it).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "browser/RecipePageParser.h"
#include "lib/AtomicFile.h"
#include "lib/JsonParser.h"
#include "lib/JsonWriter.h"

namespace {

namespace fs = std::filesystem;
using namespace miravel;

struct Page {
    std::string name;
    std::string url;
    std::string bytes;
};

std::vector<Page> readPages(const fs::path& folder) {
    std::vector<Page> pages;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().extension() != ".testhtml") {
            continue;
        }
        auto bytes = readFile(entry.path());
        if (!bytes) {
            std::fprintf(stderr, "%s\n", bytes.error().description.c_str());
            continue;
        }
        Page page{entry.path().stem().string(), {}, std::move(*bytes)};
        fs::path expected = entry.path();
        expected.replace_extension(".json");
        if (auto text = readFile(expected)) {
            if (auto json = JsonParser::parse(*text)) {
                if (const JsonValue* url = json->member("canonical_url"); url && url->isString()) {
                    page.url = url->asString();
                }
            }
        }
        pages.push_back(std::move(page));
    }
    std::sort(pages.begin(), pages.end(),
              [](const Page& a, const Page& b) { return a.name < b.name; });
    return pages;
}

constexpr const char* kOrigins[] = {"json-ld", "microdata", "recipe markup", "headings"};

JsonValue prediction(const Result<PageRecipe>& recipe) {
    if (!recipe) {
        return JsonObject{{"name", nullptr},         {"ingredients", JsonArray{}},
                          {"instructions", nullptr}, {"image", nullptr},
                          {"yields", nullptr},       {"total_time", nullptr}};
    }
    JsonArray ingredients;
    for (const std::string& line : recipe->ingredientLines()) {
        ingredients.emplace_back(line);
    }
    std::string instructions;
    for (const std::string& step : recipe->directions) {
        instructions += (instructions.empty() ? "" : "\n") + step;
    }
    const auto textOrNull = [](const std::string& text) {
        return text.empty() ? JsonValue() : JsonValue(text);
    };
    return JsonObject{
        {"name", textOrNull(recipe->name)},
        {"ingredients", std::move(ingredients)},
        {"instructions", textOrNull(instructions)},
        {"image", textOrNull(recipe->imageUrl)},
        {"yields", textOrNull(recipe->servings)},
        {"total_time", recipe->totalMinutes ? JsonValue(*recipe->totalMinutes) : JsonValue()},
        // Not scored: where on the page the recipe was found, for reading the failures.
        {"origin", kOrigins[static_cast<int>(recipe->origin)]},
    };
}

int writePredictions(const fs::path& pagesFolder, const fs::path& outFolder) {
    const std::vector<Page> pages = readPages(pagesFolder);
    std::error_code error;
    fs::create_directories(outFolder, error);
    int found = 0;
    for (const Page& page : pages) {
        const auto recipe = RecipePageParser::parse(page.bytes, page.url);
        found += recipe ? 1 : 0;
        auto written = writeFileAtomically(outFolder / (page.name + ".json"),
                                           JsonWriter::writePretty(prediction(recipe)));
        if (!written) {
            std::fprintf(stderr, "%s\n", written.error().description.c_str());
            return 1;
        }
    }
    std::printf("%d of %zu pages gave a recipe; predictions in %s\n", found, pages.size(),
                outFolder.c_str());
    return 0;
}

double processSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Where a round of the fast path goes: each page's best time of a few, the slowest first.
void printSlowestPages(const std::vector<Page>& pages) {
    constexpr int kTries = 7;
    constexpr std::size_t kShown = 12;
    std::vector<std::pair<double, const Page*>> times;
    double total = 0;
    for (const Page& page : pages) {
        double best = 1e9;
        for (int i = 0; i < kTries; ++i) {
            const double start = processSeconds();
            (void)RecipePageParser::parse(page.bytes, page.url);
            best = std::min(best, processSeconds() - start);
        }
        times.emplace_back(best, &page);
        total += best;
    }
    std::sort(times.begin(), times.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::printf("slowest pages on the fast path (best of %d):\n", kTries);
    for (std::size_t i = 0; i < std::min(kShown, times.size()); ++i) {
        std::printf("  %6.2f ms %5.1f %%  %7zu KB  %s\n", times[i].first * 1e3,
                    100 * times[i].first / total, times[i].second->bytes.size() / 1024,
                    times[i].second->name.c_str());
    }
}

int measureSpeed(const fs::path& pagesFolder, double seconds) {
    const std::vector<Page> pages = readPages(pagesFolder);
    if (pages.empty()) {
        std::printf("no pages in %s\n", pagesFolder.c_str());
        return 0;
    }
    std::size_t bytes = 0;
    for (const Page& page : pages) {
        bytes += page.bytes.size();
    }
    for (bool fastPath : {true, false}) {
        RecipePageParser::Options options;
        options.fastPath = fastPath;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processSeconds();
        std::size_t rounds = 0;
        double elapsed = 0;
        std::size_t found = 0;
        double bestRound = 1e9;
        do {
            const double roundStart = processSeconds();
            for (const Page& page : pages) {
                found += RecipePageParser::parse(page.bytes, page.url, options) ? 1 : 0;
            }
            bestRound = std::min(bestRound, processSeconds() - roundStart);
            ++rounds;
            elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        } while (elapsed < seconds);
        const double cpu = processSeconds() - cpuStart;
        const double pagesPerSecond = static_cast<double>(rounds * pages.size()) / elapsed;
        // On a shared machine the wall clock counts the time other processes had the core;
        // the process's own CPU time is the steadier figure for comparing two parsers.
        std::printf(
            "%-12s %zu pages x %zu rounds: %.0f pages/s, %.1f MB/s (%zu recipes); "
            "%.0f pages per CPU second, %.0f in the best round\n",
            fastPath ? "fast path" : "full parse", pages.size(), rounds, pagesPerSecond,
            static_cast<double>(rounds * bytes) / elapsed / 1e6, found / rounds,
            static_cast<double>(rounds * pages.size()) / cpu,
            static_cast<double>(pages.size()) / bestRound);
    }
    printSlowestPages(pages);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--speed") {
        double seconds = 3;
        if (args.size() >= 4 && args[2] == "--seconds") {
            seconds = std::stod(args[3]);
        }
        return measureSpeed(args[1], seconds);
    }
    if (args.size() != 2) {
        std::fprintf(stderr,
                     "usage: evaluate_pages PAGES_DIR OUT_DIR\n"
                     "       evaluate_pages --speed PAGES_DIR [--seconds S]\n");
        return 2;
    }
    return writePredictions(args[0], args[1]);
}
