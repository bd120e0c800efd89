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

bool readJson(QIODevice& device, QSettings::SettingsMap& map)
{
    if (device.size() > maxFileSize) {
        setAsideCorruptFile(device, QStringLiteral("too large"));
        return true;
    }
    const QByteArray bytes = device.readAll();
    if (bytes.trimmed().isEmpty())
        return true;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        setAsideCorruptFile(device, error.error != QJsonParseError::NoError ? error.errorString()
                                                                            : QStringLiteral("not an object"));
        return true;
    }
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it)
        map.insert(it.key(), fromJson(it.value()));
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

// Every write is synced at once under the store's lock; QSettings' own deferred sync would run
// later on the owning thread without that lock, racing writers on other threads.
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
    : m_settings(std::make_unique<ImmediateSettings>(filePath, jsonFormat()))
{
    m_settings->setFallbacksEnabled(false);
}

UserDefaults::~UserDefaults() = default;

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
    return m_settings->fileName();
}

bool UserDefaults::contains(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    m_settings->sync();
    return m_settings->contains(key);
}

template <typename T>
std::optional<T> UserDefaults::typedValue(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    m_settings->sync();
    const QVariant value = m_settings->value(key);
    if (value.metaType() != QMetaType::fromType<T>())
        return std::nullopt;
    return value.value<T>();
}

std::optional<QString> UserDefaults::string(const QString& key) const { return typedValue<QString>(key); }
std::optional<bool> UserDefaults::boolean(const QString& key) const { return typedValue<bool>(key); }
std::optional<double> UserDefaults::number(const QString& key) const { return typedValue<double>(key); }
std::optional<QStringList> UserDefaults::stringList(const QString& key) const { return typedValue<QStringList>(key); }
std::optional<QByteArray> UserDefaults::data(const QString& key) const { return typedValue<QByteArray>(key); }

void UserDefaults::write(const QString& key, const QVariant& value)
{
    std::lock_guard lock(m_mutex);
    if (value.isValid())
        m_settings->setValue(key, value);
    else
        m_settings->remove(key);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        SystemLog::write(SystemLog::Type::Error, QStringLiteral("UserDefaults"),
                         QStringLiteral("Could not write the defaults file %1.").arg(m_settings->fileName()));
}

void UserDefaults::setString(const QString& key, const QString& value) { write(key, value); }
void UserDefaults::setBoolean(const QString& key, bool value) { write(key, value); }
void UserDefaults::setNumber(const QString& key, double value) { write(key, value); }
void UserDefaults::setStringList(const QString& key, const QStringList& value) { write(key, value); }
void UserDefaults::setData(const QString& key, const QByteArray& value) { write(key, value); }
void UserDefaults::remove(const QString& key) { write(key, QVariant()); }

} // namespace platform
