#pragma once

#include <QObject>
#include <QString>

namespace plendra {

// The comment being written on a request's detail, and whether it is being sent.
class CommentModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const QString& newCommentValue() const { return m_newCommentValue; }
    void setNewCommentValue(const QString& value);
    bool isLoading() const { return m_isLoading; }
    void setIsLoading(bool loading);

signals:
    void newCommentValueChanged();
    void isLoadingChanged();

private:
    QString m_newCommentValue;
    bool m_isLoading = false;
};

} // namespace plendra
