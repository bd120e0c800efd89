#include "platform/Sha256.h"

#include <QByteArray>

#include <openssl/evp.h>

namespace platform {

QString sha256Hex(QByteArrayView bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), size_t(bytes.size()), digest, &length, EVP_sha256(), nullptr) != 1)
        qFatal("SHA-256 is not available from libcrypto");
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
}

} // namespace platform
