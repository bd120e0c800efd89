// Feeds generated 32 MB workloads in 64 KiB chunks to the terminal engine at 120x40 and 200x50
// with 10,000 rows of scroll-back, and the same bytes to libvterm (its screen layer, keeping
// the same scroll-back through its push-line hook), and prints MB per second of the feeding
// thread's CPU time for each beside the targets. libvterm runs in a child process, since floods can crash it. Usage:
// bench_terminal_parser [runs] [name] [--engine-only] (runs default 3, the median is printed; a
// name runs only the workloads whose names contain it).

#include "terminal/Terminal.h"
#include "terminal/UnicodeUtil.h"

#ifdef HAVE_LIBVTERM
#include <vterm.h>
#endif

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::size_t workloadSize = 32u << 20;
constexpr std::size_t chunkSize = 64u << 10;
constexpr int scrollback = 10'000;

class Random {
public:
    std::uint32_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<std::uint32_t>(state_ >> 11);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

const char* const words[] = {"the", "quick", "brown", "fox", "jumps", "over", "a", "lazy", "dog", "terminal",
                             "parser", "buffer", "scroll", "region", "cursor", "-rw-r--r--", "1024", "src/main.cpp"};

std::string word(Random& r)
{
    return words[r.below(sizeof words / sizeof *words)];
}

// Appends lines from `line` until the workload has its size.
std::string generate(const std::function<void(Random&, std::string&)>& line)
{
    Random r;
    std::string out;
    out.reserve(workloadSize + 4096);
    while (out.size() < workloadSize)
        line(r, out);
    out.resize(workloadSize);
    return out;
}

void plainLine(Random& r, std::string& out)
{
    const int length = r.below(120);
    const std::size_t start = out.size();
    while (out.size() - start < static_cast<std::size_t>(length))
        out += word(r) + ' ';
    out += "\r\n";
}

struct Workload {
    const char* name;
    double target; // MB/s at least
    bool vsPeer;   // also at least three times libvterm
    std::function<std::string()> bytes;
};

std::vector<Workload> workloads(int cols, int rows)
{
    std::vector<Workload> list;
    list.push_back({"plain ASCII lines", 200, true, [] { return generate(plainLine); }});
    list.push_back({"SGR 256-colour text", 100, true, [] {
                        return generate([](Random& r, std::string& out) {
                            for (int i = r.below(12); i >= 0; --i)
                                out += "\x1b[38;5;" + std::to_string(r.below(256)) + (r.below(3) ? "" : ";1") + "m" + word(r) + "\x1b[0m ";
                            out += "\r\n";
                        });
                    }});
    list.push_back({"SGR true-colour text", 100, true, [] {
                        return generate([](Random& r, std::string& out) {
                            for (int i = r.below(10); i >= 0; --i) {
                                out += "\x1b[38;2;" + std::to_string(r.below(256)) + ";" + std::to_string(r.below(256)) + ";"
                                    + std::to_string(r.below(256)) + ";48;2;" + std::to_string(r.below(256)) + ";0;"
                                    + std::to_string(r.below(256)) + "m" + word(r) + "\x1b[m ";
                            }
                            out += "\r\n";
                        });
                    }});
    list.push_back({"cursor motion, alternate screen", 100, true, [cols, rows] {
                        return "\x1b[?1049h" + generate([cols, rows](Random& r, std::string& out) {
                                   out += "\x1b[" + std::to_string(1 + r.below(rows)) + ";" + std::to_string(1 + r.below(cols)) + "H" + word(r);
                                   if (r.below(8) == 0)
                                       out += "\x1b[K";
                                   if (r.below(64) == 0)
                                       out += "\x1b[" + std::to_string(r.below(3)) + "J";
                               }).substr(8);
                    }});
    // What full-screen programs redraw with: a position, a colour and a word, over and over.
    list.push_back({"coloured cursor motion, alt. screen", 100, true, [cols, rows] {
                        return "\x1b[?1049h" + generate([cols, rows](Random& r, std::string& out) {
                                   out += "\x1b[" + std::to_string(1 + r.below(rows)) + ";" + std::to_string(1 + r.below(cols)) + "H\x1b[3"
                                       + std::to_string(r.below(8)) + "m" + word(r);
                               }).substr(8);
                    }});
    list.push_back({"region scrolling", 100, true, [rows] {
                        const std::string region = "\x1b[5;" + std::to_string(rows - 4) + "r\x1b[20;1H";
                        return region + generate([](Random& r, std::string& out) {
                                            plainLine(r, out);
                                            if (r.below(10) == 0)
                                                out += "\x1bM\x1bM";
                                            if (r.below(20) == 0)
                                                out += "\x1b[2L\x1b[M";
                                        }).substr(region.size());
                    }});
    list.push_back({"CJK, emoji and combining text", 100, true, [] {
                        return generate([](Random& r, std::string& out) {
                            static const char* const pieces[] = {"中文", "日本語", "한국어", "😀", "👍", "e\xcc\x81", "n\xcc\x83", "word", " "};
                            for (int i = r.below(30); i >= 0; --i)
                                out += pieces[r.below(9)];
                            out += "\r\n";
                        });
                    }});
    // Text written with combining marks, as decomposed accented or pointed scripts are: each
    // letter with one or two marks from a small set.
    list.push_back({"combining-heavy text", 30, false, [] {
                        return generate([](Random& r, std::string& out) {
                            static const char32_t marks[] = {0x300, 0x301, 0x302, 0x303, 0x308, 0x323, 0x327, 0x30A};
                            for (int i = r.below(40); i >= 0; --i) {
                                out += static_cast<char>('a' + r.below(26));
                                for (int m = 1 + r.below(2); m > 0; --m)
                                    terminal::appendUtf8(out, marks[r.below(8)]);
                                if (r.below(6) == 0)
                                    out += ' ';
                            }
                            out += "\r\n";
                        });
                    }});
    list.push_back({"flood: invalid UTF-8", 10, false, [] {
                        return generate([](Random& r, std::string& out) {
                            static const char* const bad[] = {"\xff", "\xc0\xaf", "\xe2\x94", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\x80\x80"};
                            out += bad[r.below(6)];
                        });
                    }});
    list.push_back({"flood: combining marks on one cell", 10, false, [] {
                        std::string out = "e";
                        while (out.size() < workloadSize)
                            out += "\xcc\x81";
                        return out.substr(0, workloadSize);
                    }});
    list.push_back({"flood: distinct clusters", 10, false, [] {
                        return generate([](Random& r, std::string& out) {
                            terminal::appendUtf8(out, static_cast<char32_t>(0x4E00 + r.below(20000)));
                            for (int m = 1 + r.below(3); m > 0; --m)
                                terminal::appendUtf8(out, static_cast<char32_t>(0x300 + r.below(0x70)));
                        });
                    }});
    list.push_back({"flood: giant parameters", 10, false, [] {
                        return generate([](Random& r, std::string& out) {
                            out += "\x1b[";
                            for (int i = r.below(200); i >= 0; --i)
                                out += std::to_string(r.next()) + (r.below(4) ? ";" : ":");
                            out += "m";
                        });
                    }});
    list.push_back({"flood: unknown intermediates", 10, false, [] {
                        return generate([](Random& r, std::string& out) {
                            out += "\x1b[1";
                            out.append(static_cast<std::size_t>(1 + r.below(100)), static_cast<char>(0x20 + r.below(16)));
                            out += static_cast<char>(0x40 + r.below(0x3F));
                        });
                    }});
    list.push_back({"flood: 1 MB OSC strings", 10, false, [] {
                        return generate([](Random&, std::string& out) {
                            out += "\x1b]2;";
                            out.append(1u << 20, 'x');
                            out += "\x07";
                        });
                    }});
    list.push_back({"flood: CSI 9999 L", 10, false, [] { return generate([](Random&, std::string& out) { out += "\x1b[9999L"; }); }});
    return list;
}

// The feeding thread's CPU time: other work on a shared machine does not count.
double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double megabytesPerSecond(const std::string& bytes, const std::function<void(std::span<const std::uint8_t>)>& feed)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const double start = cpuSeconds();
    for (std::size_t at = 0; at < bytes.size(); at += chunkSize)
        feed(std::span(data + at, std::min(chunkSize, bytes.size() - at)));
    return static_cast<double>(bytes.size()) / (1 << 20) / (cpuSeconds() - start);
}

double engine(const std::string& bytes, int cols, int rows)
{
    terminal::TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    options.scrollback = scrollback;
    terminal::Terminal terminal(nullptr, options);
    return megabytesPerSecond(bytes, [&](std::span<const std::uint8_t> chunk) { terminal.feed(chunk); });
}

// libvterm's CPU time per run: some floods take it minutes, and those are reported as slower
// than this bound allows.
constexpr int peerCpuLimitSeconds = 30;
constexpr double peerTooSlow = -2;

#ifdef HAVE_LIBVTERM
// libvterm keeps no scroll-back itself: its host does, from the push-line hook, as the engine does.
struct VtermHost {
    int cols;
    std::vector<std::vector<VTermScreenCell>> lines = std::vector<std::vector<VTermScreenCell>>(scrollback);
    std::size_t next = 0;

