#pragma once

#include <QImage>
#include <QNetworkReply>
#include <QString>

#include <variant>

namespace remoteimage {

// Why an image could not be loaded.
struct RemoteImageError {
    enum class Code {
        // Not an HTTP(S) URL, no HTTP response, or a status outside 200...299.
        BadServerResponse,
        // The body is empty, not an image, or over a size bound.
        CannotDecodeContentData,
        // The transfer itself failed (refused, timed out, cut off); `networkError` says how.
        Network,
    };

    Code code = Code::BadServerResponse;
    QNetworkReply::NetworkError networkError = QNetworkReply::NoError;
    QString message;

    friend bool operator==(const RemoteImageError&, const RemoteImageError&) = default;
};

// The outcome of one image request: a decoded image or an error.
class RemoteImageResult {
public:
    RemoteImageResult(QImage image) : m_value(std::move(image)) {}
    RemoteImageResult(RemoteImageError error) : m_value(std::move(error)) {}

    bool isSuccess() const { return std::holds_alternative<QImage>(m_value); }
    // The image; a null image for a failure.
    QImage image() const { return isSuccess() ? std::get<QImage>(m_value) : QImage(); }
    // The error; only meaningful for a failure.
    RemoteImageError error() const
    {
        return isSuccess() ? RemoteImageError{} : std::get<RemoteImageError>(m_value);
    }

private:
    std::variant<QImage, RemoteImageError> m_value;
};

} // namespace remoteimage
