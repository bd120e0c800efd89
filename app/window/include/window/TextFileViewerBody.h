#pragma once

#include "window/FileViewerModel.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <QTimer>
#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QStackedLayout;
class QTextDocument;

namespace quillora {

class MessagePage;
struct TextPlaces;

// Find in a text view: a bar under it with a search field; Return finds the next match,
// Shift+Return the previous one, Escape closes the bar.
class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(QPlainTextEdit* target, QWidget* parent = nullptr);
    void open();
    void close();
    QLineEdit* field() const { return m_field; }
    // Finds from the current selection; false when nothing matches.
    bool findNext(bool backwards = false);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* m_target;
    QLineEdit* m_field;
    QLabel* m_status;
};

// The body of every file that is not Markdown: the whole text, read-only and selectable, in
// the 13-pixel monospaced font with 24 pixels around it, lines wrapped at the view's width; a
// Swift file carries its highlighted colours. Ctrl+F opens the find bar. A load error shows
// its message instead.
//
// Large texts never hold up the window: the text goes into its document in slices of a few
// milliseconds each, one slice per turn of the event loop, pieces sized by the work of laying
// them out (an emoji costs far more than a letter). A line too long to lay out at once goes in as
// several blocks, and a cluster too long to be one picture as its pieces
// (richtext::partedForLayout); what the view copies is still the text's own. A new file's document is shown
// after its first slice; a new version of the file already shown is filled aside and then
// swapped in whole, keeping the scroll position and the selection.
class TextFileViewerBody : public QWidget {
    Q_OBJECT
public:
    // The time one slice may take.
    static constexpr int sliceMilliseconds = 12;

    explicit TextFileViewerBody(QWidget* parent = nullptr);
    ~TextFileViewerBody() override;

    void showText(const QString& fileID, std::shared_ptr<const FileViewerContent> content, bool rendersAsSwiftSource);
    void showError(const QString& fileID, const QString& message);

    QPlainTextEdit* textView() const { return m_edit; }
    FindBar* findBar() const { return m_findBar; }
    QString errorMessage() const;
    bool isShowingError() const;
    // Text is still going into the document.
    bool isFilling() const { return m_filling != nullptr; }
    // The content drawn (or being filled in).
    const std::shared_ptr<const FileViewerContent>& content() const { return m_content; }

signals:
    // The whole text is in the document that is shown.
    void filled();

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Fill;
    void fillSlice();
    // Inserts the text [start, end) at the end of the document being filled.
    void insertPiece(Fill& fill, qsizetype start, qsizetype end);
    void attach(QTextDocument* document, std::shared_ptr<const TextPlaces> places, bool keepPosition);
    void applyTextPalette();

    QStackedLayout* m_pages;
    QPlainTextEdit* m_edit;
    FindBar* m_findBar;
    MessagePage* m_error;
    QString m_fileID;
    std::shared_ptr<const FileViewerContent> m_content;
    std::unique_ptr<Fill> m_filling;
    QTimer m_fillTimer;
};

} // namespace quillora
