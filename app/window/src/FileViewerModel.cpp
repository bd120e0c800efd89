#include "window/FileViewerModel.h"

#include "core/FileTreeNodeModel.h"
#include "window/DocumentLoadThread.h"
#include "window/FileTextDecoding.h"
#include "window/GrammarCodeHighlighter.h"
#include "window/MarkdownFirstPart.h"

#include <platform/Sha256.h>

#include <QPointer>
#include <QtConcurrent>

#include <utility>

namespace quillora {

FileBodyKind fileBodyKind(const QUrl& fileURL)
{
    const QString extension = lowerCasedPathExtension(fileURL.fileName());
    if (extension == u"md" || extension == u"markdown")
        return FileBodyKind::markdown;
    if (extension == u"swift")
        return FileBodyKind::swift;
    return FileBodyKind::text;
}

FileViewerServices FileViewerServices::standard()
{
    FileViewerServices services;
    services.readFile = [](const QString& path, const std::function<bool()>& shouldStop) {
        return platform::readRegularFile(path, FileViewerModel::maxFileBytes, shouldStop);
    };
    return services;
}

struct FileViewerModel::Job {
    quint64 request = 0;
    QString fileID;
    QString path;
    FileBodyKind kind = FileBodyKind::text;
    mdview::ColorScheme scheme = mdview::ColorScheme::light;
    std::optional<QString> previousHash;
    std::atomic<bool> stopped{false};
};

namespace {
enum class Outcome { content, firstPart, unchanged, failed, stopped };

// A Markdown document this long is first shown by its beginning, parsed alone, while the whole
// is parsed: the whole of a long one (a table of 100,000 rows, 10 MB of one paragraph) takes
// seconds, and its first screen is the same either way but for rare references to what comes
// later (a link defined at the end, a list loosened further down), which the whole then mends.
constexpr qsizetype firstPartAbove = qsizetype(1) << 20;
constexpr std::size_t firstPartBytes = std::size_t(256) << 10;

// The beginning of a long document; nothing when it is short or cannot be cut.
std::optional<std::string> firstPartOf(const QByteArray& utf8)
{
    if (utf8.size() <= firstPartAbove)
        return std::nullopt;
    std::string part = markdownFirstPart(std::string_view(utf8.constData(), std::size_t(utf8.size())), firstPartBytes);
    if (part.empty())
        return std::nullopt;
    return part;
}
} // namespace

struct FileViewerModel::Result {
    Outcome outcome = Outcome::stopped;
    std::shared_ptr<const FileViewerContent> content;
    QString hash;
    QString message;
};

FileViewerModel::FileViewerModel(FileViewerServices services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{
}

FileViewerModel::~FileViewerModel()
{
    stopReading();
}

void FileViewerModel::setFile(const std::optional<FileDocumentModel>& file)
{
    const QString previousID = m_file ? m_file->id : QString();
    m_file = file;
    if ((file ? file->id : QString()) == previousID || !m_active)
        return;
    reloadFileContent();
    startWatchingFile();
}

void FileViewerModel::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (active) {
        reloadFileContent();
        startWatchingFile();
    } else {
        stopReading();
        m_watcher.stop();
    }
}

void FileViewerModel::setColorScheme(mdview::ColorScheme scheme)
{
    if (scheme == m_scheme)
        return;
    m_scheme = scheme;
    if (m_active && m_file && fileBodyKind(m_file->url) == FileBodyKind::swift)
        request(true);
}

void FileViewerModel::reloadFileContent()
{
    request(false);
}

void FileViewerModel::request(bool fresh)
{
    if (!m_file) {
        stopReading();
        m_loadedContentHash.reset();
        setState({});
        return;
    }
    // The newest request is reading this very file: one more read after it covers every change
    // reported meanwhile.
    if (!fresh && m_running && !m_running->stopped && m_running->request == m_activeRequest && !m_pending
        && m_running->fileID == m_file->id) {
        m_reloadAfterRunning = true;
        return;
    }
    m_reloadAfterRunning = false;
    const bool alreadyShown = m_state.isLoaded(m_file->id);
    m_activeRequest += 1;
    if (!alreadyShown) {
        m_loadedContentHash.reset();
        setState({FileViewerLoadState::Phase::loading, m_file->id, nullptr, {}});
    }
    auto job = std::make_shared<Job>();
    job->request = m_activeRequest;
    job->fileID = m_file->id;
    job->path = m_file->url.toLocalFile();
    job->kind = fileBodyKind(m_file->url);
    job->scheme = m_scheme;
    if (!fresh)
        job->previousHash = m_loadedContentHash;
    if (m_running) {
        m_running->stopped = true;
        m_pending = std::move(job);
    } else {
        start(std::move(job));
    }
}

void FileViewerModel::start(std::shared_ptr<Job> job)
{
    m_running = job;
    DocumentLoadThread::shared().run([readFile = m_services.readFile, job, self = QPointer(this)] {
        // Through the application object: a hop aimed at the model could be queued after it is gone.
        const auto post = [&](Result result) {
            DocumentLoadThread::shared().deliver(
                [self, job, result = std::make_shared<Result>(std::move(result))] {
                    if (self)
                        self->finish(job, std::move(*result));
                });
        };
        Result result;
        const auto stopped = [&job] { return job->stopped.load(); };
        auto read = readFile(job->path, stopped);
        if (read.status == platform::RegularFileRead::Status::stopped || stopped()) {
            result.outcome = Outcome::stopped;
        } else if (read.status != platform::RegularFileRead::Status::read) {
            result.outcome = Outcome::failed;
            result.message = loadErrorMessage(std::nullopt);
        } else {
            // With nothing on screen to compare with, the fingerprint is made beside the decoding.
            std::optional<QFuture<QString>> pendingHash;
            if (!job->previousHash)
                pendingHash = QtConcurrent::run([bytes = read.bytes] { return platform::sha256Hex(bytes); });
            else
                result.hash = platform::sha256Hex(read.bytes);
            if (stopped()) {
                result.outcome = Outcome::stopped;
            } else if (job->previousHash == result.hash) {
                result.outcome = Outcome::unchanged;
            } else {
                auto decoded = decodeFileText(read.bytes, QUrl::fromLocalFile(job->path));
                read.bytes = {}; // the text holds them now, while a long parse may need the room
                if (const auto* error = std::get_if<FileTextLoadError>(&decoded)) {
                    result.outcome = Outcome::failed;
                    result.message = loadErrorMessage(*error);
                } else if (!stopped()) {
                    auto content = std::make_shared<FileViewerContent>();
                    content->text = std::move(std::get<QString>(decoded));
                    content->highlightScheme = job->scheme;
                    if (job->kind == FileBodyKind::markdown) {
                        // The document holds the text: the decoded copy would only take room, twice
                        // its length, while a long one is parsed.
                        const QByteArray utf8 = std::exchange(content->text, QString()).toUtf8();
                        const std::string_view whole(utf8.constData(), std::size_t(utf8.size()));
                        // Only for a first showing: a reload keeps the shown document until the new one is whole.
                        if (const auto firstPart = pendingHash ? firstPartOf(utf8) : std::nullopt) {
                            auto first = std::make_shared<FileViewerContent>();
                            first->highlightScheme = job->scheme;
                            first->markdown = markdown::MarkdownContent(*firstPart);
                            post({Outcome::firstPart, std::move(first), {}, {}});
                        }
                        content->markdown = markdown::MarkdownContent(whole);
                    } else if (job->kind == FileBodyKind::swift) {
                        content->highlightedSwiftText = GrammarCodeHighlighter(job->scheme).highlight(content->text);
                    }
                    result.outcome = stopped() ? Outcome::stopped : Outcome::content;
                    result.content = std::move(content);
                }
            }
            if (pendingHash)
                result.hash = pendingHash->result();
        }
        post(std::move(result));
    });
}

void FileViewerModel::finish(const std::shared_ptr<Job>& job, Result result)
{
    const bool current = job->request == m_activeRequest && m_file && m_file->id == job->fileID && !job->stopped;
    if (result.outcome == Outcome::firstPart) {
        // The job goes on with the whole document; the beginning is shown meanwhile.
        if (current)
            setState({FileViewerLoadState::Phase::loaded, job->fileID, std::move(result.content), {}});
        return;
    }
    if (m_running == job)
        m_running.reset();
    if (current) {
        switch (result.outcome) {
        case Outcome::content:
            m_loadedContentHash = result.hash;
            setState({FileViewerLoadState::Phase::loaded, job->fileID, std::move(result.content), {}});
            break;
        case Outcome::failed:
            setState({FileViewerLoadState::Phase::failed, job->fileID, nullptr, result.message});
            break;
        case Outcome::firstPart: // shown above
        case Outcome::unchanged:
        case Outcome::stopped:
            break;
        }
    }
    if (m_running)
        return;
    if (m_pending) {
        start(std::exchange(m_pending, nullptr));
    } else if (m_reloadAfterRunning) {
        m_reloadAfterRunning = false;
        reloadFileContent();
    }
}

void FileViewerModel::setState(FileViewerLoadState state)
{
    const bool same = state.phase == m_state.phase && state.fileID == m_state.fileID
        && state.content == m_state.content && state.message == m_state.message;
    if (same)
        return;
    m_state = std::move(state);
    emit loadStateChanged();
}

void FileViewerModel::startWatchingFile()
{
    if (!m_file) {
        m_watcher.stop();
        return;
    }
    m_watcher.start(m_file->url, [this] {
        reloadFileContent();
        if (m_onWatchedFileChange)
            m_onWatchedFileChange();
    });
}

void FileViewerModel::stopReading()
{
    if (m_running)
        m_running->stopped = true;
    m_pending.reset();
    m_reloadAfterRunning = false;
}

} // namespace quillora
