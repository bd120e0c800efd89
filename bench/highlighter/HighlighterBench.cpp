// Highlighting throughput in MB/s (UTF-8 bytes of the source) on a corpus of real Swift
// source, file by file and concatenated 1, 2, 4 and 8 times: first each stage (cutting into
// tokens, classifying, writing HTML, building the attributed text) and two inputs that used
// to be quadratic (a long single-line array literal, an enumeration with many cases); then
// the HTML and attributed paths in turns with highlight.js and Prism on the same inputs (see
// peers.js; setup-peers.sh installs them), so that the ratios hold on a busy machine. A
// summary holds the figures the highlighter is held to: speed beside the peers, flat time
// per byte, memory of the attributed result, and the share of comment characters beside
// highlight.js's, file by file.

#include "highlighter/AttributedStringOutputFormat.h"
#include "highlighter/HTMLOutputFormat.h"
#include "highlighter/SwiftGrammar.h"
#include "highlighter/SyntaxHighlighter.h"
#include "highlighter/Tokenizer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
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

// The peers, asked through peers.js running alongside.
class Peers {
public:
    Peers()
    {
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        const QString peersDir = QStringLiteral(QUILLORA_PEERS_DIR);
        if (node.isEmpty() || !QFile::exists(peersDir + QStringLiteral("/node_modules/highlight.js"))) {
            m_note = QStringLiteral("peers not installed: build the target highlighter_peers (needs node and npm)");
            return;
        }
        m_process.start(node, {QStringLiteral(QUILLORA_PEERS_SCRIPT), peersDir, corpusDir});
        const QJsonObject versions = request(QStringLiteral("versions")).toObject();
        for (auto it = versions.begin(); it != versions.end(); ++it)
            m_note += it.key() + u' ' + it.value().toString() + u' ';
        if (versions.isEmpty())
            m_note = QStringLiteral("peers failed to start: ") + QString::fromUtf8(m_process.readAllStandardError());
    }
    ~Peers()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(5000);
    }

    bool available() const { return m_process.state() == QProcess::Running; }
    const QString& note() const { return m_note; }
    static QStringList names() { return {QStringLiteral("highlight.js"), QStringLiteral("Prism")}; }

    double filesMs(const QString& peer) { return request(QStringLiteral("files ") + peer).toDouble(); }
    double concatMs(const QString& peer, int copies)
    {
        return request(QStringLiteral("concat %1 %2").arg(peer).arg(copies)).toDouble();
    }
    std::map<QString, double> commentShares()
    {
        std::map<QString, double> shares;
        const QJsonObject byFile = request(QStringLiteral("comments")).toObject();
        for (auto it = byFile.begin(); it != byFile.end(); ++it)
            shares[it.key()] = it.value().toDouble();
        return shares;
    }

private:
    QJsonValue request(const QString& line)
    {
        m_process.write((line + u'\n').toUtf8());
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10 * 60 * 1000))
                return {};
        }
        return QJsonDocument::fromJson("[" + m_process.readLine() + "]").array().at(0);
    }

    QProcess m_process;
    QString m_note;
};

// Passes timed in turns, round after round, so that a busy machine slows all of them alike;
// the first round warms up and is not counted. The medians, in ms, by contender.
std::map<QString, double> inTurns(const std::vector<std::pair<QString, std::function<double()>>>& contenders, int rounds)
{
    std::map<QString, std::vector<double>> times;
    for (int round = 0; round <= rounds; ++round) {
        for (const auto& [name, pass] : contenders) {
            const double ms = pass();
            if (round > 0)
                times[name].push_back(ms);
        }
    }
    std::map<QString, double> medians;
    for (auto& [name, values] : times) {
        std::sort(values.begin(), values.end());
        medians[name] = values[values.size() / 2];
    }
    return medians;
}

// Milliseconds of one call of `work`, averaged over a quarter of a second of calls: a pass
// of ours is far shorter than a peer's, and this exposes both alike to a busy machine.
double timed(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    int calls = 0;
    do {
        work();
        ++calls;
    } while (timer.nsecsElapsed() < 250'000'000);
    return double(timer.nsecsElapsed()) / 1e6 / calls;
}

// Real time per iteration in ms, by benchmark name and argument: the median of the
// repetitions when there are several (--benchmark_repetitions), else the one run.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        const bool repeated = std::any_of(runs.begin(), runs.end(), [](const Run& run) {
            return run.run_type == Run::RT_Aggregate;
        });
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            if (repeated ? run.run_type != Run::RT_Aggregate || run.aggregate_name != "median"
                         : run.run_type != Run::RT_Iteration)
                continue;
            std::string name = run.benchmark_name();
            if (repeated)
                name = name.substr(0, name.rfind('_')); // without "_median"
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

