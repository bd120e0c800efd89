#include "feedback/board/FeedbackListView.h"

#include "feedback/WishModel.h"
#include "feedback/board/WishlistContainer.h"

#include <QVBoxLayout>

namespace plendra {

FeedbackListView::FeedbackListView(QWidget* parent)
    : QWidget(parent)
    , m_container(new WishlistContainer(*new WishModel(this)))
{
    setObjectName(QStringLiteral("feedbackBoard"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_container);
}

} // namespace plendra
