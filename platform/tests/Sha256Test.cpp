#include "platform/Sha256.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>

namespace {

TEST(Sha256, KnownDigestsAndAgreementWithQt)
{
    EXPECT_EQ(platform::sha256Hex(""), QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    EXPECT_EQ(platform::sha256Hex("abc"), QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    QByteArray large(3 << 20, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 131 % 251);
    EXPECT_EQ(platform::sha256Hex(large),
              QString::fromLatin1(QCryptographicHash::hash(large, QCryptographicHash::Sha256).toHex()));
}

} // namespace
