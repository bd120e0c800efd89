#include "terminal/Terminal.h"

#include "TerminalCommands.h"
#include "terminal/Log.h"

#include <algorithm>
#include <climits>

namespace terminal {

void TerminalDelegate::setForegroundColor(Terminal& source, Color color)
{
    source.setForegroundColor(color);
}

void TerminalDelegate::setBackgroundColor(Terminal& source, Color color)
{
    source.setBackgroundColor(color);
}

void TerminalDelegate::setCursorColor(Terminal& source, std::optional<Color> color)
{
    source.setCursorColor(color);
}

std::pair<Color, Color> TerminalDelegate::getColors(Terminal& source)
{
    return {source.foregroundColor(), source.backgroundColor()};
}

Terminal::Terminal(TerminalDelegate* delegate, const TerminalOptions& options)
    : delegate_(delegate)
    , options_(options.clamped())
    , cols_(options_.cols)
    , rows_(options_.rows)
    , tables_(std::make_shared<CellTables>())
    , installedColors_(defaultInstalledColors())
    , defaultAnsiColors_(makeAnsiPalette(installedColors_))
    , ansiColors_(defaultAnsiColors_)
    , commands_(std::make_unique<TerminalCommands>(*this))
{
    resetNormalBuffer();
    alt_ = std::make_unique<Buffer>(cols_, rows_, options_.tabStopWidth, std::nullopt, tables_);
    installBuffer(*alt_);
    buffer_ = normal_.get();
    commands_->install(parser_);
    setup(false);
}

Terminal::~Terminal() = default;

void Terminal::installBuffer(Buffer& buffer)
{
    buffer.scrollHandler = [this](bool isWrapped) { commands_->scroll(isWrapped); };
}

void Terminal::feed(std::span<const std::uint8_t> bytes)
{
    parser_.parse(bytes);
}

void Terminal::feed(std::string_view bytes)
{
    parser_.parse(bytes);
}

void Terminal::setup(bool isReset)
{
    cols_ = options_.cols;
    rows_ = options_.rows;
    if (isReset) {
        resetNormalBuffer();
        alt_ = std::make_unique<Buffer>(cols_, rows_, options_.tabStopWidth, std::nullopt, tables_);
        installBuffer(*alt_);
        buffer_ = normal_.get();
        savedCharsets_ = {};
        titleStack_.clear();
        iconTitleStack_.clear();
    } else {
        normal_->resize(cols_, rows_);
        alt_->resize(cols_, rows_);
    }
    const bool wasHidden = modes_.cursorHidden;
    modes_ = Modes{};
    modes_.lineFeedMode = options_.convertEol;
    for (Buffer* b : {normal_.get(), alt_.get()}) {
        b->insertMode = false;
        b->marginMode = false;
        b->wraparound = true;
    }
    charsets_ = {};
    curAttr_ = CharData::Null.attribute;
    buffer_->setScrollTop(0);
    buffer_->setScrollBottom(rows_ - 1);
    buffer_->setMarginLeft(0);
    buffer_->setMarginRight(cols_ - 1);
    cc_ = {};
    conformance_ = Conformance::vt500;
    titleModes_ = {};
    if (delegate_) {
        delegate_->mouseModeChanged(*this);
        if (wasHidden && !isReset)
            delegate_->showCursor(*this);
    }
}

void Terminal::setOptions(const TerminalOptions& options)
{
    options_ = options.clamped();
    setup(false);
}

void Terminal::reset()
{
    parser_.reset();
    commands_->forgetPrinted();
    commands_->closeHyperlink();
    options_.cols = cols_;
    options_.rows = rows_;
    const bool hidden = modes_.cursorHidden;
    setup(true);
    modes_.cursorHidden = hidden;
    refresh(0, rows_ - 1);
}

void Terminal::softReset()
{
    commands_->softReset();
}

void Terminal::lineFeed()
{
    commands_->lineFeed();
}

void Terminal::resetNormalBuffer()
{
    normal_ = std::make_unique<Buffer>(cols_, rows_, options_.tabStopWidth, options_.scrollback, tables_);
    installBuffer(*normal_);
    normal_->fillViewportRows();
}

void Terminal::activateNormalBuffer(bool clearAlt)
{
    if (buffer_ == normal_.get())
        return;
    normal_->setX(alt_->x());
    normal_->setY(alt_->y());
    if (clearAlt)
        alt_->clear();
    buffer_ = normal_.get();
}

void Terminal::activateAltBuffer()
{
    if (buffer_ == alt_.get())
        return;
    alt_->fillViewportRows();
    alt_->setX(normal_->x());
    alt_->setY(normal_->y());
    buffer_ = alt_.get();
}

void Terminal::resize(int cols, int rows)
{
    cols = std::clamp(cols, limits::minCols, limits::maxCols);
    rows = std::clamp(rows, limits::minRows, limits::maxRows);
    if (cols == cols_ && rows == rows_)
        return;
    normal_->resize(cols, rows);
    alt_->resize(cols, rows);
    cols_ = cols;
    rows_ = rows;
    options_.cols = cols;
    options_.rows = rows;
    refresh(0, rows_ - 1);
}

const BufferLine* Terminal::getLine(int row) const
{
    if (row < 0 || row >= rows_ || buffer_->lines().isEmpty())
        return nullptr;
    return &buffer_->lines()[row + buffer_->yDisp()];
}

const BufferLine* Terminal::getScrollInvariantLine(int row) const
{
    const int index = row - buffer_->linesTop;
    if (index < 0 || index >= buffer_->lines().count())
        return nullptr;
    return &buffer_->lines()[index];
}

const CharData* Terminal::getCharData(int col, int row) const
{
    const BufferLine* line = getLine(row);
    if (!line || col < 0 || col >= cols_ || col >= line->count())
        return nullptr;
    return &(*line)[col];
}

std::vector<Line> Terminal::getSelectedLines(Position start, Position end) const
{
    return buffer_->logicalLines(start, end);
}

std::string Terminal::getText(Position start, Position end) const
{
    return buffer_->text(start, end);
}

std::string Terminal::getBufferAsData(BufferKind kind) const
{
    switch (kind) {
    case BufferKind::normal:
        return normal_->allText();
    case BufferKind::alt:
        return alt_->allText();
    case BufferKind::active:
        break;
    }
    return buffer_->allText();
}

void Terminal::installPalette(const std::vector<Color>& colors)
{
    if (colors.size() != 16)
        return;
    installedColors_ = colors;
    defaultAnsiColors_ = makeAnsiPalette(installedColors_);
    ansiColors_ = defaultAnsiColors_;
}

void Terminal::resetAllColors()
{
    ansiColors_ = defaultAnsiColors_;
    if (delegate_)
        delegate_->colorChanged(*this, std::nullopt);
}

void Terminal::setForegroundColor(Color color)
{
    foregroundColor_ = color;
    if (settingFgColor_ || !delegate_)
        return;
    settingFgColor_ = true;
    delegate_->setForegroundColor(*this, color);
    settingFgColor_ = false;
}

void Terminal::setBackgroundColor(Color color)
{
    backgroundColor_ = color;
    if (settingBgColor_ || !delegate_)
        return;
    settingBgColor_ = true;
    delegate_->setBackgroundColor(*this, color);
    settingBgColor_ = false;
}

void Terminal::setCursorColor(std::optional<Color> color)
{
    cursorColor_ = color;
    if (settingCursorColor_ || !delegate_)
        return;
    settingCursorColor_ = true;
    delegate_->setCursorColor(*this, color);
    settingCursorColor_ = false;
}

void Terminal::refresh(int startRow, int endRow)
{
    updateRange(startRow);
    updateRange(endRow);
}

void Terminal::updateFullScreen()
{
    refreshStart_ = 0;
    refreshEnd_ = rows_;
    scrollInvariantRefreshStart_ = buffer_->yDisp();
    scrollInvariantRefreshEnd_ = buffer_->yDisp() + rows_;
}

std::optional<std::pair<int, int>> Terminal::getUpdateRange() const
{
    if (refreshEnd_ < 0)
        return std::nullopt;
    return std::pair{refreshStart_, refreshEnd_};
}

std::optional<std::pair<int, int>> Terminal::getScrollInvariantUpdateRange() const
{
    if (scrollInvariantRefreshEnd_ < 0)
        return std::nullopt;
    return std::pair{scrollInvariantRefreshStart_, scrollInvariantRefreshEnd_};
}

void Terminal::clearUpdateRange()
{
    refreshStart_ = INT32_MAX;
    refreshEnd_ = -1;
    scrollInvariantRefreshStart_ = INT32_MAX;
    scrollInvariantRefreshEnd_ = -1;
}

void Terminal::sendResponse(std::string_view bytes)
{
    if (delegate_ && !bytes.empty())
        delegate_->send(*this, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void Terminal::log(std::string_view message) const
{
    if (!silentLog_)
        logDiagnostic(message);
}

} // namespace terminal
