#include "feedback/board/CreateWishView.h"

#include "feedback/Api.h"
#include "feedback/Plendra.h"
#include "feedback/board/BoardButtons.h"
#include "feedback/board/BoardStyle.h"
#include "feedback/board/TextLimits.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace plendra {

namespace {

QLabel* caption(const QString& text = {})
{
    return plainLabel(text, fonts::caption2());
}

// A caption row over a field on its rounded surface.
QWidget* section(QLabel* title, QLabel* counter, QWidget* field, QMargins padding)
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(5, 0, 5, 5);
    row->addWidget(title);
    row->addStretch();
    if (counter)
        row->addWidget(counter);
    auto* section = new QWidget;
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(row);
    layout->addWidget(new RoundedSurface(field, padding));
    return section;
}

QString counterText(const QString& text, qsizetype limit)
{
    return QStringLiteral("%1/%2").arg(graphemeCount(text)).arg(limit);
}

} // namespace

CreateWishView::CreateWishView(std::function<void()> createActionCompletion, std::function<void()> closeAction,
                               QWidget* parent)
    : QWidget(parent)
    , m_createActionCompletion(std::move(createActionCompletion))
    , m_closeAction(std::move(closeAction))
    , m_title(new QLineEdit)
    , m_description(new QPlainTextEdit)
    , m_titleCounter(caption())
    , m_descriptionCounter(caption())
    , m_save(nullptr)
{
    const Configuration config = Plendra::config();
    const Configuration::Localization& texts = config.localization;
    m_title->setObjectName(QStringLiteral("titleField"));
    m_description->setObjectName(QStringLiteral("descriptionField"));
    // The description's field is 200 high, its padding included.
    const QMargins descriptionPadding(5, 10, 5, 10);
    m_description->setFixedHeight(200 - descriptionPadding.top() - descriptionPadding.bottom());
    m_description->setTabChangesFocus(true);
    m_save = new PLButton(texts.save, PLButton::ButtonStyle::primary, QSize(100, 30));
    m_save->setObjectName(QStringLiteral("saveButton"));

    auto* close = new CloseButton;
    connect(close, &QAbstractButton::clicked, this, &CreateWishView::requestClose);
    auto* page = new CentredPage(700, QMargins(16, 16, 16, 16));
    QVBoxLayout* column = page->column();
    column->setSpacing(15);
    column->addWidget(section(caption(texts.title), m_titleCounter, m_title, QMargins(10, 10, 10, 10)));
    column->addWidget(section(caption(texts.description), m_descriptionCounter, m_description, descriptionPadding));
    if (config.emailField != Configuration::EmailField::none) {
        m_email = new QLineEdit;
        m_email->setObjectName(QStringLiteral("emailField"));
        const QString label = config.emailField == Configuration::EmailField::optional ? texts.emailOptional
                                                                                        : texts.emailRequired;
        column->addWidget(section(caption(label), nullptr, m_email, QMargins(10, 10, 10, 10)));
    }
    column->addStretch();
    column->addWidget(m_save, 0, Qt::AlignHCenter);

    layOutSheetPage(this, close, page);

    restyle();
    connect(m_title, &QLineEdit::textChanged, this, &CreateWishView::applyLimits);
    connect(m_description, &QPlainTextEdit::textChanged, this, &CreateWishView::applyLimits);
    connect(m_save, &QAbstractButton::clicked, this, &CreateWishView::save);
    connect(&m_alertModel, &AlertModel::showAlertChanged, this, &CreateWishView::showResultAlert);
    applyLimits();
}

BoardSheet* CreateWishView::present(QWidget* parent, std::function<void()> createActionCompletion)
{
    auto* sheet = new BoardSheet(parent, QSize(500, 400), 600);
    sheet->setObjectName(QStringLiteral("createSheet"));
    sheet->setWindowTitle(Plendra::config().localization.createWish);
    auto* form = new CreateWishView(std::move(createActionCompletion), [sheet] { sheet->dismiss(); });
    sheet->setContent(form);
    sheet->setCloseRule([form] { form->requestClose(); });
    sheet->open();
    return sheet;
}

void CreateWishView::applyLimits()
{
    const QString title = m_title->text();
    if (const QString cut = leftGraphemes(title, titleLimit); cut.size() != title.size()) {
        const int cursor = std::min<int>(m_title->cursorPosition(), int(cut.size()));
        m_title->setText(cut); // comes back here with the cut text
        m_title->setCursorPosition(cursor);
        return;
    }
    const QString description = m_description->toPlainText();
    if (const QString cut = leftGraphemes(description, descriptionLimit); cut.size() != description.size()) {
        const int cursor = std::min<int>(m_description->textCursor().position(), int(cut.size()));
        m_description->setPlainText(cut);
        QTextCursor at = m_description->textCursor();
        at.setPosition(cursor);
        m_description->setTextCursor(at);
        return;
    }
    m_titleCounter->setText(counterText(title, titleLimit));
    m_descriptionCounter->setText(counterText(description, descriptionLimit));
    m_isButtonDisabled = title.isEmpty() || description.isEmpty();
    m_save->setEnabled(!m_isButtonDisabled);
}

