#include "terminal/CharSets.h"

#include <initializer_list>
#include <utility>

namespace terminal {

namespace {

CharsetTable makeTable(std::initializer_list<std::pair<char, char32_t>> entries)
{
    CharsetTable table{};
    for (const auto& [byte, c] : entries)
        table[static_cast<unsigned char>(byte)] = c;
    return table;
}

CharsetTable decSpecialGraphics()
{
    static constexpr char32_t glyphs[] = U"◆▒␉␌␍␊°±␤␋┘┐┌└┼⎺⎻─⎼⎽├┤┴┬│≤≥π≠£·";
    CharsetTable table{};
    for (int i = 0; i < 31; ++i)
        table[static_cast<std::size_t>(0x60 + i)] = glyphs[i];
    return table;
}

} // namespace

const CharsetTable* charsetFor(char designator)
{
    static const CharsetTable graphics = decSpecialGraphics();
    static const CharsetTable uk = makeTable({{'#', U'£'}});
    static const CharsetTable dutch = makeTable({{'#', U'£'}, {'@', U'¾'}, {'[', U'ĳ'}, {'\\', U'½'}, {']', U'|'},
                                                 {'{', U'¨'}, {'|', U'f'}, {'}', U'¼'}, {'~', U'´'}});
    static const CharsetTable finnish = makeTable({{'[', U'Ä'}, {'\\', U'Ö'}, {']', U'Å'}, {'^', U'Ü'}, {'`', U'é'},
                                                   {'{', U'ä'}, {'|', U'ö'}, {'}', U'å'}, {'~', U'ü'}});
    static const CharsetTable french = makeTable({{'#', U'£'}, {'@', U'à'}, {'[', U'°'}, {'\\', U'ç'}, {']', U'§'},
                                                  {'{', U'é'}, {'|', U'ù'}, {'}', U'è'}, {'~', U'¨'}});
    static const CharsetTable frenchCanadian = makeTable({{'@', U'à'}, {'[', U'â'}, {'\\', U'ç'}, {']', U'ê'}, {'^', U'î'},
                                                          {'`', U'ô'}, {'{', U'é'}, {'|', U'ù'}, {'}', U'è'}, {'~', U'û'}});
    static const CharsetTable german = makeTable({{'@', U'§'}, {'[', U'Ä'}, {'\\', U'Ö'}, {']', U'Ü'}, {'{', U'ä'},
                                                  {'|', U'ö'}, {'}', U'ü'}, {'~', U'ß'}});
    static const CharsetTable italian = makeTable({{'#', U'£'}, {'@', U'§'}, {'[', U'°'}, {'\\', U'ç'}, {']', U'é'},
                                                   {'`', U'ù'}, {'{', U'à'}, {'|', U'ò'}, {'}', U'è'}, {'~', U'ì'}});
    static const CharsetTable norwegianDanish = makeTable({{'@', U'Ä'}, {'[', U'Æ'}, {'\\', U'Ø'}, {']', U'Å'}, {'^', U'Ü'},
                                                           {'`', U'ä'}, {'{', U'æ'}, {'|', U'ø'}, {'}', U'å'}, {'~', U'ü'}});
    static const CharsetTable spanish = makeTable({{'#', U'£'}, {'@', U'§'}, {'[', U'¡'}, {'\\', U'Ñ'}, {']', U'¿'},
                                                   {'{', U'°'}, {'|', U'ñ'}, {'}', U'ç'}});
    static const CharsetTable swedish = makeTable({{'@', U'É'}, {'[', U'Ä'}, {'\\', U'Ö'}, {']', U'Å'}, {'^', U'Ü'},
                                                   {'`', U'é'}, {'{', U'ä'}, {'|', U'ö'}, {'}', U'å'}, {'~', U'ü'}});
    static const CharsetTable swiss = makeTable({{'#', U'ù'}, {'@', U'à'}, {'[', U'é'}, {'\\', U'ç'}, {']', U'ê'}, {'^', U'î'},
                                                 {'_', U'è'}, {'`', U'ô'}, {'{', U'ä'}, {'|', U'ö'}, {'}', U'ü'}, {'~', U'û'}});
    switch (designator) {
    case '0':
    case '2':
        return &graphics;
    case 'A':
        return &uk;
    case '4':
        return &dutch;
    case '5':
    case 'C':
        return &finnish;
    case 'R':
        return &french;
    case 'Q':
        return &frenchCanadian;
    case 'K':
        return &german;
    case 'Y':
        return &italian;
    case '6':
    case 'E':
        return &norwegianDanish;
    case 'Z':
        return &spanish;
    case '7':
    case 'H':
        return &swedish;
    case '=':
        return &swiss;
    default:
        return nullptr;
    }
}

int CharSets::slotOf(char intermediate)
{
    switch (intermediate) {
    case '(':
        return 0;
    case ')':
    case '-':
        return 1;
    case '*':
    case '.':
        return 2;
    case '+':
    case '/':
        return 3;
    default:
        return -1;
    }
}

} // namespace terminal
