#pragma once

#include <memory>
#include <string>
#include <vector>

#include "lib/DateText.h"
#include "model/Meal.h"
#include "model/Recipe.h"
#include "model/UserSettings.h"
#include "planner/WeekCalendar.h"
#include "store/ManagedObjectContext.h"
#include "support/StoreTestSupport.h"

namespace miravel::testing {

// POSIX rules, so the tests need no zone database: New York changes on 2026-03-08 and
// 2026-11-01, Berlin on 2026-03-29 and 2026-10-25.
inline constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";
inline constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";

// "2026-03-10" or "2026-03-10 18:30:00" in the local time zone.
inline Timestamp local(const std::string& text) {
    auto moment = parseDateText(text.size() == 10 ? text + " 00:00:00" : text);
    EXPECT_TRUE(moment.has_value()) << text;
    return moment.value_or(Timestamp{});
}

inline std::string dayText(Timestamp moment) {
    return formatDateText(moment).substr(0, 10);
}

inline std::vector<std::string> dayTexts(const Week& week) {
    std::vector<std::string> texts;
    for (Timestamp day : week) {
        texts.push_back(formatDateText(day));
    }
    return texts;
}

// A library with its own settings file, whose changes are announced on the test's centre.
class PlannerTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        m_settings = std::make_unique<UserSettings>(m_folder / "settings.json", &m_center);
        m_settings->setInteger("WeekStartDay", 2);
    }

    std::shared_ptr<Recipe> recipe(const std::string& name, const std::string& ingredients = "") {
        auto made = m_main->insert<Recipe>();
        made->setName(name);
        made->setIngredients(ingredients);
        return made;
    }
    // Saved, and the live lists told.
    std::shared_ptr<Meal> meal(const std::string& day, int type, const std::string& name,
                               std::shared_ptr<Recipe> withRecipe = nullptr, int orderFlag = 1) {
        auto made = m_main->insert<Meal>();
        made->setDate(local(day));
        made->setType(type);
        if (withRecipe) {
            made->setRecipe(withRecipe);
        } else {
            made->setName(name);
        }
        made->setOrderFlag(orderFlag);
        made->setStatus(kStatusUnmodified);
        settle();
        return made;
    }
    void settle() {
        EXPECT_TRUE(m_main->save());
        m_main->processPendingChanges();
    }

    std::unique_ptr<UserSettings> m_settings;
};

}  // namespace miravel::testing
