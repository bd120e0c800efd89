#include "window/LogsView.h"

#include "core/LogStore.h"
#include "window/FileViewerModel.h"
#include "window/LogEntryList.h"
#include "window/SessionLogFiles.h"
#include "window/SymbolIcons.h"
#include "window/TextFileViewerBody.h"
#include "window/ViewParts.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QSplitter>
#include <QStackedWidget>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillora {
namespace {

enum class TextStyle { headline, title3, caption, caption2 };

QFont styledFont(const QFont& base, TextStyle style, QFont::Weight weight = QFont::Normal)
{
    QFont font = base;
    switch (style) {
    case TextStyle::headline:
        font.setPixelSize(13);
        weight = QFont::Bold;
        break;
    case TextStyle::title3:
        font.setPixelSize(15);
        break;
    case TextStyle::caption:
        font.setPixelSize(11);
        break;
    case TextStyle::caption2:
        font.setPixelSize(10);
        break;
    }
    font.setWeight(weight);
    return font;
}

QLabel* styledLabel(const QString& text, TextStyle style, QFont::Weight weight = QFont::Normal)
{
    QLabel* label = plainLabel(text);
    label->setFont(styledFont(label->font(), style, weight));
    return label;
}

// How far a label's text is toned down from the window's text colour.
constexpr const char* toneProperty = "quilloraTone";
constexpr qreal secondaryTone = 0.55;
constexpr qreal tertiaryTone = 0.35;

QLabel* toned(QLabel* label, qreal tone)
{
    label->setProperty(toneProperty, tone);
    return label;
}

QFrame* divider()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    line->setFixedHeight(1);
    return line;
}

// A header row: its widgets left to right, a stretch after the first unless one is given.
QWidget* headerRow(int horizontalPadding, std::initializer_list<QWidget*> leading, std::initializer_list<QWidget*> trailing)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(horizontalPadding, 10, horizontalPadding, 10);
    for (QWidget* widget : leading)
        layout->addWidget(widget);
    layout->addStretch(1);
    for (QWidget* widget : trailing)
        layout->addWidget(widget);
    return row;
}

QString entriesText(qsizetype count)
{
    return QStringLiteral("%1 entries").arg(count);
}

// "Select a session" over its hint, centred.
QWidget* emptySelectionView()
{
    auto* view = new QWidget;
    auto* layout = new QVBoxLayout(view);
    layout->setSpacing(8);
    layout->addStretch(1);
    for (QLabel* label : {toned(styledLabel(QStringLiteral("Select a session"), TextStyle::title3), secondaryTone),
                          toned(styledLabel(QStringLiteral("Choose a session from the list to view its logs."),
                                            TextStyle::caption),
                                tertiaryTone)}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    layout->addStretch(1);
    return view;
}

// The green dot of the running session.
class LiveDot final : public QWidget {
public:
    LiveDot() { setFixedSize(6, 6); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(WindowColors::systemGreen(palette()));
        painter.drawEllipse(rect());
    }
};

// A row of the session list: the title line over a secondary line, and "Export".
QWidget* sessionRow(QWidget* titleLine, QLabel* subtitle, QObject* context, std::function<void()> onExport)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 6, 8, 6);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(titleLine);
    texts->addWidget(subtitle);
    layout->addLayout(texts);
    layout->addStretch(1);
    auto* button = new QToolButton;
    button->setText(QStringLiteral("Export"));
    button->setAutoRaise(true);
    button->setFont(styledFont(button->font(), TextStyle::caption));
    button->setObjectName(QStringLiteral("export"));
    QObject::connect(button, &QToolButton::clicked, context, std::move(onExport));
    layout->addWidget(button);
    return row;
}

// Runs `work` on the thread pool and hands its result to `done` on the main thread, unless
// `owner` is gone by then. The hop goes through the application object, which outlives the
// pool's work, never through the owner itself.
template <typename Result>
void runInBackground(QObject* owner, std::function<Result()> work, std::function<void(Result)> done)
{
    QThreadPool::globalInstance()->start([work = std::move(work), done = std::move(done), owner = QPointer(owner)] {
        Result result = work();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [owner, done, result = std::move(result)]() mutable {
                if (owner)
                    done(std::move(result));
            },
            Qt::QueuedConnection);
    });
}

} // namespace

