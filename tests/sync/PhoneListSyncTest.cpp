#include "lib/JsonParser.h"
#include "sync/SyncTestSupport.h"

namespace miravel::testing {
namespace {

// The grocery list checked off on the phone page of the server, then synced by the desktop: the
// desktop's unmodified items take the phone's purchases, its own unsent edits stay its own.
class PhoneListSyncTest : public SyncTest {
protected:
    struct Phone {
        std::string cookie;
        std::string csrf;
    };

    std::unique_ptr<httplib::Client> client() {
        auto made = std::make_unique<httplib::Client>(m_server->url());
        made->set_read_timeout(10, 0);
        return made;
    }

    // The envelope's "result", or null when the answer is none or an error.
    static std::optional<JsonValue> resultOf(const httplib::Result& answer) {
        if (!answer || answer->status != 200) {
            return std::nullopt;
        }
        auto parsed = JsonParser::parse(answer->body);
        const JsonValue* result = parsed ? parsed->member("result") : nullptr;
        if (result == nullptr) {
            return std::nullopt;
        }
        return *result;
    }

    Phone signInOnPhone() {
        Phone phone;
        auto answer = client()->Post("/app/session", httplib::Params{{"email", "cook@example.org"},
                                                                     {"password", kPassword}});
        auto result = resultOf(answer);
        const JsonValue* csrf = result ? result->member("csrf") : nullptr;
        if (csrf == nullptr || !csrf->isString()) {
            ADD_FAILURE() << "the phone could not sign in";
            return phone;
        }
        const std::string header = answer->get_header_value("Set-Cookie");
        phone.cookie = header.substr(0, header.find(';'));
        phone.csrf = csrf->asString();
        return phone;
    }

    bool check(const Phone& phone, const std::vector<std::string>& uids, bool purchased) {
        JsonArray list;
        for (const auto& uid : uids) {
            list.push_back(JsonValue(uid));
        }
        const JsonValue body(
            JsonObject{{"uids", JsonValue(list)}, {"purchased", JsonValue(purchased)}});
        return resultOf(client()->Post("/app/groceries/purchased",
                                       {{"Cookie", phone.cookie}, {"X-CSRF-Token", phone.csrf}},
                                       JsonWriter::write(body), "application/json"))
            .has_value();
    }

    std::shared_ptr<GroceryListItem> addItem(const std::string& name, const std::string& aisle) {
        auto item = m_a->main().insert<GroceryListItem>();
        item->setName(name);
        item->setAisle(aisle);
        item->setPurchased(false);
        item->setOrderFlag(++m_order);
        return item;
    }

    std::int64_t m_order = 0;
};

TEST_F(PhoneListSyncTest, PurchasesMadeOnThePhoneReachTheDesktopAtItsNextSync) {
    auto flour = addItem("1 cup flour", "Baking");
    auto moreFlour = addItem("2 cups flour", "Baking");
    auto milk = addItem("milk", "Dairy");
    auto eggs = addItem("eggs", "Dairy");
    m_a->save();
    ASSERT_EQ(m_a->sync(), "");

    Phone phone = signInOnPhone();
    ASSERT_FALSE(phone.csrf.empty());
    ASSERT_TRUE(check(phone, {flour->uid(), moreFlour->uid()}, true));
    ASSERT_TRUE(check(phone, {milk->uid()}, true));
    ASSERT_TRUE(check(phone, {milk->uid()}, false));
    ASSERT_TRUE(check(phone, {eggs->uid()}, true));

    // Meanwhile the desktop renamed the eggs and has not synced: its edit goes up and wins.
    eggs->setName("6 eggs");
    eggs->setStatus(kStatusModified);
    m_a->save();

    ASSERT_EQ(m_a->sync(), "");
    EXPECT_TRUE(m_a->byUid<GroceryListItem>(flour->uid())->purchased().value_or(false));
    EXPECT_TRUE(m_a->byUid<GroceryListItem>(moreFlour->uid())->purchased().value_or(false));
    EXPECT_FALSE(m_a->byUid<GroceryListItem>(milk->uid())->purchased().value_or(false));
    EXPECT_EQ(m_a->byUid<GroceryListItem>(eggs->uid())->name(), "6 eggs");
    for (const auto& item : m_a->all<GroceryListItem>()) {
        EXPECT_EQ(item->status(), kStatusUnmodified) << item->name().value_or("");
    }

    // The second computer sees the same list.
    ASSERT_EQ(m_b->sync(), "");
    EXPECT_EQ(m_a->snapshot(), m_b->snapshot());
}

}  // namespace
}  // namespace miravel::testing
