#include "db/Activation.h"

#include "db/Accounts.h"
#include "db/ContentPages.h"

Activation Activate(DbSession& db, ListKind list, std::string_view title, std::string_view user)
{
    using Kind = Activation::Kind;
    if (list == ListKind::Board)
        return {};
    const ListItem item = LookUpItem(db, list, title);
    switch (item.kind) {
    case ListItem::Kind::Failed: return {Kind::LookupFailed, {}, {}};
    case ListItem::Kind::Gone: return {};
    case ListItem::Kind::NotANumber: return {Kind::NotANumber, {}, item.error};
    case ListItem::Kind::Found: break;
    }
    if (list == ListKind::Videos) {
        const ScoreRead score = ReadScore(db, user);
        switch (score.kind) {
        case ScoreRead::Kind::Failed: return {Kind::ScoreFailed, {}, {}};
        case ScoreRead::Kind::NoAccount: return {};
        case ScoreRead::Kind::NotANumber: return {Kind::NotANumber, {}, score.error};
        case ScoreRead::Kind::Read: break;
        }
        if (!ScoreAllows(score.score, item.requiredScore))
            return {Kind::ScoreTooLow, {}, {}};
    }
    return {Kind::Open, item.link, {}};
}
