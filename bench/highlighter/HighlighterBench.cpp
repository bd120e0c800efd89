// Highlighting throughput in MB/s (UTF-8 bytes of the source) on a corpus of real Swift
// source, file by file and concatenated 1, 2, 4 and 8 times, for cutting into tokens,
// classifying, writing HTML and building the attributed text, beside highlight.js and Prism
// on the same files in the same run (see peers.js; setup-peers.sh installs them). Plus two
// inputs that used to be quadratic: a long single-line array literal and an enumeration with
// many cases. A summary at the end holds the figures the highlighter is held to: speed
// beside the peers, flat time per byte, memory of the attributed result, and the share of
// comment characters beside highlight.js's, file by file.

#include "highlighter/AttributedStringOutputFormat.h"
#include "highlighter/HTMLOutputFormat.h"
#include "highlighter/SwiftGrammar.h"
#include "highlighter/SyntaxHighlighter.h"
#include "highlighter/Tokenizer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

using namespace highlighter;

namespace {

const QString corpusDir = qEnvironmentVariable("QUILLORA_SWIFT_CORPUS_DIR", QStringLiteral(QUILLORA_CORPUS_DIR));

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

struct SourceFile {
    QString name;
    QString text;
};

std::vector<SourceFile> loadFiles()
{
    std::vector<SourceFile> files;
    const QDir dir(corpusDir + QStringLiteral("/files"));
    for (const QString& name : dir.entryList({QStringLiteral("*.swift")}, QDir::Files, QDir::Name))
        files.push_back({name, readText(dir.filePath(name))});
    return files;
}

// The concatenation the peers highlight too: each copy followed by a line feed.
QString repeated(const QString& text, qsizetype copies)
{
    QString result;
    result.reserve(text.size() * copies + copies);
    for (qsizetype i = 0; i < copies; ++i) {
        result += text;
        result += u'\n';
    }
    return result;
}

qint64 utf8Bytes(const QString& text)
{
    return text.toUtf8().size();
}

// The Swift grammar's cutting alone, without the facts its rules read.
class CuttingOnly : public SwiftGrammar {
public:
    std::vector<std::uint64_t> gatherFacts(const TokenTable&) const override { return {}; }
};

const auto grammar = std::make_shared<const SwiftGrammar>();
const SyntaxHighlighter<HTMLOutputFormat> htmlHighlighter(HTMLOutputFormat(QStringLiteral("hl-")), grammar);
const SyntaxHighlighter<AttributedStringOutputFormat> attributedHighlighter(
    AttributedStringOutputFormat(Highlight::Theme::brindlesColors(Highlight::Font(13))), grammar);

using Stage = void (*)(const QString&);

void tokenize(const QString& input)
{
    static const CuttingOnly cutting;
    benchmark::DoNotOptimize(Tokenizer().segments(input, cutting).size());
}

void classify(const QString& input)
{
    const Segments segments = Tokenizer().segments(input, *grammar);
    qsizetype classified = 0;
    for (const Segment& segment : segments)
        classified += grammar->firstMatchingRuleIndex(segment) >= 0 ? 1 : 0;
    benchmark::DoNotOptimize(classified);
}

void html(const QString& input)
{
    benchmark::DoNotOptimize(htmlHighlighter.highlight(input).size());
}

void attributed(const QString& input)
{
    benchmark::DoNotOptimize(attributedHighlighter.highlight(input).runs().size());
}

// The characters that HTML puts inside comment spans: comment tokens and the whitespace
// between neighbouring ones, as highlight.js's comment spans hold them.
class CommentCount {
public:
    class Builder {
    public:
        using Output = qsizetype;
        void addToken(QStringView text, const TokenType& type)
        {
            if (type.kind() != TokenType::Kind::comment) {
                addPlainText(text);
                return;
            }
            m_units += (m_inComment ? m_whitespace : 0) + text.size();
            m_inComment = true;
            m_whitespace = 0;
        }
        void addPlainText(QStringView) { m_inComment = false; }
        void addWhitespace(QStringView whitespace) { m_whitespace += m_inComment ? whitespace.size() : 0; }
        qsizetype build() const { return m_units; }