LogsView::LogsView(LogStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_entryModel(new LogEntryListModel(store, this))
    , m_sessions(new QListWidget)
    , m_detail(new QStackedWidget)
    , m_currentDetail(new QWidget)
    , m_currentCount(toned(styledLabel({}, TextStyle::caption), secondaryTone))
    , m_currentBody(new QStackedWidget)
    , m_entries(new LogEntryListView)
    , m_pastDetail(new QWidget)
    , m_pastTitle(styledLabel({}, TextStyle::headline))
    , m_pastNote(toned(styledLabel(QStringLiteral("Showing the last 8 MiB"), TextStyle::caption), secondaryTone))
    , m_pastText(new TextFileViewerBody)
    , m_placeholder(emptySelectionView())
{
    setObjectName(QStringLiteral("logs"));
    setWindowTitle(QStringLiteral("Session Logs"));
    setMinimumSize(700, 450);
    resize(900, 560);

    // The session list.
    auto* sidebar = new QWidget;
    sidebar->setMinimumWidth(220);
    sidebar->setMaximumWidth(300);
    auto* sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    sidebarLayout->setSpacing(0);
    sidebarLayout->addWidget(headerRow(12, {styledLabel(QStringLiteral("Sessions"), TextStyle::headline)}, {}));
    sidebarLayout->addWidget(divider());
    m_sessions->setFrameShape(QFrame::NoFrame);
    m_sessions->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sessions->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sidebarLayout->addWidget(m_sessions, 1);

    // The current session's entries, or the placeholder while there are none.
    auto* currentLayout = new QVBoxLayout(m_currentDetail);
    currentLayout->setContentsMargins(0, 0, 0, 0);
    currentLayout->setSpacing(0);
    currentLayout->addWidget(
        headerRow(16, {styledLabel(QStringLiteral("Current Session"), TextStyle::headline)}, {m_currentCount}));
    currentLayout->addWidget(divider());
    m_entries->setModel(m_entryModel);
    m_currentBody->addWidget(emptySelectionView());
    m_currentBody->addWidget(m_entries);
    currentLayout->addWidget(m_currentBody, 1);

    // A past session's text.
    auto* pastLayout = new QVBoxLayout(m_pastDetail);
    pastLayout->setContentsMargins(0, 0, 0, 0);
    pastLayout->setSpacing(0);
    pastLayout->addWidget(headerRow(16, {m_pastTitle}, {m_pastNote}));
    pastLayout->addWidget(divider());
    pastLayout->addWidget(m_pastText, 1);
    m_pastNote->hide();

    m_detail->setMinimumWidth(400);
    m_detail->addWidget(m_currentDetail);
    m_detail->addWidget(m_pastDetail);
    m_detail->addWidget(m_placeholder);

    auto* split = new QSplitter(Qt::Horizontal);
    split->setChildrenCollapsible(false);
    split->addWidget(sidebar);
    split->addWidget(m_detail);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({240, 660});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);

    connect(m_sessions, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = m_sessions->selectedItems();
        const std::optional<QString> identifier =
            selected.isEmpty() ? std::nullopt : std::optional(selected.first()->data(Qt::UserRole).toString());
        if (identifier == m_selectedSessionID)
            return;
        m_selectedSessionID = identifier;
        loadSessionContent();
    });
    connect(&store, &LogStore::sessionFilesChanged, this, &LogsView::rebuildSessionRows);
    connect(m_entryModel, &QAbstractItemModel::rowsInserted, this, &LogsView::scrollToLatestEntry);
    connect(m_entryModel, &QAbstractItemModel::modelReset, this, &LogsView::refreshCounts);

    rebuildSessionRows();
    refreshCounts();
    refreshDetail();
    tint();
}

LogsView::~LogsView() = default;

QList<LogSessionFileModel> LogsView::pastSessionFiles() const
{
    return quillora::pastSessionFiles(m_store.sessionFiles(), m_store.currentSessionFilePath());
}

void LogsView::rebuildSessionRows()
{
    const QSignalBlocker blocker(m_sessions);
    m_sessions->clear();
    const auto addRow = [this](const QString& identifier, QWidget* row) {
        auto* item = new QListWidgetItem(m_sessions);
        item->setData(Qt::UserRole, identifier);
        item->setSizeHint(row->sizeHint());
        m_sessions->setItemWidget(item, row);
        if (identifier == m_selectedSessionID)
            item->setSelected(true);
    };

    auto* titleLine = new QWidget;
    auto* titleLayout = new QHBoxLayout(titleLine);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->setSpacing(4);
    titleLayout->addWidget(new LiveDot);
    titleLayout->addWidget(styledLabel(QStringLiteral("Current Session"), TextStyle::caption, QFont::Medium));
    titleLayout->addStretch(1);
    m_currentRowCount = toned(styledLabel(entriesText(m_entryModel->rowCount()), TextStyle::caption2), secondaryTone);
    addRow(currentSessionID(), sessionRow(titleLine, m_currentRowCount, this, [this] { exportCurrentSession(); }));

    for (const LogSessionFileModel& file : pastSessionFiles()) {
        QLabel* date = styledLabel(sessionDateText(file.createdAt), TextStyle::caption);
        QLabel* size = toned(styledLabel(byteCountText(file.fileSize), TextStyle::caption2), secondaryTone);
        addRow(file.id, sessionRow(date, size, this, [this, file] { exportSession(file); }));
    }
    tint();

    // A past session that is gone from the folder is no longer selected.
    if (m_selectedSessionID && m_sessions->selectedItems().isEmpty()) {
        m_selectedSessionID.reset();
        loadSessionContent();
    }
}

