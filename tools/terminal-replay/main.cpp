// terminal-replay [--cols N] [--rows N] [--split K] [--format text|json] FILE
// Feeds FILE to a fresh terminal (80x24 unless told), in pieces of K bytes when asked, and
// prints the final screen: as text, one line per row with trailing blanks trimmed and then a
// line "cursor ROW COL" (zero-based); as JSON, also every cell's attributes and colours.
// Replies the terminal would send to a program are dropped.

#include "terminal/ScreenDump.h"
#include "terminal/Terminal.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char usage[] = "usage: terminal-replay [--cols N] [--rows N] [--split K] [--format text|json] FILE";

int fail(const std::string& message)
{
    std::fprintf(stderr, "terminal-replay: %s\n", message.c_str());
    return 2;
}

bool parseNumber(std::string_view text, int low, int high, int& out)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& out, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::uint8_t chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        out.insert(out.end(), chunk, chunk + n);
    const bool ok = !std::ferror(file);
    if (!ok)
        error = path + ": " + std::strerror(errno);
    std::fclose(file);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    terminal::TerminalOptions options;
    options.cols = 80;
    options.rows = 24;
    int split = 0;
    bool json = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\n", usage);
            return 0;
        }
        const bool takesValue = arg == "--cols" || arg == "--rows" || arg == "--split" || arg == "--format";
        if (takesValue && i + 1 >= argc)
            return fail(std::string(arg) + " needs a value");
        if (arg == "--cols") {
            if (!parseNumber(argv[++i], terminal::limits::minCols, terminal::limits::maxCols, options.cols))
                return fail("--cols must be a number from 2 to 2048");
        } else if (arg == "--rows") {
            if (!parseNumber(argv[++i], terminal::limits::minRows, terminal::limits::maxRows, options.rows))
                return fail("--rows must be a number from 1 to 1024");
        } else if (arg == "--split") {
            if (!parseNumber(argv[++i], 1, 1 << 30, split))
                return fail("--split must be a positive number of bytes");
        } else if (arg == "--format") {
            const std::string_view format = argv[++i];
            if (format != "text" && format != "json")
                return fail("--format must be text or json");
            json = format == "json";
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("unknown option " + std::string(arg) + " (" + usage + ")");
        } else if (!path.empty()) {
            return fail("one FILE only (" + std::string(usage) + ")");
        } else {
            path = arg;
        }
    }
    if (path.empty())
        return fail(usage);

    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!readFile(path, bytes, error))
        return fail(error);

    terminal::Terminal terminal(nullptr, options);
    const std::span<const std::uint8_t> all(bytes);
    const std::size_t piece = split > 0 ? static_cast<std::size_t>(split) : std::max<std::size_t>(all.size(), 1);
    for (std::size_t at = 0; at < all.size(); at += piece)
        terminal.feed(all.subspan(at, std::min(piece, all.size() - at)));

    const std::string out = json ? terminal::screenJson(terminal) : terminal::screenText(terminal);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
