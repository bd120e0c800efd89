#include "DumpReader.h"

#include "mddoc/OffscreenDocument.h"

#include <QRegularExpression>

namespace mddoc::testing {

std::vector<DumpNode> readDump(const QString& dump)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^( *)(\S+) (-?[\d.e+-]+),(-?[\d.e+-]+) (-?[\d.e+-]+)x(-?[\d.e+-]+)(?: margin\(([^,]+),([^)]+)\))?(.*)$)"));
    std::vector<DumpNode> nodes;
    int line = 0;
    for (const QString& text : dump.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const auto match = pattern.match(text);
        if (!match.hasMatch())
            continue;
        DumpNode node;
        node.depth = int(match.captured(1).size() / 2);
        node.type = match.captured(2);
        node.frame = QRectF(match.captured(3).toDouble(), match.captured(4).toDouble(), match.captured(5).toDouble(),
                            match.captured(6).toDouble());
        if (match.capturedLength(7) && match.captured(7) != QLatin1String("-"))
            node.marginTop = match.captured(7).toDouble();
        if (match.capturedLength(8) && match.captured(8) != QLatin1String("-"))
            node.marginBottom = match.captured(8).toDouble();
        node.rest = match.captured(9).trimmed();
        node.line = line++;
        nodes.push_back(node);
    }
    return nodes;
}

QString dumpOf(const QString& markdown, const mdview::Theme& theme, double width, mdview::ColorScheme scheme)
{
    return OffscreenDocument(markdown, theme, scheme, width).dump();
}

std::vector<DumpNode> nodesOf(const QString& markdown, const mdview::Theme& theme, double width,
                              mdview::ColorScheme scheme)
{
    return readDump(dumpOf(markdown, theme, width, scheme));
}

const DumpNode* find(const std::vector<DumpNode>& nodes, const QString& type, const QString& text, const DumpNode* from)
{
    for (const DumpNode& node : nodes) {
        if (from && node.line <= from->line)
            continue;
        if (node.type == type && (text.isEmpty() || node.shows(text)))
            return &node;
    }
    return nullptr;
}

const DumpNode* enclosing(const std::vector<DumpNode>& nodes, const DumpNode& node, const QString& type)
{
    int depth = node.depth;
    for (int i = node.line - 1; i >= 0; --i) {
        if (nodes[std::size_t(i)].depth < depth) {
            depth = nodes[std::size_t(i)].depth;
            if (nodes[std::size_t(i)].type == type)
                return &nodes[std::size_t(i)];
        }
    }
    return nullptr;
}

std::vector<const DumpNode*> topLevel(const std::vector<DumpNode>& nodes)
{
    std::vector<const DumpNode*> result;
    if (nodes.empty())
        return result;
    // The document's stack is the first VStack; its children are one level deeper.
    const DumpNode* stack = find(nodes, QStringLiteral("VStack"));
    if (!stack)
        return result;
    for (const DumpNode& node : nodes) {
        if (node.line > stack->line && node.depth == stack->depth + 1)
            result.push_back(&node);
        else if (node.line > stack->line && node.depth <= stack->depth)
            break;
    }
    return result;
}

} // namespace mddoc::testing
