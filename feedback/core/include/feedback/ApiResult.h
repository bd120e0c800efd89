#pragma once

#include "feedback/Records.h"

#include <utility>
#include <variant>

namespace plendra {

// The outcome of one service call: the decoded response, or why there is none.
template <typename Success, typename Failure = ApiError>
class ApiResult {
public:
    ApiResult(Success value) : m_outcome(std::in_place_index<0>, std::move(value)) {}
    ApiResult(Failure failure) : m_outcome(std::in_place_index<1>, std::move(failure)) {}

    bool isSuccess() const { return m_outcome.index() == 0; }
    const Success& value() const { return std::get<0>(m_outcome); }
    const Failure& error() const { return std::get<1>(m_outcome); }

private:
    std::variant<Success, Failure> m_outcome;
};

} // namespace plendra
