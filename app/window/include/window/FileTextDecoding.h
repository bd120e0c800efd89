#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>
#include <variant>

namespace quillora {

// The one way decoding a file's bytes can fail: they are not UTF-8. The payload is the file's
// extension, lower-cased, or "unknown" when it has none.
struct FileTextLoadError {
    QString extension;

    QString description() const;
    friend bool operator==(const FileTextLoadError&, const FileTextLoadError&) = default;
};

// The bytes as UTF-8 text with every CR LF turned into LF (a lone CR stays). Bytes that are not
// well-formed UTF-8 fail; nothing is replaced or guessed. Pure; any thread.
std::variant<QString, FileTextLoadError> decodeFileText(const QByteArray& data, const QUrl& fileURL);

// What the viewer says for a failed load: the decoding error's description, or "Unable to
// preview this file." for every other failure (absent here).
QString loadErrorMessage(const std::optional<FileTextLoadError>& decodingError);

} // namespace quillora