    static int pushLine(int cols, const VTermScreenCell* cells, void* user)
    {
        auto* host = static_cast<VtermHost*>(user);
        host->lines[host->next].assign(cells, cells + cols);
        host->next = (host->next + 1) % host->lines.size();
        return 1;
    }
};

double peerInProcess(const std::string& bytes, int cols, int rows)
{
    VTerm* vt = vterm_new(rows, cols);
    vterm_set_utf8(vt, 1);
    vterm_output_set_callback(vt, [](const char*, std::size_t, void*) {}, nullptr);
    VTermScreen* screen = vterm_obtain_screen(vt);
    VtermHost host{cols};
    VTermScreenCallbacks callbacks{};
    callbacks.sb_pushline = &VtermHost::pushLine;
    vterm_screen_set_callbacks(screen, &callbacks, &host);
    vterm_screen_enable_altscreen(screen, 1);
    vterm_screen_reset(screen, 1);
    const double rate = megabytesPerSecond(bytes, [&](std::span<const std::uint8_t> chunk) {
        vterm_input_write(vt, reinterpret_cast<const char*>(chunk.data()), chunk.size());
    });
    vterm_free(vt);
    return rate;
}

// The rate, -1 when libvterm crashed on the input, or peerTooSlow.
double peer(const std::string& bytes, int cols, int rows)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{peerCpuLimitSeconds, peerCpuLimitSeconds + 5};
        setrlimit(RLIMIT_CPU, &limit);
        const double rate = peerInProcess(bytes, cols, rows);
        (void)!write(pipeFds[1], &rate, sizeof rate);
        _exit(0);
    }
    close(pipeFds[1]);
    double rate = -1;
    if (read(pipeFds[0], &rate, sizeof rate) != sizeof rate)
        rate = -1;
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)
        return peerTooSlow;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? rate : -1;
}
#endif

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string only = argc > 2 ? argv[2] : "";
    // For profiling the engine alone.
    const bool engineOnly = argc > 3 && std::string(argv[3]) == "--engine-only";
    bool allMet = true;
    char tooSlowText[32];
    std::snprintf(tooSlowText, sizeof tooSlowText, "< %.1f", static_cast<double>(workloadSize) / (1 << 20) / peerCpuLimitSeconds);
    for (const auto& [cols, rows] : {std::pair{120, 40}, std::pair{200, 50}}) {
        std::printf("%dx%d, %d rows of scroll-back, 32 MB per workload in 64 KiB chunks, median of %d runs\n", cols, rows, scrollback,
                    runs);
        std::printf("  %-36s %12s %12s %8s  %s\n", "workload", "engine MB/s", "libvterm", "ratio", "target");
        for (const Workload& w : workloads(cols, rows)) {
            if (std::string(w.name).find(only) == std::string::npos)
                continue;
            const std::string bytes = w.bytes();
            std::vector<double> ours, theirs;
            for (int i = 0; i < runs; ++i) {
                ours.push_back(engine(bytes, cols, rows));
#ifdef HAVE_LIBVTERM
                // One run past the bound says enough.
                if (!engineOnly && (theirs.empty() || theirs.back() != peerTooSlow))
                    theirs.push_back(peer(bytes, cols, rows));
#endif
            }
            const double rate = median(ours);
            const bool peerCrashed = std::find(theirs.begin(), theirs.end(), -1.0) != theirs.end();
            const bool peerSlow = std::find(theirs.begin(), theirs.end(), peerTooSlow) != theirs.end();
            const double peerRate = theirs.empty() || peerCrashed || peerSlow ? 0 : median(theirs);
            bool met = rate >= w.target;
            std::string target = ">= " + std::to_string(static_cast<int>(w.target)) + " MB/s";
            if (w.vsPeer && peerRate > 0) {
                met = met && rate >= 3 * peerRate;
                target += ", >= 3x libvterm";
            }
            allMet = allMet && met;
            if (peerRate > 0)
                std::printf("  %-36s %12.1f %12.1f %7.1fx  %s %s\n", w.name, rate, peerRate, rate / peerRate, target.c_str(), met ? "met" : "MISSED");
            else
                std::printf("  %-36s %12.1f %12s %8s  %s %s\n", w.name, rate,
                            peerCrashed ? "crashed" : peerSlow ? tooSlowText : "-", "-", target.c_str(), met ? "met" : "MISSED");
            std::fflush(stdout);
        }
    }
#ifndef HAVE_LIBVTERM
    std::printf("libvterm was not found at configure time: run bench/terminal_parser/setup.sh and reconfigure\n");
#endif
    return allMet ? 0 : 1;
}
