#include "SwiftWords.h"

namespace highlighter::swiftwords {

const QSet<QString>& accessControlKeywords()
{
    static const QSet<QString> words{"public", "internal", "fileprivate", "private"};
    return words;
}

const QSet<QString>& keywords()
{
    static const QSet<QString> words = [] {
        QSet<QString> set{
            "final", "class", "struct", "enum", "protocol", "extension", "let", "var", "func", "typealias",
            "init", "guard", "if", "else", "return", "get", "throw", "throws", "rethrows", "for", "in",
            "open", "weak", "import", "mutating", "nonmutating", "associatedtype", "case", "switch",
            "static", "do", "try", "catch", "as", "super", "self", "set", "true", "false", "nil",
            "override", "where", "_", "default", "break", "#selector", "required", "willSet", "didSet",
            "lazy", "subscript", "defer", "inout", "while", "continue", "fallthrough", "repeat",
            "indirect", "deinit", "is", "#file", "#line", "#function", "dynamic", "some", "#available",
            "convenience", "unowned", "async", "await", "actor"};
        set.unite(accessControlKeywords());
        return set;
    }();
    return words;
}

const QSet<QString>& declarationKeywords()
{
    static const QSet<QString> words{"class", "struct", "enum", "func", "protocol", "typealias",
                                     "import", "associatedtype", "subscript", "init", "actor"};
    return words;
}

const QSet<QString>& keywordsToAvoid()
{
    static const QSet<QString> words = [] {
        QSet<QString> set = keywords();
        for (const char* word : {"return", "try", "throw", "if", "in", "await"})
            set.remove(QString::fromLatin1(word));
        return set;
    }();
    return words;
}

const QSet<QString>& callLikeKeywords()
{
    static const QSet<QString> words = [] {
        QSet<QString> set = accessControlKeywords();
        set.insert("subscript");
        set.insert("init");
        return set;
    }();
    return words;
}

const QSet<QString>& callControlFlowTokens()
{
    static const QSet<QString> words{"if", "&&", "||", "for", "switch"};
    return words;
}

const QSet<QString>& preprocessingControlFlowTokens()
{
    static const QSet<QString> words{"#if", "#endif", "#elseif", "#else"};
    return words;
}

const QSet<QString>& preprocessingDirectiveTokens()
{
    static const QSet<QString> words{"#warning", "#error"};
    return words;
}

} // namespace highlighter::swiftwords
