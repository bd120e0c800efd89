#include "feedback/board/DetailWishView.h"

#include "feedback/Api.h"
#include "feedback/LogLine.h"
#include "feedback/Plendra.h"
#include "feedback/board/BoardButtons.h"
#include "feedback/board/BoardStyle.h"
#include "feedback/board/Comments.h"
#include "feedback/board/WishCard.h"

#include <QLabel>
#include <QVBoxLayout>

namespace plendra {

DetailWishView::DetailWishView(const WishResponse& wish, std::function<void()> voteActionCompletion,
                               std::function<void()> closeAction, QWidget* parent)
    : QWidget(parent)
    , m_wish(wish)
    , m_commentList(wish.commentList)
    , m_card(new WishView(wish, WishViewKind::detail, std::move(voteActionCompletion)))
{
    auto* close = new CloseButton;
    connect(close, &QAbstractButton::clicked, this, [closeAction = std::move(closeAction)] {
        if (closeAction)
            closeAction();
    });
    auto* content = new CentredPage(700, QMargins(16, 0, 16, 16));
    QVBoxLayout* column = content->column();
    column->setSpacing(0);
    column->addSpacing(15);
    column->addWidget(m_card);
    column->addSpacing(15);
    if (Plendra::config().commentSection == Configuration::Display::show) {
        column->addSpacing(15);
        column->addWidget(new SeparatorView);
        column->addSpacing(15);
        m_field = new CommentFieldView(m_commentModel, [this] { submitComment(); });
        m_field->setContentsMargins(5, 0, 5, 0);
        column->addWidget(m_field);
        m_failure = plainLabel({}, fonts::footnote());
        m_failure->setObjectName(QStringLiteral("commentFailure"));
        m_failure->setWordWrap(true);
        m_failure->setContentsMargins(10, 6, 10, 0);
        setForeground(m_failure, QColor(215, 58, 50));
        m_failure->hide();
        column->addWidget(m_failure);
        column->addSpacing(20);
        m_comments = new CommentListView(m_commentList);
        column->addWidget(m_comments);
    }
    column->addStretch();

    layOutSheetPage(this, close, content);
}

BoardSheet* DetailWishView::present(QWidget* parent, const WishResponse& wish,
                                    std::function<void()> voteActionCompletion, std::function<void()> dismissed)
{
    auto* sheet = new BoardSheet(parent, QSize(500, 450), 600);
    sheet->setObjectName(QStringLiteral("detailSheet"));
    sheet->setWindowTitle(wish.title);
    sheet->setContent(new DetailWishView(wish, std::move(voteActionCompletion), [sheet] { sheet->dismiss(); }));
    QObject::connect(sheet, &QDialog::finished, parent, [dismissed = std::move(dismissed)] {
        if (dismissed)
            dismissed();
    });
    sheet->open();
    return sheet;
}

void DetailWishView::submitComment()
{
    if (m_commentModel.isLoading())
        return;
    const CreateCommentRequest body{m_wish.id, m_commentModel.newCommentValue()};
    m_commentModel.setIsLoading(true);
    if (m_failure)
        m_failure->hide();
    Api::shared().createComment(body, this, [this](const ApiResult<CommentResponse>& result) {
        m_commentModel.setIsLoading(false);
        if (result.isSuccess()) {
            m_commentList.prepend(result.value());
            if (m_comments)
                m_comments->prepend(result.value());
            m_commentModel.setNewCommentValue({});
            return;
        }
        printLine(QStringLiteral("❌ ") + errorDescription(result.error()));
        if (m_failure) {
            m_failure->setText(QStringLiteral("Could not send the comment. ") + description(result.error().reason));
            m_failure->show();
        }
    });
}

} // namespace plendra
