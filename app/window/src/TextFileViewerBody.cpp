#include "window/TextFileViewerBody.h"

#include "window/GrammarCodeHighlighter.h"
#include "window/ViewParts.h"

#include "richtext/EmojiPresentation.h"
#include "richtext/gui/EmojiFont.h"
#include "richtext/gui/QtConversions.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedLayout>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace quillora {

// Where the positions of a text's document stand in the text. The document holds a CR LF pair as
// one block separator (as it holds a lone LF or CR), and a line too long to lay out at once as
// several blocks: the separators between them are its own. Within a block, positions are the
// text's one for one.
struct TextPlaces {
    QString text;
    std::vector<qsizetype> pairedFeeds; // text offsets of the line feeds that close a CR LF pair
    std::vector<int> cuts;              // document positions of the separators of its own, ascending

    explicit TextPlaces(QString shown)
        : text(std::move(shown))
    {
        for (qsizetype i = text.indexOf(u"\r\n"); i >= 0; i = text.indexOf(u"\r\n", i + 2))
            pairedFeeds.push_back(i + 1);
    }

    // The text offset of a document position that is no separator of its own.
    qsizetype textOffset(int position) const
    {
        const qsizetype uncut = position - qsizetype(std::lower_bound(cuts.begin(), cuts.end(), position) - cuts.begin());
        // The k-th pair's separator stands at uncut position pairedFeeds[k] - 1 - k.
        std::size_t low = 0;
        std::size_t high = pairedFeeds.size();
        while (low < high) {
            const std::size_t middle = (low + high) / 2;
            if (pairedFeeds[middle] - 1 - qsizetype(middle) < uncut)
                low = middle + 1;
            else
                high = middle;
        }
        return uncut + qsizetype(low);
    }

    // The text of a selection that starts at `start`, as the document gives it (block separators
    // as U+2029): with the text's own characters where the document lays out others (the joiners
    // of a cluster too long to be one picture), without the separators of its own.
    QString textOf(const QString& selected, int start) const
    {
        QString result;
        result.reserve(selected.size());
        auto cut = std::lower_bound(cuts.begin(), cuts.end(), start);
        for (qsizetype i = 0; i < selected.size(); ++i) {
            const int position = start + int(i);
            if (cut != cuts.end() && *cut == position) {
                ++cut;
                continue;
            }
            QChar c = selected.at(i);
            if (c == QChar(0x200B)) {
                const qsizetype at = textOffset(position);
                if (at < text.size())
                    c = text.at(at);
            }
            result += c == QChar::ParagraphSeparator ? QChar(u'\n') : c;
        }
        return result;
    }
};

// Applies precomputed highlight runs to the blocks of a document as they are laid out. The runs
// are offsets into the highlighted text, found for each block through the document's places.
class RunHighlighter : public QSyntaxHighlighter {
public:
    RunHighlighter(QTextDocument* document, const richtext::AttributedText& highlighted,
                   std::shared_ptr<const TextPlaces> places)
        : QSyntaxHighlighter(document)
        , m_places(std::move(places))
    {
        // One format per style; runs without a colour keep the text's own.
        std::vector<int> formats;
        for (const richtext::TextAttributes& style : highlighted.styles()) {
            formats.push_back(style.foregroundColor ? int(m_formats.size()) : -1);
            if (style.foregroundColor) {
                QTextCharFormat format;
                format.setForeground(richtext::toQColor(*style.foregroundColor));
                m_formats.push_back(format);
            }
        }
        m_runs.reserve(highlighted.runs().size());
        for (const richtext::TextRun& run : highlighted.runs())
            if (formats[run.style] >= 0)
                m_runs.push_back({run.start, run.start + run.length, formats[run.style]});
    }

protected:
    void highlightBlock(const QString& text) override
    {
        // A block's characters are the text's one for one from where it begins.
        const qsizetype begin = m_places->textOffset(currentBlock().position());
        const qsizetype end = begin + text.size();
        auto run = std::upper_bound(m_runs.begin(), m_runs.end(), begin,
                                    [](qsizetype position, const Run& r) { return position < r.end; });
        for (; run != m_runs.end() && run->start < end; ++run) {
            const qsizetype from = std::max(run->start, begin);
            const qsizetype to = std::min(run->end, end);
            setFormat(int(from - begin), int(to - from), m_formats[std::size_t(run->format)]);
        }
    }

private:
    struct Run {
        qsizetype start;
        qsizetype end;
        int format;
    };
    std::shared_ptr<const TextPlaces> m_places;
    std::vector<Run> m_runs;
    std::vector<QTextCharFormat> m_formats;
};