    private:
        qsizetype m_units = 0;
        qsizetype m_whitespace = 0;
        bool m_inComment = false;
    };
    Builder makeBuilder() const { return {}; }
};

struct Peers {
    bool available = false;
    QString note;
    std::map<QString, double> filesMs;                 // by peer
    std::map<QString, std::map<int, double>> concatMs; // by peer, by copies
    std::map<QString, double> commentShare;            // by file, highlight.js's
    QString versions;
};

Peers runPeers()
{
    Peers peers;
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    const QString peersDir = QStringLiteral(QUILLORA_PEERS_DIR);
    if (node.isEmpty() || !QFile::exists(peersDir + QStringLiteral("/node_modules/highlight.js"))) {
        peers.note = QStringLiteral("peers not installed: build the target highlighter_peers (needs node and npm)");
        return peers;
    }
    std::fprintf(stderr, "Timing highlight.js and Prism (about a minute)...\n");
    QProcess process;
    process.start(node, {QStringLiteral(QUILLORA_PEERS_SCRIPT), peersDir, corpusDir});
    if (!process.waitForFinished(10 * 60 * 1000) || process.exitCode() != 0) {
        peers.note = QStringLiteral("peers failed: ") + QString::fromUtf8(process.readAllStandardError()).trimmed();
        return peers;
    }
    const QJsonObject result = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    const QJsonObject byPeer = result.value(QStringLiteral("peers")).toObject();
    for (auto it = byPeer.begin(); it != byPeer.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        peers.filesMs[it.key()] = entry.value(QStringLiteral("filesMs")).toDouble();
        const QJsonObject concat = entry.value(QStringLiteral("concatMs")).toObject();
        for (auto c = concat.begin(); c != concat.end(); ++c)
            peers.concatMs[it.key()][c.key().toInt()] = c.value().toDouble();
    }
    const QJsonObject comments = result.value(QStringLiteral("comments")).toObject();
    for (auto it = comments.begin(); it != comments.end(); ++it)
        peers.commentShare[it.key()] = it.value().toDouble();
    const QJsonObject versions = result.value(QStringLiteral("versions")).toObject();
    for (auto it = versions.begin(); it != versions.end(); ++it)
        peers.versions += it.key() + u' ' + it.value().toString() + u' ';
    peers.available = !peers.filesMs.empty();
    return peers;
}

// Real time per iteration in ms, by benchmark name and argument.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const std::string name = run.benchmark_name();
            const auto slash = name.rfind('/');
            const long argument = slash == std::string::npos ? 0 : std::stol(name.substr(slash + 1));
            ms[name.substr(0, slash)][argument] = run.GetAdjustedRealTime();
        }
    }
    std::map<std::string, std::map<long, double>> ms;
};

void registerStage(const char* name, Stage stage, std::shared_ptr<const QString> input, long argument)
{
    const qint64 bytes = utf8Bytes(*input);
    benchmark::RegisterBenchmark(name, [stage, input, bytes](benchmark::State& state) {
        for (auto _ : state)
            stage(*input);
        state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
    })->Arg(argument)->Unit(benchmark::kMillisecond);
}

void registerFiles(const char* name, Stage stage, std::shared_ptr<const std::vector<SourceFile>> files, qint64 bytes)
{
    benchmark::RegisterBenchmark(name, [stage, files, bytes](benchmark::State& state) {
        for (auto _ : state) {
            for (const SourceFile& file : *files)
                stage(file.text);
        }
        state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
    })->Unit(benchmark::kMillisecond);
}

// "let values = [0, 1, 2, ...]" on one line, about `kilobytes` long.
QString arrayLiteral(qsizetype kilobytes)
{
    QString text = QStringLiteral("let values = [");
    for (qsizetype i = 0; text.size() < kilobytes * 1024; ++i)
        text += QString::number(i) + QStringLiteral(", ");
    text += u"0]\n";
    return text;
}

QString enumeration(qsizetype cases)
{
    QString text = QStringLiteral("enum Big: Int {\n");
    for (qsizetype i = 0; i < cases; ++i)
        text += QStringLiteral("    case value%1 = %1 // note \"%1\"\n").arg(i);
    text += u"}\n";
    return text;
}

const char* verdict(bool met)
{
    return met ? "met" : "MISSED";
}

