#pragma once

#include "core/FileDocumentModel.h"
#include "core/FileWatcherService.h"

#include <markdown/MarkdownContent.h>
#include <mdview/Color.h>
#include <platform/RegularFileReader.h>

#include "richtext/AttributedText.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace quillora {

// Which body shows a file, by its extension after lower-casing.
enum class FileBodyKind { markdown, text, swift };
FileBodyKind fileBodyKind(const QUrl& fileURL);

// What a loaded file shows. Made off the main thread, immutable afterwards, shared by the model
// and the body that draws it.
struct FileViewerContent {
    QString text;                                                // text and Swift files: the decoded text
    std::optional<markdown::MarkdownContent> markdown;           // Markdown files: the parsed document
    std::optional<richtext::AttributedText> highlightedSwiftText; // Swift files
    mdview::ColorScheme highlightScheme = mdview::ColorScheme::light; // what the highlight was made for
};

// The viewer's whole progress. Every phase but idle names the file (its id) it belongs to; a
// state is drawn only while that is the file shown.
struct FileViewerLoadState {
    enum class Phase { idle, loading, loaded, failed };
    Phase phase = Phase::idle;
    QString fileID;
    std::shared_ptr<const FileViewerContent> content; // loaded
    QString message;                                  // failed: the sentence shown

    bool isLoaded(const QString& id) const { return phase == Phase::loaded && fileID == id; }
};

struct FileViewerServices {
    // Reads a file's bytes on a worker thread, asking `shouldStop` between chunks.
    std::function<platform::RegularFileRead(const QString& path, const std::function<bool()>& shouldStop)> readFile;

    static FileViewerServices standard();
};

// Loads the shown file off the main thread and keeps the result in one state value. Reading,
// fingerprinting (SHA-256), decoding, Markdown parsing and Swift highlighting run on the one
// thread of document loads (DocumentLoadThread); the main thread only takes the finished
// content. One read runs at a time: a request for another file (or another colour scheme) stops
// the running read between chunks and waits to run next; reloads of the file being read while
// its read runs come together into one reload after it. Only the newest request changes the
// state, and bytes whose fingerprint equals the shown content's change nothing. The file's
// folder is watched while the model is active. Main thread only.
class FileViewerModel : public QObject {
    Q_OBJECT

public:
    // Larger files are not shown.
    static constexpr qint64 maxFileBytes = qint64(64) << 20;

    explicit FileViewerModel(FileViewerServices services = FileViewerServices::standard(), QObject* parent = nullptr);
    ~FileViewerModel() override;

    // Shows another file (or none): reload and watch when the file's id changes while active.
    void setFile(const std::optional<FileDocumentModel>& file);
    const std::optional<FileDocumentModel>& file() const { return m_file; }

    // On screen: load and watch. Off screen: stop loading and watching.
    void setActive(bool active);
    bool isActive() const { return m_active; }

    // A loaded Swift file is highlighted again for the new scheme; its text stays on screen.
    void setColorScheme(mdview::ColorScheme scheme);
    mdview::ColorScheme colorScheme() const { return m_scheme; }

    void reloadFileContent();

    // Runs after every change the watcher reports, after the reload has started.
    void setOnWatchedFileChange(std::function<void()> action) { m_onWatchedFileChange = std::move(action); }

    const FileViewerLoadState& loadState() const { return m_state; }
    const std::optional<QString>& loadedContentHash() const { return m_loadedContentHash; }
    bool isReading() const { return m_running != nullptr; }

signals:
    void loadStateChanged();

private:
    struct Job;
    struct Result;
    void request(bool fresh);
    void start(std::shared_ptr<Job> job);
    void finish(const std::shared_ptr<Job>& job, Result result);
    void setState(FileViewerLoadState state);
    void startWatchingFile();
    void stopReading();

    FileViewerServices m_services;
    std::optional<FileDocumentModel> m_file;
    bool m_active = false;
    mdview::ColorScheme m_scheme = mdview::ColorScheme::light;
    FileViewerLoadState m_state;
    std::optional<QString> m_loadedContentHash;
    quint64 m_activeRequest = 0;
    std::shared_ptr<Job> m_running;
    std::shared_ptr<Job> m_pending;
    bool m_reloadAfterRunning = false;
    FileWatcherService m_watcher;
    std::function<void()> m_onWatchedFileChange;
};

} // namespace quillora
