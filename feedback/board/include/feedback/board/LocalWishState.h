#pragma once

#include "feedback/Records.h"
#include "feedback/WishModel.h"

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace plendra {

// The value of the board's state filter: one state of the service, or all requests.
class LocalWishState {
public:
    static LocalWishState all() { return LocalWishState(std::nullopt); }
    static LocalWishState library(WishState state) { return LocalWishState(state); }

    bool isAll() const { return !m_state; }
    const std::optional<WishState>& state() const { return m_state; }
    // "All", or the state's display title from the shared texts.
    QString id() const;

    friend bool operator==(const LocalWishState&, const LocalWishState&) = default;

private:
    explicit LocalWishState(std::optional<WishState> state) : m_state(state) {}
    std::optional<WishState> m_state;
};

// The filter's six entries, in the order the picker offers them.
const std::array<LocalWishState, 6>& filterEntries();

// The list of `model` that a filter value shows: approved requests are in review, implemented
// ones completed, rejected ones in no list.
const QList<WishResponse>& stateList(const WishModel& model, const LocalWishState& state);

// A picker entry's text, e.g. "All (12)".
QString filterEntryTitle(const LocalWishState& state, qsizetype count);

} // namespace plendra