// The text view: what it copies (or drags) is the text's own, through its document's places.
class SourceTextEdit : public QPlainTextEdit {
public:
    std::shared_ptr<const TextPlaces> places;

protected:
    QMimeData* createMimeDataFromSelection() const override
    {
        const QTextCursor cursor = textCursor();
        if (!places || !cursor.hasSelection())
            return QPlainTextEdit::createMimeDataFromSelection();
        auto* data = new QMimeData;
        data->setText(places->textOf(cursor.selectedText(), cursor.selectionStart()));
        return data;
    }
};

FindBar::FindBar(QPlainTextEdit* target, QWidget* parent)
    : QWidget(parent)
    , m_target(target)
    , m_field(new QLineEdit)
    , m_status(plainLabel())
{
    m_field->setPlaceholderText(QStringLiteral("Find"));
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    auto* previous = new QToolButton;
    previous->setText(QStringLiteral("Previous"));
    previous->setAutoRaise(true);
    auto* next = new QToolButton;
    next->setText(QStringLiteral("Next"));
    next->setAutoRaise(true);
    auto* done = new QToolButton;
    done->setText(QStringLiteral("Done"));
    done->setAutoRaise(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(m_field, 1);
    layout->addWidget(m_status);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(done);
    connect(previous, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(next, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(done, &QToolButton::clicked, this, &FindBar::close);
    connect(m_field, &QLineEdit::textEdited, this, [this] {
        // Searching again from where the current match starts keeps it while it still matches.
        QTextCursor cursor = m_target->textCursor();
        cursor.setPosition(cursor.selectionStart());
        m_target->setTextCursor(cursor);
        findNext(false);
    });
    hide();
}

void FindBar::open()
{
    show();
    m_field->setFocus();
    m_field->selectAll();
}

void FindBar::close()
{
    hide();
    m_status->clear();
    m_target->setFocus();
}

bool FindBar::findNext(bool backwards)
{
    const QString needle = m_field->text();
    if (needle.isEmpty()) {
        m_status->clear();
        return false;
    }
    const QTextDocument::FindFlags flags = backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    bool found = m_target->find(needle, flags);
    if (!found) {
        // Round the end of the text.
        const QTextCursor keep = m_target->textCursor();
        QTextCursor cursor = keep;
        cursor.movePosition(backwards ? QTextCursor::End : QTextCursor::Start);
        m_target->setTextCursor(cursor);
        found = m_target->find(needle, flags);
        if (!found)
            m_target->setTextCursor(keep);
    }
    m_status->setText(found ? QString() : QStringLiteral("Not found"));
    return found;
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            findNext(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

struct TextFileViewerBody::Fill {
    QTextDocument* document = nullptr;
    QTextCursor cursor;
    std::shared_ptr<TextPlaces> places;
    QString laidOut; // the text as the document holds it (richtext::partedForLayout)
    qsizetype offset = 0;
    std::uint64_t lineUnits = 0; // the work of the line the last piece ended in, so far
    bool attached = false;
    bool keepPosition = false;
    // The formats of emoji runs, by inEmojiFontAlone, once there are any.
    std::array<std::optional<QTextCharFormat>, 2> emojiFormats;
};

namespace {

QFont textFont()
{
    return richtext::toQFont(GrammarCodeHighlighter::displayFont());
}

// The work of laying out text, in about the time a character of plain text takes: a character
// beyond the first plane (an emoji: Qt decodes its colour picture to measure it, each time it
// lays it out) takes a couple of hundred times as long.
constexpr std::uint64_t supplementaryUnits = 200;
// A piece of the filling is about this much work; a new file's first slice, which is on screen
// at once, a few times as much (more than a screenful).
constexpr std::uint64_t pieceUnits = 32 * 1024;
constexpr std::uint64_t firstSliceUnits = 4 * pieceUnits;
// A line of more work than this goes into the document as several blocks (the view lays out a
// block whole, again whenever it changes), cut where a line may break: a few dozen milliseconds.
constexpr std::uint64_t blockUnits = 64 * 1024;
// How far back from where a long line is cut a space is looked for.
constexpr qsizetype cutWindow = 256;

// A space after which a line may break; U+200B stands for the joiners of a cluster too long to be
// one picture.
bool isBreakingSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == QChar(0x200B);
}

bool isLineEnd(QStringView text, qsizetype i)
{
    return text[i] == u'\n' || (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'));
}

// The last place at or before `at` (and after `from`) where a character as the reader sees it
// ends; `at` itself inside one longer than a piece, between code points.
qsizetype characterEnd(QStringView text, qsizetype from, qsizetype at)
{
    if (at >= text.size())
        return text.size();
    // Whether a character ends at `at` depends on the one after it and those before.
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text.constData() + from, at + 1 - from);
    characters.setPosition(at - from);
    if (characters.isAtBoundary())
        return at;
    if (const qsizetype before = characters.toPreviousBoundary(); before > 0)
        return from + before;
    return text[at - 1].isHighSurrogate() ? at - 1 : at;
}

struct Piece {
    qsizetype end = 0;
    bool cutsLine = false; // it ends inside a line, which goes on in a block of its own
};

// The next piece of about `budget` units of work from `offset` (where a character begins),
// ending after a line end when it holds one; else where a character ends: never between the two
// halves of a surrogate pair, between the CR and the LF of a pair (apart, each would make a line
// break of its own), nor inside an emoji sequence (looked at for emoji piece by piece). A line of
// more than blockUnits is cut after a space near where it reaches them, else between characters.
// `lineUnits` carries the work of the line so far from piece to piece.
Piece nextPiece(QStringView text, qsizetype offset, std::uint64_t budget, std::uint64_t& lineUnits)
{
    std::uint64_t units = 0;
    qsizetype lastLineEnd = -1;
    qsizetype i = offset;
    while (i < text.size() && units < budget) {
        if (isLineEnd(text, i)) {
            lastLineEnd = ++i;
            lineUnits = 0;
            ++units;
            continue;
        }
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const std::uint64_t cost = pair ? supplementaryUnits : 1;
        if (lineUnits + cost > blockUnits) { // at `offset` too: the piece before filled the block
            qsizetype cut = i;
            while (cut > std::max(offset, i - cutWindow) && !isBreakingSpace(text[cut - 1]))
                --cut;
            if (cut == std::max(offset, i - cutWindow))
                cut = characterEnd(text, offset, i);
            if (cut <= offset)
                cut = i;
            // The characters after the cut begin the next block.
            lineUnits = 0;
            for (qsizetype j = cut; j < i; ++j)
                lineUnits += text[j].isLowSurrogate() ? supplementaryUnits - 1 : 1;
            return {cut, true};
        }
        units += cost;
        lineUnits += cost;
        i += pair ? 2 : 1;
    }
    if (i >= text.size())
        return {text.size(), false};
    if (lastLineEnd > offset) {
        lineUnits = 0;
        return {lastLineEnd, false};
    }
    return {characterEnd(text, offset, i), false};
}

} // namespace

TextFileViewerBody::TextFileViewerBody(QWidget* parent)
    : QWidget(parent)
    , m_pages(new QStackedLayout)
    , m_edit(new SourceTextEdit)
    , m_findBar(new FindBar(m_edit))
    , m_error(new MessagePage)
{
    m_edit->setReadOnly(true);
    m_edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_edit->setFrameShape(QFrame::NoFrame);
    m_edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_edit->setFont(textFont());
    m_edit->setUndoRedoEnabled(false);
    m_edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_edit->document()->setDocumentMargin(24);

    auto* textPage = new QWidget;
    auto* textLayout = new QVBoxLayout(textPage);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->setSpacing(0);
    textLayout->addWidget(m_edit, 1);
    textLayout->addWidget(m_findBar);

    m_pages->addWidget(textPage);
    m_pages->addWidget(m_error);
    setLayout(m_pages);

    auto* find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        if (!isShowingError())
            m_findBar->open();
    });

    m_fillTimer.setSingleShot(true);
    m_fillTimer.setInterval(0);
    connect(&m_fillTimer, &QTimer::timeout, this, &TextFileViewerBody::fillSlice);
    applyTextPalette();
}

TextFileViewerBody::~TextFileViewerBody() = default;

QString TextFileViewerBody::errorMessage() const
{
    return isShowingError() ? m_error->message() : QString();
}

bool TextFileViewerBody::isShowingError() const
{
    return m_pages->currentIndex() == 1;
}

void TextFileViewerBody::showError(const QString& fileID, const QString& message)
{
    m_fillTimer.stop();
    if (m_filling && !m_filling->attached)
        delete m_filling->document;
    m_filling.reset();
    m_fileID = fileID;
    m_content.reset();
    m_error->setMessage(message);
    m_pages->setCurrentIndex(1);
    m_findBar->hide();
}

void TextFileViewerBody::showText(const QString& fileID, std::shared_ptr<const FileViewerContent> content, bool rendersAsSwiftSource)
{
    const bool sameFile = fileID == m_fileID && m_content && !isShowingError();
    const auto highlighted = rendersAsSwiftSource && content ? content->highlightedSwiftText : std::nullopt;
    if (sameFile && !m_filling && content->text == m_content->text
        && highlighted == (rendersAsSwiftSource ? m_content->highlightedSwiftText : std::nullopt)) {
        m_content = std::move(content);
        return; // what is shown already: the view, its selection and scroll position stay
    }
    m_fillTimer.stop();
    if (m_filling && !m_filling->attached)
        delete m_filling->document;
    m_filling.reset();
    m_fileID = fileID;
    m_content = std::move(content);
    m_pages->setCurrentIndex(0);

    auto* document = new QTextDocument(this);
    document->setDocumentLayout(new QPlainTextDocumentLayout(document));
    document->setUndoRedoEnabled(false);
    document->setDefaultFont(textFont());
    document->setDocumentMargin(24);
    m_filling = std::make_unique<Fill>();
    m_filling->document = document;
    m_filling->cursor = QTextCursor(document);
    m_filling->places = std::make_shared<TextPlaces>(m_content->text);
    m_filling->laidOut = richtext::partedForLayout(m_content->text);
    m_filling->keepPosition = sameFile;
    if (highlighted)
        new RunHighlighter(document, *highlighted, m_filling->places);
    if (!sameFile)
        m_findBar->hide();
    fillSlice();
}

void TextFileViewerBody::fillSlice()
{
    if (!m_filling)
        return;
    Fill& fill = *m_filling;
    const QString& text = m_content->text;
    QElapsedTimer clock;
    clock.start();
    // Pieces small enough that a slice ends close to its time. A new file's first slice is
    // larger, more than a screenful, so that it is on screen as soon as can be.
    const bool firstOfNewFile = !fill.attached && !fill.keepPosition;
    do {
        const Piece piece = nextPiece(fill.laidOut, fill.offset, firstOfNewFile ? firstSliceUnits : pieceUnits, fill.lineUnits);
        insertPiece(fill, fill.offset, piece.end);
        fill.offset = piece.end;
        if (piece.cutsLine && fill.offset < text.size()) {
            fill.places->cuts.push_back(fill.cursor.position());
            fill.cursor.insertBlock();
        }
    } while (!firstOfNewFile && fill.offset < text.size() && clock.elapsed() < sliceMilliseconds);

    // A new file is shown as soon as it has text; a new version of the shown file when whole.
    if (!fill.attached && (!fill.keepPosition || fill.offset == text.size())) {
        attach(fill.document, fill.places, fill.keepPosition);
        fill.attached = true;
    }
    if (fill.offset < text.size()) {
        m_fillTimer.start();
        return;
    }
    m_filling.reset();
    emit filled();
}

void TextFileViewerBody::insertPiece(Fill& fill, qsizetype start, qsizetype end)
{
    // The document's font and colours, but for emoji, which the colour emoji font draws. The
    // emoji are those of the text (a cluster too long to be one picture is one run); the
    // characters are those laid out.
    const QStringView laidOut = QStringView(fill.laidOut).sliced(start, end - start);
    const QTextCharFormat text;
    qsizetype inserted = 0;
    const auto insertTo = [&](qsizetype to, const QTextCharFormat& format) {
        if (to > inserted)
            fill.cursor.insertText(laidOut.sliced(inserted, to - inserted).toString(), format);
        inserted = to;
    };
    for (const richtext::EmojiRun& run : richtext::emojiRuns(QStringView(m_content->text).sliced(start, end - start))) {
        insertTo(run.start, text);
        std::optional<QTextCharFormat>& format = fill.emojiFormats[run.inEmojiFontAlone];
        if (!format)
            format = richtext::emojiFormat(text, textFont(), run.inEmojiFontAlone);
        insertTo(run.start + run.length, *format);
    }
    insertTo(laidOut.size(), text);
}

void TextFileViewerBody::attach(QTextDocument* document, std::shared_ptr<const TextPlaces> places, bool keepPosition)
{
    static_cast<SourceTextEdit*>(m_edit)->places = std::move(places);
    // Ours to delete; the edit deletes its own first document itself.
    QTextDocument* previous = m_edit->document()->parent() == this ? m_edit->document() : nullptr;
    const QTextCursor oldCursor = m_edit->textCursor();
    const int anchor = oldCursor.anchor();
    const int position = oldCursor.position();
    const int scroll = m_edit->verticalScrollBar()->value();
    m_edit->setDocument(document);
    if (keepPosition) {
        const int last = std::max(0, document->characterCount() - 1);
        QTextCursor cursor(document);
        cursor.setPosition(std::min(anchor, last));
        cursor.setPosition(std::min(position, last), QTextCursor::KeepAnchor);
        m_edit->setTextCursor(cursor);
        m_edit->verticalScrollBar()->setValue(scroll);
    } else {
        m_edit->verticalScrollBar()->setValue(0); // another file starts at its top
    }
    if (previous && previous != document)
        previous->deleteLater();
}

void TextFileViewerBody::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyTextPalette();
}

void TextFileViewerBody::applyTextPalette()
{
    // No background of its own: the window shows through.
    QPalette textPalette = palette();
    textPalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    m_edit->setPalette(textPalette);
}

} // namespace quillora
