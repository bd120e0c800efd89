#pragma once

#include "mdview/View.h"

#include "richtext/AttributedText.h"

#include <QImage>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace mdview {

// Makes the view of a block image for its URL (absent when the source makes no URL).
class ImageProvider {
public:
    virtual ~ImageProvider() = default;
    virtual View makeImage(const std::optional<QUrl>& url) const = 0;

    // The network provider (DefaultImageProvider) and the asset provider with default naming.
    static std::shared_ptr<const ImageProvider> defaultProvider();
    static std::shared_ptr<const ImageProvider> asset();
};

// A provider held by value, whatever its type.
class AnyImageProvider final : public ImageProvider {
public:
    explicit AnyImageProvider(std::function<View(const std::optional<QUrl>&)> makeImage)
        : m_makeImage(std::move(makeImage)) {}
    template <typename Provider,
              typename = std::enable_if_t<std::is_base_of_v<ImageProvider, Provider>
                                          && !std::is_same_v<Provider, AnyImageProvider>>>
    explicit AnyImageProvider(Provider provider)
        : m_makeImage([provider = std::move(provider)](const std::optional<QUrl>& url) {
              return provider.makeImage(url);
          })
    {
    }
    View makeImage(const std::optional<QUrl>& url) const override { return m_makeImage(url); }

private:
    std::function<View(const std::optional<QUrl>&)> m_makeImage;
};

// Loads the image of an image inside running text. `done` runs once, on the thread that asked,
// with the image or with an error message.
class InlineImageProvider {
public:
    using Done = std::function<void(const std::optional<QImage>& image, const QString& error)>;
    virtual ~InlineImageProvider() = default;
    virtual void image(const QUrl& url, const QString& label, Done done) const = 0;

    // The network provider (DefaultInlineImageProvider) and the asset provider with default naming.
    static std::shared_ptr<const InlineImageProvider> defaultProvider();
    static std::shared_ptr<const InlineImageProvider> asset();
};

// Block images loaded from the network through the environment's image loader, at scale 1: the
// loaded image fitted to the offered width; nothing, taking no space, until it has loaded or
// when loading failed.
class DefaultImageProvider final : public ImageProvider {
public:
    DefaultImageProvider() = default;
    [[deprecated("The provider loads through the environment's image loader")]] explicit DefaultImageProvider(
        QNetworkAccessManager* /*urlSession*/)
    {
    }
    View makeImage(const std::optional<QUrl>& url) const override;
};

// Inline images loaded through the shared image loader; its errors are passed on.
class DefaultInlineImageProvider final : public InlineImageProvider {
public:
    DefaultInlineImageProvider() = default;
    [[deprecated("The provider loads through the shared image loader")]] explicit DefaultInlineImageProvider(
        QNetworkAccessManager* /*urlSession*/)
    {
    }
    void image(const QUrl& url, const QString& label, Done done) const override;
};

// Images looked up by name in an image folder. The name defaults to the URL's last path
// component; the folder defaults to the application's images (":/images").
struct AssetImageNaming {
    std::function<QString(const QUrl&)> name = [](const QUrl& url) { return url.fileName(); };
    std::optional<QString> bundle; // a folder; absent: the application's images

    // The file of a name inside the folder; absent for names that would leave it ("", ".",
    // "..", anything with a slash).
    std::optional<QString> pathFor(const QUrl& url) const;
};

class AssetImageProvider final : public ImageProvider {
public:
    explicit AssetImageProvider(AssetImageNaming naming = {}) : m_naming(std::move(naming)) {}
    View makeImage(const std::optional<QUrl>& url) const override;

private:
    AssetImageNaming m_naming;
};

class AssetInlineImageProvider final : public InlineImageProvider {
public:
    explicit AssetInlineImageProvider(AssetImageNaming naming = {}) : m_naming(std::move(naming)) {}
    // Never fails: a missing image comes back as a null image.
    void image(const QUrl& url, const QString& label, Done done) const override;

private:
    AssetImageNaming m_naming;
};

// Turns a code block's text and language into display text.
class CodeSyntaxHighlighter {
public:
    virtual ~CodeSyntaxHighlighter() = default;
    virtual richtext::AttributedText highlightCode(const QString& code,
                                                   const std::optional<QString>& language) const = 0;

    // Shows the code as it is (PlainTextCodeSyntaxHighlighter).
    static std::shared_ptr<const CodeSyntaxHighlighter> plainText();
};

class PlainTextCodeSyntaxHighlighter final : public CodeSyntaxHighlighter {
public:
    richtext::AttributedText highlightCode(const QString& code, const std::optional<QString>&) const override
    {
        return richtext::AttributedText(code);
    }
};

} // namespace mdview
