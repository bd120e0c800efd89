// The terminal a real program talks to while record.py records it: the program's output comes
// in on standard input, the terminal's replies go out on standard output at once, so that the
// program sees this engine's answers. Messages both ways are a type byte and a 32-bit length
// (little-endian) before their bytes: in, 'O' (output of the program) or 'S' (send back the
// screen); out, 'R' (a reply) or 'S' (the screen as text).
// Usage: terminal_conversation_host COLS ROWS
#include "terminal/ScreenDump.h"
#include "terminal/Terminal.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

bool readAll(void* data, std::size_t size)
{
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(0, p, size);
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void writeMessage(char type, std::string_view bytes)
{
    std::string message(1, type);
    const auto size = static_cast<std::uint32_t>(bytes.size());
    for (int i = 0; i < 4; ++i)
        message += static_cast<char>(size >> (8 * i) & 0xFF);
    message += bytes;
    for (std::size_t done = 0; done < message.size();) {
        const ssize_t n = write(1, message.data() + done, message.size() - done);
        if (n <= 0)
            std::exit(1);
        done += static_cast<std::size_t>(n);
    }
}

class Host : public terminal::TerminalDelegate {
public:
    void send(terminal::Terminal&, std::span<const std::uint8_t> data) override
    {
        writeMessage('R', std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: terminal_conversation_host COLS ROWS\n");
        return 2;
    }
    terminal::TerminalOptions options;
    options.cols = std::atoi(argv[1]);
    options.rows = std::atoi(argv[2]);
    Host host;
    terminal::Terminal terminal(&host, options);
    for (;;) {
        char type = 0;
        unsigned char length[4];
        if (!readAll(&type, 1) || !readAll(length, 4))
            return 0;
        std::string bytes(length[0] | length[1] << 8 | length[2] << 16 | static_cast<std::size_t>(length[3]) << 24, '\0');
        if (!readAll(bytes.data(), bytes.size()))
            return 0;
        if (type == 'O')
            terminal.feed(bytes);
        else if (type == 'S')
            writeMessage('S', terminal::screenText(terminal));
    }
}
