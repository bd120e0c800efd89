#pragma once

#include "highlighter/TokenType.h"

#include <QStringView>

#include <concepts>

namespace highlighter {

// Receives highlighted text in order: classified tokens, unclassified text and whitespace.
template <class B>
concept OutputBuilder = requires(B builder, QStringView text, const TokenType& type) {
    typename B::Output;
    builder.addToken(text, type);
    builder.addPlainText(text);
    builder.addWhitespace(text);
    { builder.build() } -> std::same_as<typename B::Output>;
};

// Decides what highlighted text becomes; makes a fresh builder for each highlighting call.
template <class F>
concept OutputFormat = requires(const F format) {
    { format.makeBuilder() } -> OutputBuilder;
};

} // namespace highlighter
