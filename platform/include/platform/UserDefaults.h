#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class QSettings;

namespace platform {

// The application's typed key-value store, kept as JSON in one file. Keys are used verbatim.
// Each value keeps its type (string, Boolean, number, string list or bytes): reading a key with
// another type than the one stored yields nothing. Safe to use from any thread.
//
// Reads and writes never wait for the disk: a write changes the values in memory at once and is
// saved by the store's own thread straight after (writes made meanwhile go in one save), merged
// with what other processes wrote to the file. Reads see this store's writes at once, and the
// file's other changes once they are on disk. The destructor saves what is still pending;
// `flush()` waits until everything written so far is saved.
class UserDefaults {
public:
    explicit UserDefaults(const QString& filePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The process-wide store: `defaultFilePath()` unless `setStandard` replaced it.
    static std::shared_ptr<UserDefaults> standard();
    static void setStandard(std::shared_ptr<UserDefaults> defaults);
    // <generic config location>/Quillora/defaults.json
    static QString defaultFilePath();

    QString filePath() const;

    // Whether any value, of any type, is stored under the key.
    bool contains(const QString& key) const;

    std::optional<QString> string(const QString& key) const;
    std::optional<bool> boolean(const QString& key) const;
    std::optional<double> number(const QString& key) const;
    std::optional<QStringList> stringList(const QString& key) const;
    std::optional<QByteArray> data(const QString& key) const;

    void setString(const QString& key, const QString& value);
    void setBoolean(const QString& key, bool value);
    void setNumber(const QString& key, double value);
    void setStringList(const QString& key, const QStringList& value);
    void setData(const QString& key, const QByteArray& value);
    void remove(const QString& key);

    // Waits until every write made before the call is in the file.
    void flush();

private:
    struct FileState {
        std::int64_t modifiedNanoseconds = 0;
        std::int64_t size = -1; // -1: no file
        std::uint64_t inode = 0;
        friend bool operator==(const FileState&, const FileState&) = default;
    };
    FileState fileState() const;
    QVariant value(const QString& key) const;
    template <typename T>
    std::optional<T> typedValue(const QString& key) const;
    void write(const QString& key, const class QVariant& value);
    // Takes in what other writers saved to the file since this store last looked.
    void refreshFromFile() const;
    void saveLoop();

    const QString m_filePath;
    mutable std::mutex m_mutex;
    mutable QVariantMap m_values;     // what reads see
    QVariantMap m_pending;            // writes not yet saved; an invalid value removes the key
    mutable FileState m_seen;         // the file as this store last read or wrote it
    std::uint64_t m_requested = 0;    // writes made
    std::uint64_t m_saved = 0;        // writes saved
    bool m_stopping = false;
    std::condition_variable m_wake;
    std::condition_variable m_savedChanged;
    std::unique_ptr<QSettings> m_settings; // touched only by the saving thread once it runs
    std::thread m_saver;
};

} // namespace platform
