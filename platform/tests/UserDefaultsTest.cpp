#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <thread>
#include <vector>

using platform::UserDefaults;

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("defaults.json")); }

    void writeFile(const QByteArray& bytes)
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
};

TEST_F(UserDefaultsTest, EachTypeRoundTripsThroughTheFile)
{
    const QString key = QStringLiteral("quillora.settings.showTerminal");
    {
        UserDefaults defaults(path());
        defaults.setBoolean(key, false);
        defaults.setString(QStringLiteral("plendra-user-uuid"), QStringLiteral("abc"));
        defaults.setNumber(QStringLiteral("quillora.settings.detailSplitFraction"), 0.625);
        defaults.setStringList(QStringLiteral("list"), {QStringLiteral("/a"), QStringLiteral("/b\nc")});
        defaults.setData(QStringLiteral("bytes"), QByteArray("\x00\xff\x10", 3));
    }
    UserDefaults reopened(path());
    EXPECT_EQ(reopened.boolean(key), false);
    EXPECT_EQ(reopened.string(QStringLiteral("plendra-user-uuid")), QStringLiteral("abc"));
    EXPECT_EQ(reopened.number(QStringLiteral("quillora.settings.detailSplitFraction")), 0.625);
    EXPECT_EQ(reopened.stringList(QStringLiteral("list")), (QStringList{QStringLiteral("/a"), QStringLiteral("/b\nc")}));
    EXPECT_EQ(reopened.data(QStringLiteral("bytes")), QByteArray("\x00\xff\x10", 3));
}

TEST_F(UserDefaultsTest, ValueOfAnotherTypeReadsAsAbsentButExists)
{
    writeFile(R"({"b": "true", "s": 1, "n": "1.5", "l": ["a", 2], "d": {"data": "not base64!"}, "o": {"x": 1}})");
    UserDefaults defaults(path());
    EXPECT_FALSE(defaults.boolean(QStringLiteral("b")));
    EXPECT_FALSE(defaults.string(QStringLiteral("s")));
    EXPECT_FALSE(defaults.number(QStringLiteral("n")));
    EXPECT_FALSE(defaults.stringList(QStringLiteral("l")));
    EXPECT_FALSE(defaults.data(QStringLiteral("d")));
    EXPECT_FALSE(defaults.string(QStringLiteral("o")));
    EXPECT_TRUE(defaults.contains(QStringLiteral("b")));
    EXPECT_FALSE(defaults.contains(QStringLiteral("missing")));
    EXPECT_EQ(defaults.string(QStringLiteral("b")), QStringLiteral("true"));
}

TEST_F(UserDefaultsTest, ValuesOfUnknownShapeSurviveAWrite)
{
    writeFile(R"({"l": ["a", 2], "o": {"x": 1}})");
    {
        UserDefaults defaults(path());
        defaults.setString(QStringLiteral("k"), QStringLiteral("v"));
    }
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("\"x\": 1")) << text.constData();
    EXPECT_TRUE(text.contains("2")) << text.constData();
}

TEST_F(UserDefaultsTest, CorruptFileIsSetAsideAndTheStoreStartsEmpty)
{
    for (const QByteArray& garbage : {QByteArray("{\"a\": tru"), QByteArray("[1, 2]"), QByteArray("\xff\xfe\x00garbage", 10)}) {
        SCOPED_TRACE(garbage.constData());
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        writeFile(garbage);
        UserDefaults defaults(path());
        EXPECT_FALSE(defaults.contains(QStringLiteral("a")));
        defaults.setBoolean(QStringLiteral("a"), true);
        defaults.flush();
        EXPECT_EQ(UserDefaults(path()).boolean(QStringLiteral("a")), true);
        const QStringList copies = QDir(dir.path()).entryList({QStringLiteral("defaults.json.corrupt-*")});
        ASSERT_EQ(copies.size(), 1);
        QFile copy(dir.filePath(copies.first()));
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), garbage);
    }
}

TEST_F(UserDefaultsTest, RemoveAndMissingFolder)
{
    UserDefaults defaults(dir.filePath(QStringLiteral("not/yet/there.json")));
    defaults.setString(QStringLiteral("k"), QStringLiteral("v"));
    defaults.flush();
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("not/yet/there.json"))));
    defaults.remove(QStringLiteral("k"));
    EXPECT_FALSE(defaults.contains(QStringLiteral("k")));
    defaults.flush();
    EXPECT_FALSE(UserDefaults(defaults.filePath()).contains(QStringLiteral("k")));
}

TEST_F(UserDefaultsTest, TwoStoresOnOneFileMergeTheirWrites)
{
    UserDefaults first(path());
    UserDefaults second(path());
    first.setString(QStringLiteral("a"), QStringLiteral("1"));
    second.setString(QStringLiteral("b"), QStringLiteral("2"));
    first.flush();
    second.flush();
    UserDefaults reader(path());
    EXPECT_EQ(reader.string(QStringLiteral("a")), QStringLiteral("1"));
    EXPECT_EQ(reader.string(QStringLiteral("b")), QStringLiteral("2"));
    EXPECT_EQ(first.string(QStringLiteral("b")), QStringLiteral("2"));
}

TEST_F(UserDefaultsTest, WritesAreSeenAtOnceAndABrokenFileFromElsewhereLosesNothing)
{
    UserDefaults defaults(path());
    defaults.setString(QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(defaults.string(QStringLiteral("k")), QStringLiteral("v")) << "before it is saved";
    defaults.flush();
    writeFile(R"({"k": "v", "other": tr)"); // another writer, caught half-way
    EXPECT_EQ(defaults.string(QStringLiteral("k")), QStringLiteral("v"));
    writeFile(R"({"k": "v", "other": true})");
    EXPECT_EQ(defaults.boolean(QStringLiteral("other")), true);
}

TEST_F(UserDefaultsTest, WritesFromManyThreadsAllArrive)
{
    UserDefaults defaults(path());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&defaults, t] {
            for (int i = 0; i < 25; ++i)
                defaults.setNumber(QStringLiteral("k%1-%2").arg(t).arg(i), i);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    defaults.flush();
    UserDefaults reader(path());
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(reader.number(QStringLiteral("k%1-%2").arg(t).arg(i)), double(i));
    }
}

TEST_F(UserDefaultsTest, StandardStoreCanBeReplaced)
{
    auto replacement = std::make_shared<UserDefaults>(path());
    const auto previous = UserDefaults::standard();
    UserDefaults::setStandard(replacement);
    EXPECT_EQ(UserDefaults::standard(), replacement);
    UserDefaults::setStandard(previous);
    EXPECT_TRUE(UserDefaults::defaultFilePath().endsWith(QStringLiteral("/Quillora/defaults.json")));
}

} // namespace
