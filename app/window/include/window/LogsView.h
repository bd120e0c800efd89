#pragma once

#include "core/LogSessionFileModel.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class QLabel;
class QListWidget;
class QStackedWidget;

namespace quillora {

class LogEntryListModel;
class LogEntryListView;
class LogStore;
class TextFileViewerBody;

// The "Session Logs" window: this session's entries live beside the session files of earlier
// launches, each exportable to a file chosen in a save dialog. The running session is known by
// the store's own file path, so it never shows among the past ones. A past file is read in the
// background, at most its last 8 MiB; an export is written in the background and atomically,
// and one that cannot be read or written says so and writes nothing.
class LogsView : public QWidget {
    Q_OBJECT
public:
    // The identifier of the current-session row.
    static QString currentSessionID() { return QStringLiteral("current"); }

    explicit LogsView(LogStore& store, QWidget* parent = nullptr);
    ~LogsView() override;

    // "current", a past file's id, or nothing.
    std::optional<QString> selectedSessionID() const { return m_selectedSessionID; }
    void selectSession(const std::optional<QString>& identifier);
    // What the detail shows: "current", "past" or "placeholder".
    QString shownDetail() const;

    // The files listed below the current-session row.
    QList<LogSessionFileModel> pastSessionFiles() const;

    void exportCurrentSession();
    void exportSession(const LogSessionFileModel& file);

    QListWidget* sessionList() const { return m_sessions; }
    LogEntryListView* entryList() const { return m_entries; }
    LogEntryListModel* entryModel() const { return m_entryModel; }
    TextFileViewerBody* pastSessionText() const { return m_pastText; }
    QLabel* pastSessionTitle() const { return m_pastTitle; }
    // The open save dialog of an export, and the alert of a failed one.
    QFileDialog* saveDialog() const { return m_saveDialog; }
    QMessageBox* errorAlert() const { return m_errorAlert; }

signals:
    // The selected past session's text (or why it could not be read) is shown.
    void sessionContentShown();
    // An export ended: written, or reported as failed.
    void exportFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void rebuildSessionRows();
    void refreshCounts();
    void refreshDetail();
    void loadSessionContent();
    void scrollToLatestEntry();
    // Asks where to save, then writes what `write` produces there off the main thread.
    void saveLogText(const QString& suggestedName, std::function<std::optional<QString>(const QString&)> write);
    void showError(const QString& message);
    void tint();

    LogStore& m_store;
    LogEntryListModel* m_entryModel;
    QListWidget* m_sessions;
    QStackedWidget* m_detail;
    QWidget* m_currentDetail;
    QLabel* m_currentCount;
    QStackedWidget* m_currentBody;
    LogEntryListView* m_entries;
    QWidget* m_pastDetail;
    QLabel* m_pastTitle;
    QLabel* m_pastNote;
    TextFileViewerBody* m_pastText;
    QWidget* m_placeholder;
    QLabel* m_currentRowCount = nullptr;

    std::optional<QString> m_selectedSessionID;
    bool m_hasSessionContent = false; // a past file's text (or its error) is shown
    std::uint64_t m_loadGeneration = 0;
    QPointer<QFileDialog> m_saveDialog;
    QPointer<QMessageBox> m_errorAlert;
};

} // namespace quillora
