#pragma once

// Reads the layout dump back: one record per node, so tests assert geometry by type and text.

#include "mdview/Color.h"
#include "mdview/View.h"

#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace mddoc::testing {

struct DumpNode {
    int depth = 0;
    QString type;
    QRectF frame;
    std::optional<double> marginTop;
    std::optional<double> marginBottom;
    QString rest; // id, details
    int line = 0;

    bool shows(const QString& text) const { return rest.contains(QLatin1Char('"') + text); }
};

std::vector<DumpNode> readDump(const QString& dump);

// The dump of a document rendered from Markdown text.
QString dumpOf(const QString& markdown, const mdview::Theme& theme, double width = 600,
               mdview::ColorScheme scheme = mdview::ColorScheme::light);
std::vector<DumpNode> nodesOf(const QString& markdown, const mdview::Theme& theme, double width = 600,
                              mdview::ColorScheme scheme = mdview::ColorScheme::light);

// The first node of a type (after `from`), optionally one whose text starts with `text`.
const DumpNode* find(const std::vector<DumpNode>& nodes, const QString& type, const QString& text = {},
                     const DumpNode* from = nullptr);
// The nearest enclosing node of a type.
const DumpNode* enclosing(const std::vector<DumpNode>& nodes, const DumpNode& node, const QString& type);
// The top-level blocks: the children of the document's stack.
std::vector<const DumpNode*> topLevel(const std::vector<DumpNode>& nodes);

} // namespace mddoc::testing
