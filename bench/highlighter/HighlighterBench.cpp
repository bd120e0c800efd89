// Highlighting throughput in MB/s (UTF-8 bytes of the source) for cutting into tokens,
// classifying and writing HTML, on a corpus of real Swift source and on 2x, 4x and 8x
// copies of it, plus two inputs that used to be quadratic: a long single-line array
// literal and an enumeration with many cases. After the runs, a table shows how the time
// grows when the input doubles (1.0 is linear; the target is at most 1.3).

#include "highlighter/AttributedStringOutputFormat.h"
#include "highlighter/HTMLOutputFormat.h"
#include "highlighter/SwiftGrammar.h"
#include "highlighter/SyntaxHighlighter.h"
#include "highlighter/Tokenizer.h"

#include <QFile>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

using namespace highlighter;

namespace {

QString loadCorpus()
{
    QString path = qEnvironmentVariable("QUILLORA_SWIFT_CORPUS");
    if (path.isEmpty())
        path = QStringLiteral(QUILLORA_CORPUS_DIR "/corpus.swift");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

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

// The Swift grammar's cutting alone, without the facts its rules read.
class CuttingOnly : public SwiftGrammar {
public:
    std::vector<std::uint64_t> gatherFacts(const TokenTable&) const override { return {}; }
};

using Input = std::shared_ptr<const QString>;

void setBytes(benchmark::State& state, const QString& input)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.toUtf8().size()));
}

void tokenize(benchmark::State& state, const QString& input)
{
    const CuttingOnly grammar;
    for (auto _ : state) {
        const Segments segments = Tokenizer().segments(input, grammar);
        benchmark::DoNotOptimize(segments.size());
    }
    setBytes(state, input);
}

void classify(benchmark::State& state, const QString& input)
{
    const SwiftGrammar grammar;
    for (auto _ : state) {
        const Segments segments = Tokenizer().segments(input, grammar);
        qsizetype classified = 0;
        for (const Segment& segment : segments)
            classified += grammar.firstMatchingRule(segment) ? 1 : 0;
        benchmark::DoNotOptimize(classified);
    }
    setBytes(state, input);
}

void html(benchmark::State& state, const QString& input)
{
    const SyntaxHighlighter<HTMLOutputFormat> highlighter(HTMLOutputFormat("s-"), std::make_shared<SwiftGrammar>());
    for (auto _ : state) {
        const QString out = highlighter.highlight(input);
        benchmark::DoNotOptimize(out.size());
    }
    setBytes(state, input);
}

void attributed(benchmark::State& state, const QString& input)
{
    const SyntaxHighlighter<AttributedStringOutputFormat> highlighter(
        AttributedStringOutputFormat(Highlight::Theme::brindlesColors(Highlight::Font(13))),
        std::make_shared<SwiftGrammar>());
    for (auto _ : state) {
        const richtext::AttributedText out = highlighter.highlight(input);
        benchmark::DoNotOptimize(out.runs().size());
    }
    setBytes(state, input);
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

// Console output plus, at the end, the growth of time when the input doubles.
class ScalingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const std::string name = run.benchmark_name();
            const auto slash = name.rfind('/');
            const double bytesPerSecond = run.counters.count("bytes_per_second")
                                              ? double(run.counters.at("bytes_per_second"))
                                              : 0.0;
            m_results[name.substr(0, slash)][std::stol(name.substr(slash + 1))] = {run.GetAdjustedRealTime(),
                                                                                  bytesPerSecond};
        }
    }

    void summarize() const
    {
        std::printf("\n%-22s %8s %10s %12s %22s\n", "benchmark", "size", "MB/s", "time (ms)", "time x / size x");
        for (const auto& [family, sizes] : m_results) {
            const std::pair<long, Result>* previous = nullptr;
            std::pair<long, Result> last;
            for (const auto& entry : sizes) {
                const auto& [size, result] = entry;
                char growth[64] = "";
                if (previous) {
                    const double ratio = (result.time / previous->second.time) / (double(size) / previous->first);
                    std::snprintf(growth, sizeof growth, "%.2f", ratio);
                }
                std::printf("%-22s %8ld %10.1f %12.3f %22s\n", family.c_str(), size, result.bytesPerSecond / 1e6,
                            result.time, growth);
                last = entry;
                previous = &last;
            }
        }
    }

private:
    struct Result {
        double time = 0; // in the benchmark's time unit (ms)
        double bytesPerSecond = 0;
    };
    std::map<std::string, std::map<long, Result>> m_results;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    const QString corpus = loadCorpus();
    if (corpus.isEmpty()) {
        std::fprintf(stderr, "No Swift corpus: build the target highlighter_corpus (or set QUILLORA_SWIFT_CORPUS). "
                             "Only the generated inputs run.\n");
    } else {
        std::fprintf(stderr, "Corpus: %lld UTF-8 bytes\n", qlonglong(corpus.toUtf8().size()));
        const std::pair<const char*, void (*)(benchmark::State&, const QString&)> stages[] = {
            {"corpus_tokenize", tokenize}, {"corpus_classify", classify}, {"corpus_html", html},
            {"corpus_attributed", attributed}};
        for (const auto& [name, stage] : stages) {
            for (qsizetype copies : {1, 2, 4, 8}) {
                auto input = std::make_shared<const QString>(repeated(corpus, copies));
                benchmark::RegisterBenchmark(name, [stage = stage, input](benchmark::State& state) { stage(state, *input); })
                    ->Arg(int64_t(copies))
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
    for (qsizetype kilobytes : {128, 256, 512, 1024}) {
        auto input = std::make_shared<const QString>(arrayLiteral(kilobytes));
        benchmark::RegisterBenchmark("array_literal_html_kb", [input](benchmark::State& state) { html(state, *input); })
            ->Arg(int64_t(kilobytes))
            ->Unit(benchmark::kMillisecond);
    }
    for (qsizetype cases : {2500, 5000, 10000, 20000}) {
        auto input = std::make_shared<const QString>(enumeration(cases));
        benchmark::RegisterBenchmark("enum_html_cases", [input](benchmark::State& state) { html(state, *input); })
            ->Arg(int64_t(cases))
            ->Unit(benchmark::kMillisecond);
    }

    ScalingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.summarize();
    benchmark::Shutdown();
    return 0;
}
