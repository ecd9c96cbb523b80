// The JSON codec beside nlohmann::json (the baseline) on the same texts.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <string>

#include "lib/JsonParser.h"
#include "lib/JsonValue.h"
#include "lib/JsonWriter.h"

namespace {

using miravel::JsonArray;
using miravel::JsonObject;
using miravel::JsonParser;
using miravel::JsonValue;
using miravel::JsonWriter;

// About 2 KB, shaped like a synced recipe: long multi-line texts full of the characters the
// writer escapes ("/", quotes, newlines) and non-ASCII, plus a few numbers and flags.
JsonValue recipe(int index) {
    return JsonObject{
        {"uid", "5E0C1A2B-7F3D-4C21-9B8E-" + std::to_string(100000000000 + index)},
        {"name", "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9\x65 \"classique\" #" + std::to_string(index)},
        {"ingredients",
         "1/2 cup (120 ml) heavy cream\n"
         "2 1/2 cups whole milk\n"
         "6 large egg yolks\n"
         "1/3 cup caster sugar, plus 6 tsp for the \"glass\" top\n"
         "1 vanilla pod, split / or 1 tsp extract\n"
         "Pinch of fleur de sel (Gu\xC3\xA9rande)\n"
         "Zest of \xC2\xBD orange \xE2\x80\x94 optional"},
        {"directions",
         "1. Heat the oven to 150 \xC2\xB0"
         "C / 300 \xC2\xB0"
         "F. Set six 4-oz ramekins in a "
         "deep roasting tin.\n"
         "2. Warm the cream, milk and vanilla until steaming; do not let it boil. Leave to "
         "infuse for 15 minutes, then remove the pod.\n"
         "3. Whisk the yolks with the sugar until pale, then pour in the warm cream slowly, "
         "whisking all the time.\n"
         "4. Strain into a jug, skim off the foam and divide between the ramekins. Pour "
         "boiling water into the tin to come halfway up their sides.\n"
         "5. Bake 35\xE2\x80\x93"
         "40 minutes, until set at the edges with a slight wobble in "
         "the middle. Cool, then chill at least 4 hours.\n"
         "6. Sprinkle each with 1 tsp sugar and caramelise with a torch until \"glassy\"."},
        {"description", "A silky baked custard under a crackly caramel lid \xF0\x9F\x8D\xAE"},
        {"notes",
         "Make up to 2 days ahead; caramelise just before serving.\n"
         "Half/half milk and cream gives a lighter set."},
        {"nutritional_info", "Per serving: 320 kcal / 24 g fat / 21 g sugar"},
        {"source", "Grandm\xC3\xA8re's notebook"},
        {"source_url", "https://example.org/recipes/desserts/creme-brulee?lang=fr&v=2"},
        {"image_url", "https://example.org/images/creme-brulee/large.jpg"},
        {"servings", "6"},
        {"prep_time", "20 min"},
        {"cook_time", "40 min"},
        {"total_time", "5 h"},
        {"difficulty", "Medium"},
        {"rating", 5},
        {"scale", 1.5},
        {"calories_per_serving", 320.25},
        {"created", "2024-03-17 18:42:05"},
        {"photo_hash", "8b1a9953c4611296a827abf8c47804d7e6c49c6b3a6b3a5e0e4e9b1f1e2d3c4b"},
        {"on_favorites", true},
        {"in_trash", false},
        {"is_pinned", false},
        {"photo", nullptr},
        {"categories",
         JsonArray{"0A1B2C3D-0000-4000-8000-000000000001", "0A1B2C3D-0000-4000-8000-000000000002",
                   "0A1B2C3D-0000-4000-8000-000000000003"}},
    };
}

JsonValue recipes(int count) {
    JsonArray array;
    array.reserve(count);
    for (int i = 0; i < count; ++i) {
        array.push_back(recipe(i));
    }
    return array;
}

void parse(benchmark::State& state, const JsonValue& value) {
    const std::string text = JsonWriter::write(value);
    for (auto _ : state) {
        auto result = JsonParser::parse(text);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["bytes"] = static_cast<double>(text.size());
}

void write(benchmark::State& state, const JsonValue& value) {
    std::size_t size = 0;
    for (auto _ : state) {
        std::string text = JsonWriter::write(value);
        size = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["bytes"] = static_cast<double>(size);
}

void BM_ParseRecipe(benchmark::State& state) {
    parse(state, recipe(0));
}
void BM_WriteRecipe(benchmark::State& state) {
    write(state, recipe(0));
}
void BM_ParseRecipes1000(benchmark::State& state) {
    parse(state, recipes(1000));
}
void BM_WriteRecipes1000(benchmark::State& state) {
    write(state, recipes(1000));
}

// The baseline keeps insertion order too (ordered_json), as the system's objects must.
void BM_BaselineParseRecipes1000(benchmark::State& state) {
    const std::string text = JsonWriter::write(recipes(1000));
    for (auto _ : state) {
        auto result = nlohmann::ordered_json::parse(text);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
void BM_BaselineWriteRecipes1000(benchmark::State& state) {
    const auto value = nlohmann::ordered_json::parse(JsonWriter::write(recipes(1000)));
    std::size_t size = 0;
    for (auto _ : state) {
        std::string text = value.dump();
        size = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

BENCHMARK(BM_ParseRecipe);
BENCHMARK(BM_WriteRecipe);
BENCHMARK(BM_ParseRecipes1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteRecipes1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineParseRecipes1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineWriteRecipes1000)->Unit(benchmark::kMillisecond);

}  // namespace
