#include "window/FileTextDecoding.h"

#include <gtest/gtest.h>

using namespace quillora;

namespace {

TEST(FileTextDecoding, Utf8WithOnlyCrLfPairsTurnedIntoLf)
{
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"", QString()},
        {"a\r\nb\nc\rd", QStringLiteral("a\nb\nc\rd")},
        {"x\r\r\ny", QStringLiteral("x\r\ny")},
        {"\r\n\r\n", QStringLiteral("\n\n")},
        {"caf\xc3\xa9 \xf0\x9f\x98\x80", QStringLiteral("café 😀")},
        {"PK\x03\x04 binary but ASCII", QStringLiteral("PK\x03\x04 binary but ASCII")},
    };
    for (const auto& c : cases) {
        const auto decoded = decodeFileText(c.bytes, QUrl::fromLocalFile(QStringLiteral("/p/file.txt")));
        ASSERT_TRUE(std::holds_alternative<QString>(decoded)) << c.bytes.toStdString();
        EXPECT_EQ(std::get<QString>(decoded), c.text) << c.bytes.toStdString();
    }
}

TEST(FileTextDecoding, BytesThatAreNotUtf8NameTheLowerCasedExtension)
{
    const struct {
        const char* path;
        QByteArray bytes;
        const char* extension;
    } cases[] = {
        {"/p/LATIN1.TXT", "caf\xe9", "txt"},
        {"/p/Makefile", "\xff\xfe", "unknown"},
        {"/p/archive.tar.gz", "\x1f\x8b\x08\x00\xff", "gz"},
        {"/p/overlong.md", "\xc0\xaf", "md"},
        {"/p/surrogate.swift", "\xed\xa0\x80", "swift"},
        {"/p/cut.txt", "ok \xe2\x82", "txt"},
    };
    for (const auto& c : cases) {
        const auto decoded = decodeFileText(c.bytes, QUrl::fromLocalFile(QString::fromLatin1(c.path)));
        ASSERT_TRUE(std::holds_alternative<FileTextLoadError>(decoded)) << c.path;
        const auto& error = std::get<FileTextLoadError>(decoded);
        EXPECT_EQ(error.extension, QString::fromLatin1(c.extension)) << c.path;
        EXPECT_EQ(loadErrorMessage(error),
                  QStringLiteral("Could not display file format '") + QString::fromLatin1(c.extension) + QStringLiteral("'."));
    }
    EXPECT_EQ(loadErrorMessage(std::nullopt), QStringLiteral("Unable to preview this file."));
}

} // namespace
