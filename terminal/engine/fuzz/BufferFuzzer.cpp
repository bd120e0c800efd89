// Random operations on a terminal's two buffers (sharing their cell tables): printing narrow,
// wide and combined characters, scrolling, resizing with reflow, cursor and region moves, range
// edits, tab stops, clearing, text extraction and table collection. After every operation the
// buffers must be consistent: cursor, region and margins inside the screen, rows within the
// capacity and as wide as the screen, every wide cell followed by its spacer.
#include "terminal/Buffer.h"
#include "terminal/Log.h"
#include "terminal/UnicodeUtil.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    int number(int below) { return below > 0 ? (byte() | byte() << 8) % below : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

void check(const terminal::Buffer& buffer)
{
    const std::string problem = buffer.checkInvariants();
    if (!problem.empty()) {
        std::fprintf(stderr, "buffer inconsistent: %s\n", problem.c_str());
        std::abort();
    }
}

constexpr char32_t samples[] = {U'a', U'Z', U' ', U'\u00E9', U'\u4E2D', U'\uAC00', U'\U0001F600', U'\u0301', U'\u200D', U'\uFE0F'};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Repairs are expected here; their diagnostics would only slow the run.
    static const bool quiet = (terminal::setLogSink([](std::string_view) {}), true);
    (void)quiet;
    Input in(data, size);
    auto tables = std::make_shared<terminal::CellTables>(64, 16);
    const int cols = 2 + in.number(60);
    const int rows = 1 + in.number(20);
    terminal::Buffer normal(cols, rows, 8, in.number(40), tables);
    terminal::Buffer alternate(cols, rows, 8, std::nullopt, tables);
    for (terminal::Buffer* b : {&normal, &alternate}) {
        b->fillViewportRows();
        b->wraparound = true;
    }
    terminal::Buffer* buffer = &normal;
    const terminal::Attribute colored{terminal::Attribute::Color::ansi256(2), terminal::Attribute::Color::trueColor(1, 2, 3),
                                      terminal::CharacterStyle::bold};

    while (!in.done()) {
        switch (in.byte() % 20) {
        case 0:
        case 1:
        case 2: {
            const char32_t c = samples[in.number(std::size(samples))];
            const int width = terminal::columnWidth(c);
            if (width == 0) {
                const auto& last = buffer->lastBufferStorage;
                terminal::CharData& cell = buffer->lines()[last.y].at(last.x);
                std::u32string scalars = tables->scalars(cell.code);
                scalars += c;
                cell.code = tables->encode(scalars);
            } else {
                buffer->insertCharacter({static_cast<std::int32_t>(c), static_cast<std::int8_t>(width), 0, {},
                                         in.byte() & 1 ? colored : terminal::CharData::Null.attribute});
            }
            break;
        }
        case 3:
            buffer->scroll(in.byte() & 1, terminal::Attribute::Color::ansi256(in.byte()), in.byte() & 1);
            break;
        case 4:
            normal.resize(in.number(70) - 2, in.number(26) - 2);
            alternate.resize(normal.cols(), normal.rows());
            break;
        case 5:
            buffer->setX(in.number(buffer->cols() + 3) - 1);
            buffer->setY(in.number(buffer->rows() + 3) - 1);
            break;
        case 6:
            buffer->setScrollTop(in.number(buffer->rows()));
            buffer->setScrollBottom(std::max(buffer->scrollTop(), in.number(buffer->rows())));
            break;
        case 7:
            buffer->setMarginLeft(in.number(buffer->cols()));
            buffer->setMarginRight(std::max(buffer->marginLeft(), in.number(buffer->cols())));
            buffer->marginMode = in.byte() & 1;
            break;
        case 8:
            buffer->insertMode = in.byte() & 1;
            buffer->wraparound = in.byte() & 1;
            break;
        case 9:
            buffer->screenLine(buffer->y())
                .insertCells(in.number(buffer->cols() + 2) - 1, in.number(buffer->cols() + 2), in.number(buffer->cols() + 2) - 1,
                             terminal::CharData::blank(colored));
            break;
        case 10:
            buffer->screenLine(buffer->y())
                .deleteCells(in.number(buffer->cols() + 2) - 1, in.number(buffer->cols() + 2), in.number(buffer->cols() + 2) - 1,
                             terminal::CharData::blank(colored));
            break;
        case 11:
            buffer->screenLine(in.number(buffer->rows()))
                .replaceCells(in.number(buffer->cols() + 2) - 1, in.number(buffer->cols() + 2), terminal::Buffer::getNullCell(colored));
            break;
        case 12: {
            const int source = in.number(buffer->lines().count());
            buffer->screenLine(buffer->y())
                .copyFrom(buffer->lines()[source], in.number(buffer->cols()), in.number(buffer->cols()), in.number(buffer->cols() + 2));
            break;
        }
        case 13:
            if (in.byte() & 1)
                buffer->tabSet(in.number(buffer->cols() + 2));
            else
                buffer->clearTabStop(in.number(buffer->cols() + 2));
            buffer->setX(buffer->nextTabStop(-1, in.byte() & 1));
            break;
        case 14:
            buffer->lines().rotate(in.number(buffer->lines().count() + 1), in.number(buffer->lines().count() + 1),
                                   in.number(buffer->lines().count() + 1));
            break;
        case 15:
            buffer = buffer == &normal ? &alternate : &normal;
            if (buffer == &alternate && in.byte() & 1) {
                alternate.clear();
                alternate.fillViewportRows();
            }
            break;
        case 16: {
            const terminal::Position a{in.number(buffer->cols() + 2) - 1, in.number(buffer->lines().count() + 2) - 1};
            const terminal::Position b{in.number(buffer->cols() + 2) - 1, in.number(buffer->lines().count() + 2) - 1};
            buffer->text(a, b);
            break;
        }
        case 17:
            tables->collect();
            break;
        case 18:
            if (auto atom = tables->payloadAtom(std::string(1 + in.number(8), 'l')))
                buffer->screenLine(buffer->y()).at(buffer->x()).payload = *atom;
            break;
        case 19:
            buffer->setYDisp(in.number(buffer->yBase() + 2));
            break;
        }
        check(normal);
        check(alternate);
    }
    normal.allText();
    return 0;
}
