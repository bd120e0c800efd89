#pragma once

// The machinery shared by the declarative content builders. A builder is described by a
// policy: the list it produces (List), the values it takes as single statements
// (isElement) and how one such value is appended (appendElement). Around those, every
// builder accepts the same compound statements, joined in statement order:
//   std::optional<S>          a statement that may be absent (an `if` without `else`)
//   std::variant<S...>        one of several statements (`if`/`else`, `switch`)
//   a range of S              one statement per element (a `for` loop)
// and the statement form `Builder::build([&](auto& add) { add(...); ... })` for code
// with control flow.

#include <concepts>
#include <optional>
#include <ranges>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace markdown {

template <typename T>
concept StringLike = std::convertible_to<const T&, std::string_view>;

namespace detail {

template <typename T> struct IsOptional : std::false_type {};
template <typename T> struct IsOptional<std::optional<T>> : std::true_type {};
template <typename T> struct IsVariant : std::false_type {};
template <typename... Ts> struct IsVariant<std::variant<Ts...>> : std::true_type {};

template <typename Policy, typename T> consteval bool isStatement()
{
    using U = std::remove_cvref_t<T>;
    if constexpr (Policy::template isElement<U>)
        return true;
    else if constexpr (IsOptional<U>::value)
        return isStatement<Policy, typename U::value_type>();
    else if constexpr (IsVariant<U>::value)
        return []<typename... Ts>(std::type_identity<std::variant<Ts...>>) {
            return (isStatement<Policy, Ts>() && ...);
        }(std::type_identity<U>{});
    else if constexpr (std::ranges::input_range<U>)
        return isStatement<Policy, std::ranges::range_value_t<U>>();
    else
        return false;
}

template <typename Policy, typename T>
void appendStatement(typename Policy::List& out, const T& statement)
{
    using U = std::remove_cvref_t<T>;
    if constexpr (Policy::template isElement<U>) {
        Policy::appendElement(out, statement);
    } else if constexpr (IsOptional<U>::value) {
        if (statement)
            appendStatement<Policy>(out, *statement);
    } else if constexpr (IsVariant<U>::value) {
        std::visit([&out](const auto& alternative) { appendStatement<Policy>(out, alternative); }, statement);
    } else {
        for (const auto& element : statement)
            appendStatement<Policy>(out, element);
    }
}

} // namespace detail

// A statement the builder Policy takes (as a constraint: StatementOf<Policy> T).
template <typename T, typename Policy>
concept StatementOf = detail::isStatement<Policy, T>();

// Collects statements in order; handed to the body of Builder::build.
template <typename Policy> class StatementCollector {
public:
    explicit StatementCollector(typename Policy::List& out) : out_(out) {}

    template <StatementOf<Policy> T> StatementCollector& operator()(const T& statement)
    {
        detail::appendStatement<Policy>(out_, statement);
        return *this;
    }

private:
    typename Policy::List& out_;
};

// The operations every builder offers over its policy.
template <typename Policy> struct BuilderOperations {
    // The statements joined in order.
    template <StatementOf<Policy>... Statements> static auto join(const Statements&... statements)
    {
        typename Policy::List out;
        (detail::appendStatement<Policy>(out, statements), ...);
        return out;
    }

    // Calls body once, immediately, with a collector; the collected statements in order.
    template <std::invocable<StatementCollector<Policy>&> Body> static auto build(Body&& body)
    {
        typename Policy::List out;
        StatementCollector<Policy> collector(out);
        std::forward<Body>(body)(collector);
        return out;
    }
};

} // namespace markdown
