#include "window/FileTextDecoding.h"

#include "core/FileTreeNodeModel.h"

#include <QStringDecoder>

namespace quillora {

QString FileTextLoadError::description() const
{
    return QStringLiteral("Could not display file format '") + extension + QStringLiteral("'.");
}

std::variant<QString, FileTextLoadError> decodeFileText(const QByteArray& data, const QUrl& fileURL)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError()) {
        const QString extension = lowerCasedPathExtension(fileURL.fileName());
        return FileTextLoadError{extension.isEmpty() ? QStringLiteral("unknown") : extension};
    }
    if (text.contains(u'\r'))
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QString loadErrorMessage(const std::optional<FileTextLoadError>& decodingError)
{
    return decodingError ? decodingError->description() : QStringLiteral("Unable to preview this file.");
}

} // namespace quillora
