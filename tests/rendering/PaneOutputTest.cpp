#include "rendering/PaneOutput.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "planner/MealPlannerDayController.h"
#include "planner/MealPlannerWeekController.h"
#include "planner/PlannerTestSupport.h"
#include "rendering/MailHandoff.h"
#include "support/TimeSupport.h"

namespace miravel {
namespace {

using testing::kNewYork;
using testing::local;
using testing::PlannerTest;
using testing::ScopedTimeZone;

struct RecordingOpener : UrlOpener {
    bool openUrl(const std::string& url) override {
        urls.push_back(url);
        return true;
    }
    std::vector<std::string> urls;
};

class PaneOutputTest : public PlannerTest {};

TEST_F(PaneOutputTest, mailsTheShownWeek) {
    ScopedTimeZone zone(kNewYork);
    auto opener = std::make_shared<RecordingOpener>();
    m_settings->setString("DefaultEmail", "cook@example.org");
    MealPlannerDayController day(*m_main, nullptr);
    const Timestamp now = local("2026-03-11 15:00:00");
    MealPlannerWeekController week(*m_main, *m_settings, m_center, nullptr, &day,
                                   [now] { return now; });
    meal("2026-03-10", 2, "Soup");
    MailHandoff mail(opener, *m_settings);
    ASSERT_TRUE(emailMealPlan(week, mail));
    ASSERT_EQ(opener->urls.size(), 1u);
    EXPECT_EQ(opener->urls[0].rfind("mailto:cook@example.org?subject=", 0), 0u) << opener->urls[0];
    EXPECT_NE(opener->urls[0].find("Soup"), std::string::npos);
}

}  // namespace
}  // namespace miravel
