// Two costs of the terminal engine's answers to programs:
//  - sixel: a 1024 x 1024 picture (smooth gradients with fine noise, like a photograph) made into
//    a sixel stream by img2sixel (bench/terminal_replies/setup.sh installs it), decoded alone
//    and fed whole through a terminal to its host; beside it, in the same run, a pass that only
//    copies the stream and zeroes a bitmap of the picture's size, and img2sixel's own decoder
//    (sixel2png, a whole process that also writes a PNG) when it is there;
//  - replies: 1 MB of requests (device attributes, status and cursor reports, mode reports,
//    setting requests, colour and window-size queries) fed to a terminal whose host collects
//    every answer, beside libvterm fed the same bytes when it is installed (it answers only the
//    requests it knows; the bytes answered are printed for both).
// Each figure is the median of the runs (default 7) of the feeding thread's CPU time.
// Usage: bench_terminal_replies [runs] [sixel|replies]   (default 7 runs, both parts)

#include "terminal/SixelDecoder.h"
#include "terminal/Terminal.h"

#ifdef HAVE_LIBVTERM
#include <vterm.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int side = 1024;
constexpr double sixelTargetMs = 30;
constexpr double repliesTargetMs = 20;
constexpr std::size_t repliesSize = 1'000'000;

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double wallMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeRuns(int runs, const std::function<void()>& body, double (*clock)() = cpuMs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = clock();
        body();
        times.push_back(clock() - start);
    }
    return median(times);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// Smooth colour gradients with a little noise: img2sixel needs all 256 registers and dithers.
void writePicture(const std::string& path)
{
    std::string out = "P6\n" + std::to_string(side) + " " + std::to_string(side) + "\n255\n";
    std::uint32_t noise = 12345;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            noise = noise * 1103515245u + 12345u;
            const int n = static_cast<int>(noise >> 28) - 8;
            const int r = x * 255 / (side - 1);
            const int g = y * 255 / (side - 1);
            const int b = ((x - side / 2) * (x - side / 2) + (y - side / 2) * (y - side / 2)) / 2056;
            for (int c : {r, g, b})
                out += static_cast<char>(std::clamp(c + n, 0, 255));
        }
    }
    std::ofstream(path, std::ios::binary) << out;
}

class CollectingHost : public terminal::TerminalDelegate {
public:
    std::string replies;
    int images = 0;
    int width = 0;
    int height = 0;
    void send(terminal::Terminal&, std::span<const std::uint8_t> data) override
    {
        replies.append(reinterpret_cast<const char*>(data.data()), data.size());
    }
    void createImageFromBitmap(terminal::Terminal&, std::vector<std::uint8_t>&, int w, int h) override
    {
        ++images;
        width = w;
        height = h;
    }
};

bool sixel(int runs)
{
    char dir[] = "/tmp/bench-sixel-XXXXXX";
    if (!mkdtemp(dir)) {
        std::perror("mkdtemp");
        return false;
    }
    const std::string base = dir;
    writePicture(base + "/picture.ppm");
    const std::string make = "img2sixel -o " + base + "/picture.six " + base + "/picture.ppm";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "img2sixel failed: run bench/terminal_replies/setup.sh\n");
        return false;
    }
    const std::string stream = readFile(base + "/picture.six");
    const auto start = stream.find('q');
    const auto end = stream.rfind("\x1b\\");
    const std::string_view data(stream.data() + start + 1, end - start - 1);
    const auto palette = terminal::makeAnsiPalette(terminal::defaultInstalledColors());

    const auto image = terminal::decodeSixel(data, palette);
    if (!image || image->width != side || image->height != side) {
        std::fprintf(stderr, "the stream did not decode to %d x %d\n", side, side);
        return false;
    }
    const double decode = timeRuns(runs, [&] { terminal::decodeSixel(data, palette); });
    CollectingHost host;
    const double feed = timeRuns(runs, [&] {
        terminal::Terminal terminal(&host);
        terminal.feed(stream);
    });
    std::string copy;
    std::vector<std::uint8_t> bitmap;
    const double reference = timeRuns(runs, [&] {
        copy.assign(stream);
        bitmap.assign(static_cast<std::size_t>(side) * side * 4, 0);
    });
    std::printf("sixel, %d x %d from img2sixel, %.2f MB of stream\n", side, side, static_cast<double>(stream.size()) / 1e6);
    std::printf("  decode alone          %7.2f ms\n", decode);
    std::printf("  through a terminal    %7.2f ms  (target <= %.0f ms; %d pictures of %d x %d reached the host)\n", feed, sixelTargetMs,
                host.images, host.width, host.height);
    std::printf("  copy + zeroed bitmap  %7.2f ms  (%.1fx of it)\n", reference, feed / reference);
    if (std::system("command -v sixel2png >/dev/null 2>&1") == 0) {
        const std::string peer = "sixel2png -i " + base + "/picture.six -o " + base + "/out.png";
        const double ms = timeRuns(runs, [&] { (void)std::system(peer.c_str()); }, wallMs);
        std::printf("  sixel2png, whole process with PNG output, wall %7.2f ms\n", ms);
    }
    (void)std::system(("rm -rf " + base).c_str());
    return feed <= sixelTargetMs;
}

