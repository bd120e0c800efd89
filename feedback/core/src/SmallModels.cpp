#include "feedback/AlertModel.h"
#include "feedback/CommentModel.h"

namespace plendra {

void AlertModel::setShowAlert(bool show)
{
    m_showAlert = show;
    emit showAlertChanged();
}

void AlertModel::setAlertReason(const AlertReason& reason)
{
    m_alertReason = reason;
    emit alertReasonChanged();
}

void CommentModel::setNewCommentValue(const QString& value)
{
    m_newCommentValue = value;
    emit newCommentValueChanged();
}

void CommentModel::setIsLoading(bool loading)
{
    m_isLoading = loading;
    emit isLoadingChanged();
}

} // namespace plendra
