#pragma once

#include "markdown/Hasher.h"

#include <cstddef>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace markdown {

// Text-level structure of a document: a recursive tagged union whose alternatives are
// declared in a fixed order (the variant index is the case's position, used in hashing).
struct InlineNode {
    struct Text {
        std::string text;
        bool operator==(const Text&) const = default;
    };
    struct SoftBreak {
        bool operator==(const SoftBreak&) const = default;
    };
    struct LineBreak {
        bool operator==(const LineBreak&) const = default;
    };
    struct Code {
        std::string code;
        bool operator==(const Code&) const = default;
    };
    struct Html {
        std::string html;
        bool operator==(const Html&) const = default;
    };
    struct Emphasis {
        std::vector<InlineNode> children;
        bool operator==(const Emphasis&) const = default;
    };
    struct Strong {
        std::vector<InlineNode> children;
        bool operator==(const Strong&) const = default;
    };
    struct Strikethrough {
        std::vector<InlineNode> children;
        bool operator==(const Strikethrough&) const = default;
    };
    struct Link {
        std::string destination;
        std::vector<InlineNode> children;
        bool operator==(const Link&) const = default;
    };
    struct Image {
        std::string source;
        std::vector<InlineNode> children;
        bool operator==(const Image&) const = default;
    };

    using Value = std::variant<Text, SoftBreak, LineBreak, Code, Html, Emphasis, Strong, Strikethrough,
                               Link, Image>;

    Value value;

    static InlineNode text(std::string text) { return {Text{std::move(text)}}; }
    static InlineNode softBreak() { return {SoftBreak{}}; }
    static InlineNode lineBreak() { return {LineBreak{}}; }
    static InlineNode code(std::string code) { return {Code{std::move(code)}}; }
    static InlineNode html(std::string html) { return {Html{std::move(html)}}; }
    static InlineNode emphasis(std::vector<InlineNode> children) { return {Emphasis{std::move(children)}}; }
    static InlineNode strong(std::vector<InlineNode> children) { return {Strong{std::move(children)}}; }
    static InlineNode strikethrough(std::vector<InlineNode> children)
    {
        return {Strikethrough{std::move(children)}};
    }
    static InlineNode link(std::string destination, std::vector<InlineNode> children)
    {
        return {Link{std::move(destination), std::move(children)}};
    }
    static InlineNode image(std::string source, std::vector<InlineNode> children)
    {
        return {Image{std::move(source), std::move(children)}};
    }

    template <typename Case> bool is() const { return std::holds_alternative<Case>(value); }
    template <typename Case> const Case* as() const { return std::get_if<Case>(&value); }

    // The inline children of a container case (emphasis, strong, strikethrough, link, image);
    // nullptr for the leaf cases.
    const std::vector<InlineNode>* children() const;

    bool operator==(const InlineNode&) const = default;
};

void hashInto(Hasher& hasher, const InlineNode& node);

// Replaces one inline node by any number of nodes. It fails by throwing; the exception
// reaches the caller of the rewrite unchanged.
using InlineRewriter = std::function<std::vector<InlineNode>(InlineNode node)>;

} // namespace markdown

template <> struct std::hash<markdown::InlineNode> {
    std::size_t operator()(const markdown::InlineNode& node) const { return markdown::hashValue(node); }
};
