#pragma once

#include "feedback/AlertModel.h"
#include "feedback/Records.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace plendra {

class BoardSheet;
class PLButton;

// The form for a new request: a title of at most 50 and a description of at most 500
// user-perceived characters (longer input is cut to the limit), and an e-mail address as the
// configuration asks. Save checks the address, sends the request as pending and tells the
// outcome in an alert; a failure keeps everything typed. Closing with something typed asks first.
class CreateWishView : public QWidget {
    Q_OBJECT
public:
    static constexpr qsizetype titleLimit = 50;
    static constexpr qsizetype descriptionLimit = 500;

    CreateWishView(std::function<void()> createActionCompletion, std::function<void()> closeAction,
                   QWidget* parent = nullptr);

    // Opens the form in a sheet over `parent`; `createActionCompletion` runs after a creation.
    static BoardSheet* present(QWidget* parent, std::function<void()> createActionCompletion);

    QLineEdit* titleField() const { return m_title; }
    QPlainTextEdit* descriptionField() const { return m_description; }
    // Absent when the configuration hides it.
    QLineEdit* emailField() const { return m_email; }
    QLabel* titleCounter() const { return m_titleCounter; }
    QLabel* descriptionCounter() const { return m_descriptionCounter; }
    PLButton* saveButton() const { return m_save; }
    AlertModel& alertModel() { return m_alertModel; }
    // The result alert or the discard confirmation while one is open.
    QMessageBox* alert() const { return m_alert; }

    // The save button's action.
    void save();
    // The close button's rule: closes at once when nothing is typed, else asks.
    void requestClose();

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyLimits();
    void finish(const std::optional<ApiError>& failure);
    void showResultAlert();
    void restyle();

    std::function<void()> m_createActionCompletion;
    std::function<void()> m_closeAction;
    AlertModel m_alertModel;
    QLineEdit* m_title;
    QPlainTextEdit* m_description;
    QLineEdit* m_email = nullptr;
    QLabel* m_titleCounter;
    QLabel* m_descriptionCounter;
    PLButton* m_save;
    QPointer<QMessageBox> m_alert;
    bool m_isButtonDisabled = true;
};

} // namespace plendra
