#pragma once

#include <QObject>
#include <QString>

namespace plendra {

// Whether one of the board's alerts is up, and which.
class AlertModel : public QObject {
    Q_OBJECT
public:
    // Why an alert is up; the two error reasons carry the failure's text.
    class AlertReason {
    public:
        enum class Kind {
            voteReturnedError,
            createReturnedError,
            alreadyVoted,
            alreadyImplemented,
            successfullyCreated,
            emailRequired,
            emailFormatWrong,
            none,
        };

        AlertReason() = default;
        static AlertReason voteReturnedError(const QString& text) { return {Kind::voteReturnedError, text}; }
        static AlertReason createReturnedError(const QString& text) { return {Kind::createReturnedError, text}; }
        static AlertReason alreadyVoted() { return {Kind::alreadyVoted, {}}; }
        static AlertReason alreadyImplemented() { return {Kind::alreadyImplemented, {}}; }
        static AlertReason successfullyCreated() { return {Kind::successfullyCreated, {}}; }
        static AlertReason emailRequired() { return {Kind::emailRequired, {}}; }
        static AlertReason emailFormatWrong() { return {Kind::emailFormatWrong, {}}; }
        static AlertReason none() { return {}; }

        Kind kind() const { return m_kind; }
        const QString& text() const { return m_text; }

        friend bool operator==(const AlertReason&, const AlertReason&) = default;

    private:
        AlertReason(Kind kind, QString text) : m_kind(kind), m_text(std::move(text)) {}

        Kind m_kind = Kind::none;
        QString m_text;
    };

    using QObject::QObject;

    bool showAlert() const { return m_showAlert; }
    void setShowAlert(bool show);
    const AlertReason& alertReason() const { return m_alertReason; }
    void setAlertReason(const AlertReason& reason);

signals:
    void showAlertChanged();
    void alertReasonChanged();

private:
    bool m_showAlert = false;
    AlertReason m_alertReason;
};

} // namespace plendra