// The requests, in the order a program might send them while it draws.
std::string requests()
{
    const char* const each[] = {
        "\x1b[c",          "\x1b[>c",        "\x1b[5n",          "\x1b[6n",        "\x1b[?6n",        "\x1b[?1049$p", "\x1b[?2004$p",
        "\x1b[4$p",        "\x1bP$qm\x1b\\", "\x1bP$qr\x1b\\",   "\x1bP$q q\x1b\\", "\x1b]10;?\x1b\\", "\x1b]11;?\x07", "\x1b[18t",
        "\x1b[12;40H",     "\x1b[1;31m",     "\x1b]4;1;?\x07",   "\x1b[?25$p",     "\x1b[m",
    };
    std::string out;
    out.reserve(repliesSize + 64);
    for (std::size_t i = 0; out.size() < repliesSize; ++i)
        out += each[i % (sizeof each / sizeof *each)];
    return out;
}

bool replies(int runs)
{
    const std::string bytes = requests();
    std::size_t answered = 0;
    const double engine = timeRuns(runs, [&] {
        CollectingHost host;
        host.replies.reserve(2 * bytes.size());
        terminal::Terminal terminal(&host);
        terminal.feed(bytes);
        answered = host.replies.size();
    });
    std::printf("replies, %.2f MB of requests\n", static_cast<double>(bytes.size()) / 1e6);
    std::printf("  engine     %7.2f ms  (target <= %.0f ms), %.2f MB answered\n", engine, repliesTargetMs,
                static_cast<double>(answered) / 1e6);
#ifdef HAVE_LIBVTERM
    std::size_t peerAnswered = 0;
    const double peer = timeRuns(runs, [&] {
        std::string out;
        out.reserve(2 * bytes.size());
        VTerm* vt = vterm_new(25, 80);
        vterm_set_utf8(vt, 1);
        vterm_output_set_callback(
            vt, [](const char* s, std::size_t n, void* user) { static_cast<std::string*>(user)->append(s, n); }, &out);
        VTermScreen* screen = vterm_obtain_screen(vt);
        vterm_screen_reset(screen, 1);
        vterm_input_write(vt, bytes.data(), bytes.size());
        vterm_free(vt);
        peerAnswered = out.size();
    });
    std::printf("  libvterm   %7.2f ms, %.2f MB answered (engine %.2fx its time)\n", peer, static_cast<double>(peerAnswered) / 1e6,
                engine / peer);
#else
    std::printf("  libvterm not found: run bench/terminal_replies/setup.sh and reconfigure\n");
#endif
    return engine <= repliesTargetMs;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string only = argc > 2 ? argv[2] : "";
    const bool sixelMet = only == "replies" || sixel(runs);
    const bool repliesMet = only == "sixel" || replies(runs);
    std::printf("targets: sixel %s, replies %s\n", sixelMet ? "met" : "MISSED", repliesMet ? "met" : "MISSED");
    return sixelMet && repliesMet ? 0 : 1;
}