void summarize(const RecordingReporter& reporter, const Peers& peers, const QString& corpus,
               const std::vector<SourceFile>& files, qint64 filesBytes)
{
    const auto ours = [&](const char* name, long argument) {
        const auto family = reporter.ms.find(name);
        if (family == reporter.ms.end())
            return std::nan("");
        const auto entry = family->second.find(argument);
        return entry == family->second.end() ? std::nan("") : entry->second;
    };
    const auto mbPerSecond = [](qint64 bytes, double ms) { return double(bytes) / 1e3 / ms; };

    std::printf("\n== Summary (UTF-8 MB/s; ms per pass) ==\n");
    if (!peers.available)
        std::printf("%s\n", qPrintable(peers.note));
    else
        std::printf("peers: %s\n", qPrintable(peers.versions));

    const double filesHtml = ours("files_html", 0);
    const double filesAttributed = ours("files_attributed", 0);
    std::printf("\nFile by file, %zu files, %lld bytes:\n", files.size(), qlonglong(filesBytes));
    std::printf("  %-22s %10s %10s\n", "", "ms", "MB/s");
    std::printf("  %-22s %10.2f %10.1f\n", "HTML", filesHtml, mbPerSecond(filesBytes, filesHtml));
    std::printf("  %-22s %10.2f %10.1f\n", "attributed", filesAttributed, mbPerSecond(filesBytes, filesAttributed));
    for (const auto& [peer, ms] : peers.filesMs)
        std::printf("  %-22s %10.2f %10.1f   (HTML is %.1fx faster)\n", qPrintable(peer), ms, mbPerSecond(filesBytes, ms),
                    ms / filesHtml);

    std::printf("\nConcatenated corpus, ns per byte (and its ratio to 1x):\n");
    std::printf("  %-22s", "");
    for (int copies : {1, 2, 4, 8})
        std::printf(" %16dx", copies);
    std::printf(" %10s\n", "max/min");
    const qint64 corpusBytes = utf8Bytes(corpus) + 1;
    std::map<std::string, double> flatness;
    const auto row = [&](const std::string& label, const auto& msFor) {
        std::printf("  %-22s", label.c_str());
        double first = 0, lowest = INFINITY, highest = 0;
        for (int copies : {1, 2, 4, 8}) {
            const double ns = msFor(copies) * 1e6 / double(corpusBytes * copies);
            if (copies == 1)
                first = ns;
            lowest = std::min(lowest, ns);
            highest = std::max(highest, ns);
            std::printf(" %9.2f (%4.2f)", ns, ns / first);
        }
        flatness[label] = highest / lowest;
        std::printf(" %10.2f\n", highest / lowest);
    };
    for (const char* stage : {"corpus_tokenize", "corpus_classify", "corpus_html", "corpus_attributed"})
        row(stage, [&](int copies) { return ours(stage, copies); });
    for (const auto& [peer, byCopies] : peers.concatMs)
        row(peer.toStdString(), [&](int copies) { return byCopies.at(copies); });

    std::printf("\nMemory of the attributed result, bytes per source byte (own: runs and styles; with the text it shares with the source):\n");
    double worstOwn = 0;
    for (int copies : {1, 2, 4, 8}) {
        const QString input = repeated(corpus, copies);
        const richtext::AttributedText out = attributedHighlighter.highlight(input);
        const bool shared = out.text().constData() == input.constData();
        const double all = double(out.memoryUsage());
        const double own = all - (shared ? double(out.text().capacity()) * 2 : 0);
        const double bytes = double(utf8Bytes(input));
        worstOwn = std::max(worstOwn, own / bytes);
        std::printf("  %dx: %zu runs over %zu styles, own %.2f, with the text %.2f (text %s)\n", copies, out.runs().size(),
                    out.styles().size(), own / bytes, all / bytes, shared ? "shared" : "copied");
    }
    double filesOwn = 0, filesAll = 0;
    for (const SourceFile& file : files) {
        const richtext::AttributedText out = attributedHighlighter.highlight(file.text);
        filesAll += double(out.memoryUsage());
        filesOwn += double(out.memoryUsage()) - double(out.text().capacity()) * 2;
    }
    std::printf("  file by file: own %.2f, with the text %.2f\n", filesOwn / double(filesBytes),
                filesAll / double(filesBytes));

    if (peers.available) {
        std::printf("\nShare of characters inside comments, ours beside highlight.js's, file by file:\n");
        const SyntaxHighlighter<CommentCount> counter(CommentCount{}, grammar);
        std::vector<std::pair<double, QString>> differences;
        for (const SourceFile& file : files) {
            const double share = file.text.isEmpty() ? 0 : double(counter.highlight(file.text)) / double(file.text.size());
            const double theirs = peers.commentShare.count(file.name) ? peers.commentShare.at(file.name) : std::nan("");
            differences.push_back({(share - theirs) * 100, file.name});
        }
        std::sort(differences.begin(), differences.end(),
                  [](const auto& a, const auto& b) { return std::abs(a.first) > std::abs(b.first); });
        qsizetype within = 0;
        for (const auto& [points, name] : differences)
            within += std::abs(points) <= 3 ? 1 : 0;
        std::printf("  %lld of %zu files within 3 points; the largest differences (ours minus theirs, points):\n",
                    qlonglong(within), differences.size());
        for (size_t i = 0; i < std::min<size_t>(8, differences.size()); ++i)
            std::printf("    %+6.2f  %s\n", differences[i].first, qPrintable(differences[i].second));
    }

    std::printf("\nInputs that used to be quadratic: time growth when the input doubles (1.00 is linear):\n");
    for (const char* family : {"array_literal_html_kb", "enum_html_cases"}) {
        const auto found = reporter.ms.find(family);
        if (found == reporter.ms.end())
            continue;
        std::printf("  %-22s", family);
        const std::pair<const long, double>* previous = nullptr;
        for (const auto& entry : found->second) {
            if (previous)
                std::printf(" %.2f", (entry.second / previous->second) / (double(entry.first) / double(previous->first)));
            previous = &entry;
        }
        std::printf("\n");
    }

    std::printf("\nTargets:\n");
    std::printf("  attributed >= 20 MB/s file by file: %.1f (%s)\n", mbPerSecond(filesBytes, filesAttributed),
                verdict(mbPerSecond(filesBytes, filesAttributed) >= 20));
    std::printf("  attributed <= 1.5x the HTML time file by file: %.2fx (%s)\n", filesAttributed / filesHtml,
                verdict(filesAttributed / filesHtml <= 1.5));
    if (peers.filesMs.count(QStringLiteral("highlight.js"))) {
        const double speedup = peers.filesMs.at(QStringLiteral("highlight.js")) / filesHtml;
        std::printf("  HTML >= 20x highlight.js file by file: %.1fx (%s)\n", speedup, verdict(speedup >= 20));
    }
    for (const char* stage : {"corpus_html", "corpus_attributed"})
        std::printf("  %s time per byte within 1.2x from 1x to 8x: %.2f (%s)\n", stage, flatness[stage],
                    verdict(flatness[stage] <= 1.2));
    std::printf("  attributed result <= 4 bytes per source byte (own): %.2f (%s)\n", worstOwn, verdict(worstOwn <= 4));
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    const QString corpus = readText(corpusDir + QStringLiteral("/corpus.swift"));
    const auto files = std::make_shared<const std::vector<SourceFile>>(loadFiles());
    qint64 filesBytes = 0;
    for (const SourceFile& file : *files)
        filesBytes += utf8Bytes(file.text);
    Peers peers;
    if (corpus.isEmpty() || files->empty()) {
        std::fprintf(stderr, "No Swift corpus in %s: build the target highlighter_corpus (or set "
                             "QUILLORA_SWIFT_CORPUS_DIR). Only the generated inputs run.\n",
                     qPrintable(corpusDir));
    } else {
        std::fprintf(stderr, "Corpus: %zu files, %lld UTF-8 bytes\n", files->size(), qlonglong(utf8Bytes(corpus)));
        peers = runPeers();
        registerFiles("files_html", html, files, filesBytes);
        registerFiles("files_attributed", attributed, files, filesBytes);
        const std::pair<const char*, Stage> stages[] = {
            {"corpus_tokenize", tokenize}, {"corpus_classify", classify}, {"corpus_html", html},
            {"corpus_attributed", attributed}};
        for (const auto& [name, stage] : stages) {
            for (qsizetype copies : {1, 2, 4, 8})
                registerStage(name, stage, std::make_shared<const QString>(repeated(corpus, copies)), long(copies));
        }
    }
    for (qsizetype kilobytes : {128, 256, 512, 1024})
        registerStage("array_literal_html_kb", html, std::make_shared<const QString>(arrayLiteral(kilobytes)),
                      long(kilobytes));
    for (qsizetype cases : {2500, 5000, 10000, 20000})
        registerStage("enum_html_cases", html, std::make_shared<const QString>(enumeration(cases)), long(cases));

    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (!corpus.isEmpty() && !files->empty())
        summarize(reporter, peers, corpus, *files, filesBytes);
    benchmark::Shutdown();
    return 0;
}
