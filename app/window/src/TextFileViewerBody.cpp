#include "window/TextFileViewerBody.h"

#include "window/GrammarCodeHighlighter.h"
#include "window/ViewParts.h"

#include "richtext/gui/EmojiFont.h"
#include "richtext/gui/QtConversions.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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
#include <optional>

namespace quillora {

// Applies precomputed highlight runs to the blocks of a document as they are laid out.
//
// The runs are offsets into the highlighted text, where a CR LF pair is two characters; the
// document holds such a pair as one block separator (as it holds a lone LF or CR). The runs are
// moved onto the document's positions, one place back for each pair before them.
class RunHighlighter : public QSyntaxHighlighter {
public:
    RunHighlighter(QTextDocument* document, const richtext::AttributedText& highlighted)
        : QSyntaxHighlighter(document)
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
        // The line feeds that close a CR LF pair: the places the document does not have.
        const QString& text = highlighted.text();
        std::vector<qsizetype> pairedFeeds;
        for (qsizetype i = text.indexOf(u"\r\n"); i >= 0; i = text.indexOf(u"\r\n", i + 2))
            pairedFeeds.push_back(i + 1);
        const auto documentPosition = [&](qsizetype offset) {
            const auto before = std::upper_bound(pairedFeeds.begin(), pairedFeeds.end(), offset);
            return offset - qsizetype(before - pairedFeeds.begin());
        };
        m_runs.reserve(highlighted.runs().size());
        for (const richtext::TextRun& run : highlighted.runs())
            if (formats[run.style] >= 0)
                m_runs.push_back({documentPosition(run.start), documentPosition(run.start + run.length), formats[run.style]});
    }

protected:
    void highlightBlock(const QString& text) override
    {
        const qsizetype begin = currentBlock().position();
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
    std::vector<Run> m_runs;
    std::vector<QTextCharFormat> m_formats;
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
    qsizetype offset = 0;
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

// The next piece of at most `limit` code units from `offset` (where a character begins), ending
// after a line feed when there is one, else where a character as the reader sees it ends: never
// between the two halves of a surrogate pair, between the CR and the LF of a pair (apart, each
// would make a line break of its own), nor inside an emoji sequence (looked at for emoji piece
// by piece). A character longer than a piece is cut between code points.
qsizetype pieceEnd(const QString& text, qsizetype offset, qsizetype limit)
{
    const qsizetype end = std::min(text.size(), offset + limit);
    if (end == text.size())
        return end;
    const qsizetype lineEnd = text.lastIndexOf(u'\n', end - 1);
    if (lineEnd >= offset)
        return lineEnd + 1;
    // Whether a character ends at `end` depends on the one after it and those before.
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text.constData() + offset, end + 1 - offset);
    characters.setPosition(end - offset);
    if (characters.isAtBoundary())
        return end;
    if (const qsizetype before = characters.toPreviousBoundary(); before > 0)
        return offset + before;
    return text.at(end - 1).isHighSurrogate() ? end - 1 : end;
}

} // namespace

TextFileViewerBody::TextFileViewerBody(QWidget* parent)
    : QWidget(parent)
    , m_pages(new QStackedLayout)
    , m_edit(new QPlainTextEdit)
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
    if (highlighted)
        new RunHighlighter(document, *highlighted);
    m_filling = std::make_unique<Fill>();
    m_filling->document = document;
    m_filling->cursor = QTextCursor(document);
    m_filling->keepPosition = sameFile;
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
    // Pieces small enough that a slice ends close to its time. A new file's first slice is one
    // piece, more than a screenful, so that it is on screen as soon as can be.
    constexpr qsizetype pieceLength = 32 * 1024;
    const bool firstOfNewFile = !fill.attached && !fill.keepPosition;
    do {
        const qsizetype end = pieceEnd(text, fill.offset, pieceLength);
        insertPiece(fill, QStringView(text).sliced(fill.offset, end - fill.offset));
        fill.offset = end;
    } while (!firstOfNewFile && fill.offset < text.size() && clock.elapsed() < sliceMilliseconds);

    // A new file is shown as soon as it has text; a new version of the shown file when whole.
    if (!fill.attached && (!fill.keepPosition || fill.offset == text.size())) {
        attach(fill.document, fill.keepPosition);
        fill.attached = true;
    }
    if (fill.offset < text.size()) {
        m_fillTimer.start();
        return;
    }
    m_filling.reset();
    emit filled();
}

void TextFileViewerBody::insertPiece(Fill& fill, QStringView piece)
{
    // The document's font and colours, but for emoji, which the colour emoji font draws.
    const QTextCharFormat text;
    qsizetype inserted = 0;
    const auto insertTo = [&](qsizetype end, const QTextCharFormat& format) {
        if (end > inserted)
            fill.cursor.insertText(piece.sliced(inserted, end - inserted).toString(), format);
        inserted = end;
    };
    for (const richtext::EmojiRun& run : richtext::emojiRuns(piece)) {
        insertTo(run.start, text);
        std::optional<QTextCharFormat>& format = fill.emojiFormats[run.inEmojiFontAlone];
        if (!format)
            format = richtext::emojiFormat(text, textFont(), run.inEmojiFontAlone);
        insertTo(run.start + run.length, *format);
    }
    insertTo(piece.size(), text);
}

void TextFileViewerBody::attach(QTextDocument* document, bool keepPosition)
{
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