void summarize(const RecordingReporter& reporter, Peers& peers, const QString& corpus,
               const std::vector<SourceFile>& files, qint64 filesBytes)
{
    const auto mbPerSecond = [](qint64 bytes, double ms) { return double(bytes) / 1e3 / ms; };
    const auto ourPasses = [&](const std::function<void()>& htmlPass, const std::function<void()>& attributedPass) {
        std::vector<std::pair<QString, std::function<double()>>> contenders = {
            {QStringLiteral("HTML"), [=] { return timed(htmlPass); }},
            {QStringLiteral("attributed"), [=] { return timed(attributedPass); }}};
        return contenders;
    };

    std::printf("\n== Summary: the paths in turns with the peers (medians; UTF-8 MB/s) ==\n");
    std::printf("%s\n", qPrintable(peers.note()));

    std::fprintf(stderr, "Timing file by file in turns with the peers...\n");
    auto contenders = ourPasses([&] { for (const SourceFile& f : files) html(f.text); },
                                [&] { for (const SourceFile& f : files) attributed(f.text); });
    if (peers.available()) {
        for (const QString& peer : Peers::names())
            contenders.push_back({peer, [&peers, peer] { return peers.filesMs(peer); }});
    }
    const std::map<QString, double> filesMs = inTurns(contenders, 9);
    std::printf("\nFile by file, %zu files, %lld bytes:\n", files.size(), qlonglong(filesBytes));
    std::printf("  %-14s %10s %10s %14s\n", "", "ms", "MB/s", "HTML faster by");
    for (const auto& [name, ms] : filesMs)
        std::printf("  %-14s %10.2f %10.1f %13.1fx\n", qPrintable(name), ms, mbPerSecond(filesBytes, ms),
                    ms / filesMs.at(QStringLiteral("HTML")));

    std::fprintf(stderr, "Timing the concatenated corpus in turns with the peers...\n");
    const qint64 corpusBytes = utf8Bytes(corpus) + 1;
    std::map<QString, std::map<int, double>> nsPerByte;
    for (int copies : {1, 2, 4, 8}) {
        const auto input = std::make_shared<const QString>(repeated(corpus, copies));
        auto turns = ourPasses([input] { html(*input); }, [input] { attributed(*input); });
        if (peers.available()) {
            for (const QString& peer : Peers::names())
                turns.push_back({peer, [&peers, peer, copies] { return peers.concatMs(peer, copies); }});
        }
        for (const auto& [name, ms] : inTurns(turns, 5))
            nsPerByte[name][copies] = ms * 1e6 / double(corpusBytes * copies);
    }
    std::printf("\nConcatenated corpus, ns per byte (and its ratio to 1x):\n");
    std::printf("  %-14s", "");
    for (int copies : {1, 2, 4, 8})
        std::printf(" %15dx", copies);
    std::printf(" %9s\n", "max/min");
    std::map<QString, double> flatness;
    for (const auto& [name, byCopies] : nsPerByte) {
        std::printf("  %-14s", qPrintable(name));
        double lowest = INFINITY, highest = 0;
        for (const auto& [copies, ns] : byCopies) {
            lowest = std::min(lowest, ns);
            highest = std::max(highest, ns);
            std::printf(" %9.2f (%4.2f)", ns, ns / byCopies.at(1));
        }
        flatness[name] = highest / lowest;
        std::printf(" %9.2f\n", highest / lowest);
    }

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

    if (peers.available()) {
        const std::map<QString, double> theirs = peers.commentShares();
        std::printf("\nShare of characters inside comments, ours beside highlight.js's, file by file:\n");
        const SyntaxHighlighter<CommentCount> counter(CommentCount{}, grammar);
        std::vector<std::pair<double, QString>> differences;
        for (const SourceFile& file : files) {
            const double share = file.text.isEmpty() ? 0 : double(counter.highlight(file.text)) / double(file.text.size());
            const auto their = theirs.find(file.name);
            differences.push_back({(share - (their == theirs.end() ? std::nan("") : their->second)) * 100, file.name});
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

    const double htmlMs = filesMs.at(QStringLiteral("HTML"));
    const double attributedMs = filesMs.at(QStringLiteral("attributed"));
    std::printf("\nTargets:\n");
    std::printf("  attributed >= 20 MB/s file by file: %.1f (%s)\n", mbPerSecond(filesBytes, attributedMs),
                verdict(mbPerSecond(filesBytes, attributedMs) >= 20));
    std::printf("  attributed <= 1.5x the HTML time file by file: %.2fx (%s)\n", attributedMs / htmlMs,
                verdict(attributedMs / htmlMs <= 1.5));
    if (filesMs.count(QStringLiteral("highlight.js"))) {
        const double speedup = filesMs.at(QStringLiteral("highlight.js")) / htmlMs;
        std::printf("  HTML >= 20x highlight.js file by file: %.1fx (%s)\n", speedup, verdict(speedup >= 20));
    }
    for (const char* path : {"HTML", "attributed"})
        std::printf("  %s time per byte within 1.2x from 1x to 8x: %.2f (%s)\n", path, flatness[path],
                    verdict(flatness[path] <= 1.2));
    std::printf("  attributed result <= 4 bytes per source byte (own): %.2f (%s)\n", worstOwn, verdict(worstOwn <= 4));
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv); // for the peers' process

    const QString corpus = readText(corpusDir + QStringLiteral("/corpus.swift"));
    const auto files = std::make_shared<const std::vector<SourceFile>>(loadFiles());
    qint64 filesBytes = 0;
    for (const SourceFile& file : *files)
        filesBytes += utf8Bytes(file.text);
    if (corpus.isEmpty() || files->empty()) {
        std::fprintf(stderr, "No Swift corpus in %s: build the target highlighter_corpus (or set "
                             "QUILLORA_SWIFT_CORPUS_DIR). Only the generated inputs run.\n",
                     qPrintable(corpusDir));
    } else {
        std::fprintf(stderr, "Corpus: %zu files, %lld UTF-8 bytes\n", files->size(), qlonglong(utf8Bytes(corpus)));
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
    if (!corpus.isEmpty() && !files->empty()) {
        Peers peers;
        summarize(reporter, peers, corpus, *files, filesBytes);
    }
    benchmark::Shutdown();
    return 0;
}
