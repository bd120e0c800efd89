// Fills a 200-column buffer with 10,000 rows of output (lines of 0 to 400 characters, some
// with CJK text, so many wrap), then times its reflow to 120 columns and back. Beside it, a
// plain copy of every cell: the least any pass over the rows costs.
// Usage: bench_terminal_reflow [runs]. Prints the medians and the process's peak memory.
#include "TestSupport.h"
#include "terminal/Buffer.h"
#include "terminal/UnicodeUtil.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <malloc.h>

namespace {

constexpr int wideCols = 200;
constexpr int narrowCols = 120;
constexpr int screenRows = 50;
constexpr int totalRows = 10'000;

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The resident set now and its high-water mark, in kilobytes, from /proc/self/status.
long statusKilobytes(const char* field)
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long value = -1;
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, length) == 0)
            value = std::atol(line + length);
    }
    std::fclose(status);
    return value;
}

// Starts the high-water mark again from the resident set now.
void resetPeak()
{
    if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}

void fill(terminal::Buffer& buffer)
{
    std::mt19937 random(42);
    const std::string words[] = {"build ", "warning: ", "src/main.cpp:42 ", "ok ", "表示する ", "値 ", "-- ", "[done] "};
    while (buffer.lines().count() < totalRows) {
        const std::size_t length = random() % 401;
        std::string line;
        std::size_t characters = 0;
        while (characters < length) {
            const std::string& word = words[random() % std::size(words)];
            line += word;
            characters += terminal::decodeUtf8(word).size();
        }
        terminal::test::write(buffer, line + "\n");
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    // Room for the rows the narrower screen needs, so that nothing falls off the top.
    auto owned = terminal::test::makeBuffer(wideCols, screenRows, 3 * totalRows);
    terminal::Buffer& buffer = *owned;
    fill(buffer);
    const std::size_t before = std::hash<std::string>()(buffer.allText());
    malloc_trim(0);
    resetPeak();
    std::printf("buffer: %d rows of %d columns, %zu bytes a cell, %.1f MB of cells; resident %.1f MB\n", buffer.lines().count(),
                wideCols, sizeof(terminal::CharData), buffer.lines().count() * double(wideCols) * sizeof(terminal::CharData) / 1e6,
                statusKilobytes("VmRSS:") / 1024.0);

    std::vector<double> narrow;
    std::vector<double> widen;
    int narrowRows = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        buffer.resize(narrowCols, screenRows);
        narrow.push_back(msSince(start));
        narrowRows = buffer.lines().count();
        start = Clock::now();
        buffer.resize(wideCols, screenRows);
        widen.push_back(msSince(start));
    }
    const long peak = statusKilobytes("VmHWM:");
    if (std::hash<std::string>()(buffer.allText()) != before || !buffer.checkInvariants().empty()) {
        std::fprintf(stderr, "bench_terminal_reflow: the text changed across the reflow\n");
        return 1;
    }

    std::vector<double> copy;
    std::vector<terminal::CharData> scratch(static_cast<std::size_t>(buffer.lines().count()) * wideCols);
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        std::size_t offset = 0;
        for (int i = 0; i < buffer.lines().count(); ++i) {
            const auto& cells = buffer.lines()[i].getData();
            std::memcpy(static_cast<void*>(scratch.data() + offset), cells.data(), cells.size() * sizeof(terminal::CharData));
            offset += cells.size();
        }
        copy.push_back(msSince(start));
    }
    std::printf("200 -> 120 columns: %.2f ms (median of %d; %d rows after; target <= 30)\n", median(narrow), runs, narrowRows);
    std::printf("120 -> 200 columns: %.2f ms (median of %d; target <= 30)\n", median(widen), runs);
    std::printf("copy of every cell: %.2f ms (median of %d)\n", median(copy), runs);
    std::printf("peak resident through the reflows: %.1f MB (the whole process; target <= 50)\n", peak / 1024.0);
    return 0;
}
