#include "platform/UserDefaults.h"

#include "platform/SystemLog.h"

#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>

#include <utility>

#include <sys/stat.h>

namespace platform {

namespace {

// A defaults file beyond this size is not ours to parse; it is set aside like a corrupt one.
constexpr qint64 maxFileSize = 16 * 1024 * 1024;
// Bytes have no JSON type of their own: they are written as {"data": "<base64>"}.
const QString dataMember = QStringLiteral("data");

QVariant fromJson(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double:
        return value.toDouble();
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Array: {
        const QJsonArray array = value.toArray();
        QStringList strings;
        for (const QJsonValue& element : array) {
            if (!element.isString())
                return QVariant::fromValue(value); // kept as is, read as absent
            strings.append(element.toString());
        }
        return strings;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        if (object.size() == 1 && object.value(dataMember).isString()) {
            const auto decoded = QByteArray::fromBase64Encoding(object.value(dataMember).toString().toLatin1(),
                                                                QByteArray::AbortOnBase64DecodingErrors);
            if (decoded)
                return *decoded;
        }
        return QVariant::fromValue(value);
    }
    default:
        return QVariant::fromValue(value);
    }
}

QJsonValue toJson(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QStringList:
        return QJsonArray::fromStringList(value.toStringList());
    case QMetaType::QByteArray:
        return QJsonObject{{dataMember, QString::fromLatin1(value.toByteArray().toBase64())}};
    default:
        // Values of other types came from the file and go back to it unchanged.
        return value.value<QJsonValue>();
    }
}

// Keeps an unreadable defaults file beside the store, so that nothing the user had is lost
// when the store starts over empty.
void setAsideCorruptFile(QIODevice& device, const QString& reason)
{
    auto* file = qobject_cast<QFile*>(&device);
    if (!file)
        return;
    const QString copy = file->fileName() + QStringLiteral(".corrupt-")
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QFile::copy(file->fileName(), copy);
    SystemLog::write(SystemLog::Type::Error, QStringLiteral("UserDefaults"),
                     QStringLiteral("Defaults file %1 is unreadable (%2); kept as %3 and starting empty.")
                         .arg(file->fileName(), reason, copy));
}

// Reads a defaults file's values; false when the bytes are not a defaults file, with the reason.
bool parseJson(const QByteArray& bytes, QSettings::SettingsMap& map, QString* reason)
{
    if (bytes.trimmed().isEmpty())
        return true;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        if (reason)
            *reason = error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("not an object");
        return false;
    }
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it)
        map.insert(it.key(), fromJson(it.value()));
    return true;
}

bool readJson(QIODevice& device, QSettings::SettingsMap& map)
{
    if (device.size() > maxFileSize) {
        setAsideCorruptFile(device, QStringLiteral("too large"));
        return true;
    }
    QString reason;
    QSettings::SettingsMap values;
    if (!parseJson(device.readAll(), values, &reason)) {
        setAsideCorruptFile(device, reason);
        return true;
    }
    map.insert(values);
    return true;
}

bool writeJson(QIODevice& device, const QSettings::SettingsMap& map)
{
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it)
        object.insert(it.key(), toJson(it.value()));
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return device.write(bytes) == bytes.size();
}

QSettings::Format jsonFormat()
{
    static const QSettings::Format format = QSettings::registerFormat(QStringLiteral("json"), readJson, writeJson);
    return format;
}

// Only the store's saving thread syncs; QSettings' own deferred sync would run on the thread
// that made the object, racing the saving thread.
class ImmediateSettings : public QSettings {
public:
    using QSettings::QSettings;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            return true;
        return QSettings::event(event);
    }
};

std::mutex standardMutex;
std::shared_ptr<UserDefaults> standardDefaults;

} // namespace

UserDefaults::UserDefaults(const QString& filePath)
    : m_filePath(filePath)
    , m_settings(std::make_unique<ImmediateSettings>(filePath, jsonFormat()))
{
    m_settings->setFallbacksEnabled(false);
    for (const QString& key : m_settings->allKeys())
        m_values.insert(key, m_settings->value(key));
    m_seen = fileState();
    m_saver = std::thread([this] { saveLoop(); });
}

UserDefaults::~UserDefaults()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_saver.join();
}

std::shared_ptr<UserDefaults> UserDefaults::standard()
{
    std::lock_guard lock(standardMutex);
    if (!standardDefaults)
        standardDefaults = std::make_shared<UserDefaults>(defaultFilePath());
    return standardDefaults;
}

