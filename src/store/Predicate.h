#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lib/Error.h"
#include "store/SqlWhere.h"
#include "store/TextSearchIndex.h"
#include "store/Value.h"

namespace miravel {

class KeyValueSource;
class ManagedObjectModel;
struct EntityDescription;
struct PredicateNode;

inline constexpr const char* kPredicateErrorDomain = "miravel.predicate";

using PredicateVariables = std::map<std::string, Value, std::less<>>;

// A condition on objects, written in a small language:
//
//   (status != 'deleted' || status == nil) && name contains[cd] %@
//   ANY categories.name ==[c] $NAME     categories.@count == 0     uid IN %@
//
// The same predicate selects rows in the store (toSql) and tests objects in memory
// (evaluate), and the two agree on every object. Copies share one immutable tree.
//
// Meaning:
// - ==, != are nil-safe: nil == nil holds, nil != "x" holds (so "purchased == NO" leaves out
//   items never marked either way). <, <=, >, >= are false when either side is nil. Numbers
//   (and booleans) compare by value, dates by the seconds the store keeps, texts byte by byte
//   (code point order); values of different kinds are never equal (see PredicateOperators).
// - [c] folds case, [d] folds diacritics, on both sides (lib/TextFolding.h); for MATCHES, [c]
//   makes the expression case-insensitive and [d] folds both text and expression.
// - x IN list, x IN toMany: membership. text CONTAINS text: substring, and the empty text is
//   in every text (an empty search shows everything). toMany CONTAINS x: membership.
//   BEGINSWITH, ENDSWITH, LIKE ("*", "?"), MATCHES (ICU, whole text) need texts on both sides.
// - key.@count: how many related objects. ANY/SOME, ALL, NONE quantify a comparison over a
//   to-many key path; ALL and NONE hold for no objects at all.
// - A to-many key path compared directly (categories == x) is refused by toSql; in memory the
//   list is compared as a whole and equals no single value. Say ANY, ALL or NONE.
class Predicate {
public:
    enum class ErrorCode {
        Syntax = 1,           // the text does not parse; the description gives the character
        Arguments = 2,        // too few or too many arguments, or a %K argument not a key path
        MissingVariable = 3,  // substitution without a value for a $VARIABLE
        UnboundVariable = 4,  // compiling to SQL with a $VARIABLE still in the predicate
        UnknownKey = 5,       // a key path the entity does not have
        Unsupported = 6,      // something the store cannot select on (see above)
    };

    // TRUEPREDICATE.
    Predicate();

    // %@ takes the next argument as a value, %K the next as a key path; too few or too many
    // arguments is an error.
    [[nodiscard]] static Result<Predicate> parse(std::string_view format, ValueList arguments = {});
    // A format written in the program, never by the user (user text only ever arrives as an
    // argument). One that does not parse is a fault of the program: it is logged and the
    // predicate matches nothing, so a list shows nothing rather than everything.
    static Predicate fromTrustedFormat(std::string_view format, ValueList arguments = {});

    static Predicate truePredicate();
    static Predicate falsePredicate();
    // All of them (TRUEPREDICATE when none), any of them (FALSEPREDICATE when none).
    static Predicate andPredicate(const std::vector<Predicate>& predicates);
    static Predicate orPredicate(const std::vector<Predicate>& predicates);
    static Predicate notPredicate(const Predicate& predicate);

    [[nodiscard]] Result<Predicate> withSubstitutionVariables(
        const PredicateVariables& variables) const;

    // A $VARIABLE left unsubstituted counts as nil here.
    bool evaluate(const KeyValueSource& object) const;

    // A condition on the row `tableAlias` of `entity`'s table (the table's name when the alias
    // is empty), with one binding per "?", in order. Subqueries use aliases starting "_p".
    // Folded searches of the columns in `indexes` read the store's search index.
    [[nodiscard]] Result<SqlWhere> toSql(const ManagedObjectModel& model,
                                         const EntityDescription& entity,
                                         std::string_view tableAlias,
                                         const TextSearchIndexes* indexes = nullptr) const;

    // Canonical text: parses back to the same predicate, except for ObjectID values, which
    // have no literal and are written "<Entity row>".
    std::string description() const;

private:
    explicit Predicate(std::shared_ptr<const PredicateNode> root);

    std::shared_ptr<const PredicateNode> m_root;
};

}  // namespace miravel
