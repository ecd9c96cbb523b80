// Lines per second of the ingredient parser over real recipe lines: the NYT labelled lines of
// the shared corpus when present, else a built-in set of everyday lines.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "LabelledLines.h"
#include "ingredients/IngredientParser.h"

namespace {

using miravel::IngredientParser;

constexpr const char* kCorpusLines =
    MIRAVEL_CORPUS "/ingredients/nyt-ingredients-2015-testing-labels.csv";

// Written for this benchmark to cover what cookbooks mix: fractions in every form, ranges,
// metric beside imperial, sizes and colours, notes after commas and lines with no amount.
const std::vector<std::string> kBuiltInLines{
    "1 1/2 cups all-purpose flour, sifted",
    "2 tablespoons unsalted butter, melted",
    "3 to 4 cloves garlic, minced",
    "½ teaspoon kosher salt",
    "1/4 cup extra-virgin olive oil",
    "2 large eggs, at room temperature",
    "1 medium red onion, finely chopped",
    "200g/7oz dark chocolate, broken into pieces",
    "500ml/18fl oz chicken stock",
    "1 pound ground beef",
    "2-3 sprigs fresh thyme",
    "Salt and freshly ground black pepper, to taste",
    "1 (14-ounce) can diced tomatoes, with juice",
    "3 cups whole milk",
    "¾ cup granulated sugar",
    "1 teaspoon vanilla extract",
    "2 green bell peppers, seeded and sliced",
    "1 bunch flat-leaf parsley, leaves only",
    "4 boneless skinless chicken breasts",
    "1 tablespoon Dijon mustard",
    "pinch of ground nutmeg",
    "6 ounces fresh spinach",
    "1 lemon, zested and juiced",
    "2 cups cooked white rice",
    "1 small yellow squash, diced",
    "2 tbsp soy sauce",
    "1 tsp baking soda",
    "2 1/4 teaspoons active dry yeast",
    "1 cup heavy cream",
    "8 oz cream cheese, softened",
    "3 medium carrots, peeled and cut into coins",
    "1 large sweet potato",
    "handful of fresh basil leaves",
    "1 kg new potatoes, halved",
    "250 g mushrooms, sliced",
    "1 can (15 oz) black beans, rinsed and drained",
    "1/3 cup honey",
    "2 stalks celery, chopped",
    "1 cinnamon stick",
    "4 cups vegetable broth",
    "a few drops of hot sauce",
    "1 ripe avocado, pitted",
    "12 large shrimp, peeled and deveined",
    "2 limes, cut into wedges",
    "1 head of romaine lettuce",
    "100 g parmesan, grated",
    "1 pint cherry tomatoes",
    "½ small red cabbage, shredded",
    "5 slices bacon",
    "1 cup frozen peas",
};

const std::vector<std::string>& benchmarkLines() {
    static const std::vector<std::string> lines = [] {
        std::ifstream in(kCorpusLines, std::ios::binary);
        if (!in)
            return kBuiltInLines;
        std::ostringstream text;
        text << in.rdbuf();
        auto corpus = miravel::bench::inputLines(text.str());
        return corpus.empty() ? kBuiltInLines : corpus;
    }();
    return lines;
}

void setLabel(benchmark::State& state, const std::vector<std::string>& lines) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.size()));
    state.SetLabel((lines.size() == kBuiltInLines.size() ? "built-in lines: " : "NYT lines: ") +
                   std::to_string(lines.size()));
}

void BM_ExtractIngredientInformation(benchmark::State& state) {
    const IngredientParser& parser = IngredientParser::sharedParser();
    const auto& lines = benchmarkLines();
    for (auto _ : state) {
        for (const auto& line : lines) {
            benchmark::DoNotOptimize(parser.extractIngredientInformation(line));
        }
    }
    setLabel(state, lines);
}
BENCHMARK(BM_ExtractIngredientInformation)->Unit(benchmark::kMillisecond);

void BM_GetAisle(benchmark::State& state) {
    const IngredientParser& parser = IngredientParser::sharedParser();
    const auto& lines = benchmarkLines();
    std::optional<std::string> name;
    for (auto _ : state) {
        for (const auto& line : lines) {
            benchmark::DoNotOptimize(parser.getAisle(line, &name));
        }
    }
    setLabel(state, lines);
}
BENCHMARK(BM_GetAisle)->Unit(benchmark::kMillisecond);

}  // namespace