void CreateWishView::save()
{
    if (m_isButtonDisabled || m_save->isLoading())
        return;
    const Configuration::EmailField emailField = Plendra::config().emailField;
    const QString email = m_email ? m_email->text() : QString();
    std::optional<AlertModel::AlertReason> refusal;
    if (emailField == Configuration::EmailField::required && email.isEmpty())
        refusal = AlertModel::AlertReason::emailRequired();
    else if (!email.isEmpty() && !isWellFormedEmail(email))
        refusal = AlertModel::AlertReason::emailFormatWrong();
    if (refusal) {
        m_alertModel.setAlertReason(*refusal);
        m_alertModel.setShowAlert(true);
        return;
    }
    m_save->setLoading(true);
    const CreateWishRequest body{m_title->text(), m_description->toPlainText(), email, WishState::pending};
    const Api api = Api::shared();
    const std::optional<ApiRequest> request = api.makeCreateWishRequest(body);
    if (!request) {
        QMetaObject::invokeMethod(
            this, [this] { finish(ApiError{ApiError::Reason::couldNotCreateRequest}); }, Qt::QueuedConnection);
        return;
    }
    api.sendCreateWish(*request, this, [this](const ApiResult<CreateWishResponse>& result) {
        finish(result.isSuccess() ? std::nullopt : std::optional(result.error()));
    });
}

void CreateWishView::finish(const std::optional<ApiError>& failure)
{
    m_save->setLoading(false);
    m_alertModel.setAlertReason(failure ? AlertModel::AlertReason::createReturnedError(description(failure->reason))
                                        : AlertModel::AlertReason::successfullyCreated());
    m_alertModel.setShowAlert(true);
}

void CreateWishView::showResultAlert()
{
    if (!m_alertModel.showAlert() || m_alert)
        return;
    const Configuration::Localization texts = Plendra::config().localization;
    const AlertModel::AlertReason reason = m_alertModel.alertReason();
    QString title = texts.info;
    QString message;
    switch (reason.kind()) {
    case AlertModel::AlertReason::Kind::createReturnedError:
        message = reason.text();
        break;
    case AlertModel::AlertReason::Kind::successfullyCreated:
        message = texts.successfullyCreated;
        break;
    case AlertModel::AlertReason::Kind::emailRequired:
        message = texts.emailRequiredText;
        break;
    case AlertModel::AlertReason::Kind::emailFormatWrong:
        message = texts.emailFormatWrongText;
        break;
    default:
        title.clear();
        break;
    }
    m_alert = makeBoardAlert(this, title, message);
    m_alert->setObjectName(QStringLiteral("resultAlert"));
    QPushButton* ok = m_alert->addButton(texts.ok, QMessageBox::AcceptRole);
    const bool created = reason.kind() == AlertModel::AlertReason::Kind::successfullyCreated;
    connect(m_alert, &QMessageBox::finished, this, [this, created] {
        m_alertModel.setShowAlert(false);
        if (!created)
            return;
        if (m_createActionCompletion)
            m_createActionCompletion();
        if (auto* sheet = qobject_cast<BoardSheet*>(window()))
            sheet->dismiss();
    });
    m_alert->setDefaultButton(ok);
    m_alert->open();
}

void CreateWishView::requestClose()
{
    if (m_alert)
        return;
    const bool typed = !m_title->text().isEmpty() || !m_description->toPlainText().isEmpty()
        || (m_email && !m_email->text().isEmpty());
    if (!typed) {
        if (m_closeAction)
            m_closeAction();
        return;
    }
    const Configuration::Localization texts = Plendra::config().localization;
    m_alert = makeBoardAlert(this, texts.info, texts.discardEnteredInformation);
    m_alert->setObjectName(QStringLiteral("discardAlert"));
    QPushButton* ok = m_alert->addButton(texts.ok, QMessageBox::AcceptRole);
    m_alert->addButton(QMessageBox::Cancel);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (m_closeAction)
            m_closeAction();
    });
    m_alert->open();
}

void CreateWishView::restyle()
{
    const Appearance appearance = appearanceOf(palette());
    styleTextInput(m_title, appearance);
    // The description's editor alone is transparent: its rounded surface shows through.
    styleTextInput(m_description, appearance, true);
    if (m_email)
        styleTextInput(m_email, appearance);
}

void CreateWishView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        restyle();
}

} // namespace plendra
