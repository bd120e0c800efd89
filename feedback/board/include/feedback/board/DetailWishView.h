#pragma once

#include "feedback/CommentModel.h"
#include "feedback/Records.h"

#include <QList>
#include <QWidget>

#include <functional>

class QLabel;

namespace plendra {

class BoardSheet;
class CommentFieldView;
class CommentListView;
class WishView;

// One request opened from the list: the request again as a card with its own voting and, when
// the configuration shows comments, the field to write one and the comments. An accepted comment
// goes on top of the list, which lasts as long as the page. A comment that fails keeps its text
// and shows its reason under the field.
class DetailWishView : public QWidget {
    Q_OBJECT
public:
    DetailWishView(const WishResponse& wish, std::function<void()> voteActionCompletion,
                   std::function<void()> closeAction, QWidget* parent = nullptr);

    // Opens the page in a sheet over `parent`; `dismissed` runs once it has closed, however.
    static BoardSheet* present(QWidget* parent, const WishResponse& wish, std::function<void()> voteActionCompletion,
                               std::function<void()> dismissed);

    const WishResponse& wish() const { return m_wish; }
    const QList<CommentResponse>& commentList() const { return m_commentList; }
    CommentModel& commentModel() { return m_commentModel; }
    WishView* card() const { return m_card; }
    // Absent while comments are hidden.
    CommentFieldView* commentField() const { return m_field; }
    CommentListView* comments() const { return m_comments; }
    QLabel* commentFailure() const { return m_failure; }

    // Sends the field's text as a comment.
    void submitComment();

private:
    WishResponse m_wish;
    CommentModel m_commentModel;
    QList<CommentResponse> m_commentList;
    WishView* m_card;
    CommentFieldView* m_field = nullptr;
    CommentListView* m_comments = nullptr;
    QLabel* m_failure = nullptr;
};

} // namespace plendra