void UserDefaults::setStandard(std::shared_ptr<UserDefaults> defaults)
{
    std::lock_guard lock(standardMutex);
    standardDefaults = std::move(defaults);
}

QString UserDefaults::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Quillora/defaults.json");
}

QString UserDefaults::filePath() const
{
    return m_filePath;
}

UserDefaults::FileState UserDefaults::fileState() const
{
    struct stat info {};
    if (::stat(QFile::encodeName(m_filePath).constData(), &info) != 0)
        return {};
    return {std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec, std::int64_t(info.st_size),
            std::uint64_t(info.st_ino)};
}

void UserDefaults::refreshFromFile() const
{
    // A stat per read; the file is parsed again only when another writer changed it.
    const FileState state = fileState();
    if (state == m_seen)
        return;
    m_seen = state;
    if (state.size < 0 || state.size > maxFileSize)
        return;
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QSettings::SettingsMap values;
    if (!parseJson(file.readAll(), values, nullptr))
        return; // half-written or broken: keep what we have; the next save sets it aside
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it.value().isValid())
            values.insert(it.key(), it.value());
        else
            values.remove(it.key());
    }
    m_values = std::move(values);
}

QVariant UserDefaults::value(const QString& key) const
{
    refreshFromFile();
    return m_values.value(key);
}

bool UserDefaults::contains(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    return value(key).isValid();
}

template <typename T>
std::optional<T> UserDefaults::typedValue(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const QVariant stored = value(key);
    if (stored.metaType() != QMetaType::fromType<T>())
        return std::nullopt;
    return stored.value<T>();
}

std::optional<QString> UserDefaults::string(const QString& key) const { return typedValue<QString>(key); }
std::optional<bool> UserDefaults::boolean(const QString& key) const { return typedValue<bool>(key); }
std::optional<double> UserDefaults::number(const QString& key) const { return typedValue<double>(key); }
std::optional<QStringList> UserDefaults::stringList(const QString& key) const { return typedValue<QStringList>(key); }
std::optional<QByteArray> UserDefaults::data(const QString& key) const { return typedValue<QByteArray>(key); }

void UserDefaults::write(const QString& key, const QVariant& value)
{
    {
        std::lock_guard lock(m_mutex);
        if (value.isValid())
            m_values.insert(key, value);
        else
            m_values.remove(key);
        m_pending.insert(key, value);
        ++m_requested;
    }
    m_wake.notify_one();
}

void UserDefaults::flush()
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_requested;
    m_savedChanged.wait(lock, [&] { return m_saved >= target; });
}

void UserDefaults::saveLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || !m_pending.isEmpty(); });
        if (m_pending.isEmpty())
            return; // stopping, with everything saved
        const QVariantMap batch = std::exchange(m_pending, {});
        const std::uint64_t upTo = m_requested;
        lock.unlock();
        for (auto it = batch.begin(); it != batch.end(); ++it) {
            if (it.value().isValid())
                m_settings->setValue(it.key(), it.value());
            else
                m_settings->remove(it.key());
        }
        m_settings->sync();
        const bool failed = m_settings->status() != QSettings::NoError;
        const FileState state = fileState();
        lock.lock();
        // Our own save is no news to the readers; other writers' changes it merged in are.
        if (m_pending.isEmpty()) {
            QVariantMap merged;
            for (const QString& key : m_settings->allKeys())
                merged.insert(key, m_settings->value(key));
            m_values = std::move(merged);
        }
        m_seen = state;
        m_saved = upTo;
        m_savedChanged.notify_all();
        if (failed)
            SystemLog::write(SystemLog::Type::Error, QStringLiteral("UserDefaults"),
                             QStringLiteral("Could not write the defaults file %1.").arg(m_filePath));
    }
}

void UserDefaults::setString(const QString& key, const QString& value) { write(key, value); }
void UserDefaults::setBoolean(const QString& key, bool value) { write(key, value); }
void UserDefaults::setNumber(const QString& key, double value) { write(key, value); }
void UserDefaults::setStringList(const QString& key, const QStringList& value) { write(key, value); }
void UserDefaults::setData(const QString& key, const QByteArray& value) { write(key, value); }
void UserDefaults::remove(const QString& key) { write(key, QVariant()); }

} // namespace platform
