// Arbitrary bytes as the defaults file. Loading never crashes; every stored key reads back
// only as its own type; a write keeps every other value as it was.
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <syslog.h>

using platform::UserDefaults;

namespace {

struct Reading {
    std::optional<QString> string;
    std::optional<bool> boolean;
    std::optional<double> number;
    std::optional<QStringList> stringList;
    std::optional<QByteArray> data;
    bool contains = false;

    bool operator==(const Reading& other) const
    {
        // NaN is never stored (JSON has none), so plain comparison is exact.
        return string == other.string && boolean == other.boolean && number == other.number
            && stringList == other.stringList && data == other.data && contains == other.contains;
    }
};

Reading read(const UserDefaults& defaults, const QString& key)
{
    return {defaults.string(key), defaults.boolean(key), defaults.number(key), defaults.stringList(key),
            defaults.data(key), defaults.contains(key)};
}

int typesRead(const Reading& r)
{
    return int(r.string.has_value()) + int(r.boolean.has_value()) + int(r.number.has_value())
        + int(r.stringList.has_value()) + int(r.data.has_value());
}

void check(bool condition, const char* what, const QString& key = {})
{
    if (!condition) {
        std::fprintf(stderr, "%s: key \"%s\"\n", what, key.toUtf8().constData());
        std::abort();
    }
}

QTemporaryDir* scratch;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    scratch = new QTemporaryDir;
    setlogmask(LOG_MASK(LOG_EMERG)); // unreadable files are expected here; keep the system log quiet
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QDir dir(scratch->path());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qsizetype(size));
    }

    const QJsonObject stored = QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size))).object();
    const QString newKey = QStringLiteral("fuzz.written");
    std::vector<std::pair<QString, Reading>> before;
    {
        UserDefaults defaults(path);
        for (auto it = stored.begin(); it != stored.end(); ++it) {
            const Reading reading = read(defaults, it.key());
            check(typesRead(reading) <= 1, "a value reads as more than one type", it.key());
            if (it.key() != newKey)
                before.emplace_back(it.key(), reading);
        }
        defaults.setString(newKey, QStringLiteral("x"));
    }
    UserDefaults reloaded(path);
    check(reloaded.string(newKey) == QStringLiteral("x"), "the written value is lost", newKey);
    for (const auto& [key, reading] : before)
        check(read(reloaded, key) == reading, "a write changed another value", key);
    return 0;
}
