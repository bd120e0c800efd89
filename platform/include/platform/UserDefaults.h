#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>

class QSettings;

namespace platform {

// The application's typed key-value store, kept as JSON in one file. Keys are used verbatim.
// Each value keeps its type (string, Boolean, number, string list or bytes): reading a key with
// another type than the one stored yields nothing. Safe to use from any thread; every write is
// flushed to disk at once and merged with what other processes wrote meanwhile.
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

private:
    template <typename T>
    std::optional<T> typedValue(const QString& key) const;
    void write(const QString& key, const class QVariant& value);

    mutable std::mutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
};

} // namespace platform