void LogsView::selectSession(const std::optional<QString>& identifier)
{
    for (int row = 0; row < m_sessions->count(); ++row) {
        QListWidgetItem* item = m_sessions->item(row);
        if (identifier && item->data(Qt::UserRole).toString() == *identifier) {
            m_sessions->setCurrentItem(item);
            item->setSelected(true);
            return;
        }
    }
    m_sessions->clearSelection();
}

QString LogsView::shownDetail() const
{
    if (m_detail->currentWidget() == m_currentDetail)
        return QStringLiteral("current");
    return m_detail->currentWidget() == m_pastDetail ? QStringLiteral("past") : QStringLiteral("placeholder");
}

void LogsView::refreshDetail()
{
    if (m_selectedSessionID == currentSessionID()) {
        if (m_detail->currentWidget() != m_currentDetail) {
            // The live list opens at its first row; from then on it follows new entries.
            m_detail->setCurrentWidget(m_currentDetail);
            m_entries->scrollToTop();
        }
    } else {
        m_detail->setCurrentWidget(m_hasSessionContent ? m_pastDetail : m_placeholder);
    }
}

void LogsView::refreshCounts()
{
    const QString text = entriesText(m_entryModel->rowCount());
    m_currentCount->setText(text);
    if (m_currentRowCount)
        m_currentRowCount->setText(text);
    m_currentBody->setCurrentIndex(m_entryModel->rowCount() > 0 ? 1 : 0);
}

void LogsView::scrollToLatestEntry()
{
    refreshCounts();
    if (shownDetail() == u"current")
        m_entries->scrollToLastRow();
}

void LogsView::loadSessionContent()
{
    const std::uint64_t generation = ++m_loadGeneration;
    m_hasSessionContent = false;
    m_pastNote->hide();
    std::optional<LogSessionFileModel> file;
    if (m_selectedSessionID && m_selectedSessionID != currentSessionID()) {
        for (const LogSessionFileModel& candidate : m_store.sessionFiles()) {
            if (candidate.id == *m_selectedSessionID) {
                file = candidate;
                break;
            }
        }
    }
    if (file) {
        m_hasSessionContent = true;
        m_pastTitle->setText(sessionDateText(file->createdAt));
        m_pastText->showText(file->id, std::make_shared<FileViewerContent>(), false);
        const QString path = file->url.toLocalFile();
        runInBackground<SessionLogText>(
            this, [path] { return readSessionLog(path); },
            [this, generation, identifier = file->id](SessionLogText read) {
                if (generation != m_loadGeneration)
                    return; // the selection moved on
                if (read.text) {
                    auto content = std::make_shared<FileViewerContent>();
                    content->text = std::move(*read.text);
                    m_pastText->showText(identifier, std::move(content), false);
                    m_pastNote->setVisible(read.truncated);
                } else {
                    m_pastText->showError(identifier, read.error);
                }
                emit sessionContentShown();
            });
    }
    refreshDetail();
}

void LogsView::exportCurrentSession()
{
    const QByteArray bytes = m_store.exportText().toUtf8();
    saveLogText(currentSessionExportName(),
                [bytes](const QString& destination) { return saveExport(bytes, destination); });
}

void LogsView::exportSession(const LogSessionFileModel& file)
{
    const QString source = file.url.toLocalFile();
    // Nothing to ask where to save when there is nothing to save.
    if (const auto error = sessionLogReadError(source)) {
        showError(*error);
        emit exportFinished();
        return;
    }
    saveLogText(pastSessionExportName(file.createdAt),
                [source](const QString& destination) { return saveExportCopy(source, destination); });
}

void LogsView::saveLogText(const QString& suggestedName, std::function<std::optional<QString>(const QString&)> write)
{
    if (m_saveDialog)
        m_saveDialog->close();
    auto* dialog = new QFileDialog(this, QStringLiteral("Export Log"), QDir::homePath());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QStringLiteral("Plain text (*.log *.txt)"));
    dialog->selectFile(suggestedName);
    connect(dialog, &QFileDialog::fileSelected, this, [this, write = std::move(write)](const QString& destination) {
        runInBackground<std::optional<QString>>(
            this, [write, destination] { return write(destination); },
            [this](std::optional<QString> error) {
                if (error)
                    showError(*error);
                emit exportFinished();
            });
    });
    m_saveDialog = dialog;
    dialog->open();
}

void LogsView::showError(const QString& message)
{
    if (m_errorAlert)
        m_errorAlert->close();
    QMessageBox* alert = makePlainAlert(this, QStringLiteral("Unable to Export"), message);
    alert->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    m_errorAlert = alert;
    alert->open();
}

void LogsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_store.refreshSessionFiles();
}

void LogsView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tint();
}

void LogsView::tint()
{
    const QColor text = palette().color(QPalette::WindowText);
    for (QLabel* label : findChildren<QLabel*>()) {
        const QVariant tone = label->property(toneProperty);
        if (!tone.isValid())
            continue;
        QColor color = text;
        color.setAlphaF(tone.toReal());
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, color);
        label->setPalette(palette);
    }
}

} // namespace quillora
