#include "feedback/board/Comments.h"

#include "feedback/CommentModel.h"
#include "feedback/Plendra.h"
#include "feedback/board/BoardButtons.h"
#include "feedback/board/BoardStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>

namespace plendra {

namespace {

constexpr qreal fieldRadius = 12;
constexpr qreal commentRadius = 12;
constexpr int sendPadding = 10;
constexpr int sendIconSide = 16;

// The paper plane in the theme's primary colour, faded while there is nothing to send.
class SendButton : public QAbstractButton {
public:
    explicit SendButton(QWidget* parent)
        : QAbstractButton(parent)
    {
        setFixedSize(sendIconSide + 2 * sendPadding, sendIconSide + 2 * sendPadding);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (!isEnabled())
            painter.setOpacity(0.35);
        paintBoardSymbol(painter, QStringLiteral("paperplane.fill"), Plendra::theme().primaryColor,
                         QRectF(sendPadding, sendPadding, sendIconSide, sendIconSide));
    }
};

} // namespace

CommentFieldView::CommentFieldView(CommentModel& model, std::function<void()> submitAction, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_lineEdit(new QLineEdit)
    , m_send(new SendButton(this))
    , m_spinner(new BusyIndicator(16, this))
{
    m_lineEdit->setFont(fonts::footnote());
    m_lineEdit->setPlaceholderText(Plendra::config().localization.writeAComment);
    auto* surface = new RoundedSurface(m_lineEdit, QMargins(15, 15, 40, 15), fieldRadius);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(surface);
    m_send->raise();
    m_spinner->raise();
    restyle();

    connect(m_lineEdit, &QLineEdit::textEdited, &m_model, &CommentModel::setNewCommentValue);
    connect(&m_model, &CommentModel::newCommentValueChanged, this, &CommentFieldView::refresh);
    connect(&m_model, &CommentModel::isLoadingChanged, this, &CommentFieldView::refresh);
    connect(m_send, &QAbstractButton::clicked, this, [this, submitAction = std::move(submitAction)] {
        if (submitAction)
            submitAction();
    });
    refresh();
}

void CommentFieldView::refresh()
{
    if (m_lineEdit->text() != m_model.newCommentValue())
        m_lineEdit->setText(m_model.newCommentValue());
    // Only blanks count as nothing; a line break or a tab is something to send.
    m_send->setEnabled(!QString(m_model.newCommentValue()).remove(u' ').isEmpty());
    m_send->setVisible(!m_model.isLoading());
    m_spinner->setVisible(m_model.isLoading());
}

void CommentFieldView::restyle()
{
    styleTextInput(m_lineEdit, appearanceOf(palette()));
}

void CommentFieldView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        restyle();
}

void CommentFieldView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QRect area = contentsRect();
    m_send->move(area.right() + 1 - m_send->width(), area.center().y() - m_send->height() / 2);
    m_spinner->move(area.right() + 1 - sendPadding - m_spinner->width(), area.center().y() - m_spinner->height() / 2);
}

SingleCommentView::SingleCommentView(const CommentResponse& comment, QWidget* parent)
    : QWidget(parent)
    , m_author(plainLabel({}, fonts::caption2()))
    , m_date(plainLabel({}, fonts::caption2()))
    , m_text(plainLabel(comment.description, fonts::footnote()))
{
    const Configuration::Localization texts = Plendra::config().localization;
    m_author->setText(comment.isAdmin ? texts.admin : texts.user);
    m_date->setText(comment.createdAt.toLocalTime().toString(QStringLiteral("MM/dd/yy")));
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setContentsMargins(10, 10, 10, 10);

    auto* header = new QHBoxLayout;
    header->setSpacing(0);
    header->setContentsMargins(10, 5, 10, 5);
    header->addWidget(m_author);
    header->addStretch();
    header->addWidget(m_date);
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFixedHeight(1);
    divider->setObjectName(QStringLiteral("divider"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(divider);
    layout->addWidget(m_text);
    restyle();
}

QString SingleCommentView::author() const
{
    return m_author->text();
}

QString SingleCommentView::date() const
{
    return m_date->text();
}

QString SingleCommentView::text() const
{
    return m_text->text();
}

void SingleCommentView::restyle()
{
    const QColor text = textColor(Plendra::theme(), appearanceOf(palette()));
    setForeground(m_author, withAlpha(text, 1.0 / 3));
    setForeground(m_date, withAlpha(text, 1.0 / 3));
    setForeground(m_text, text);
    if (auto* divider = findChild<QFrame*>(QStringLiteral("divider")))
        setForeground(divider, withAlpha(text, 0.12));
}

void SingleCommentView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        restyle();
}

void SingleCommentView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(cardColor(Plendra::theme(), appearanceOf(palette())));
    painter.drawRoundedRect(QRectF(rect()), commentRadius, commentRadius);
}

CommentListView::CommentListView(const QList<CommentResponse>& comments, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    // Room for the cards' shadows beside them; the list ends 30 pixels below its last card.
    layout->setContentsMargins(5, 1, 5, 41);
    layout->setSpacing(10);
    for (const CommentResponse& comment : comments)
        layout->addWidget(new SingleCommentView(comment));
}

void CommentListView::prepend(const CommentResponse& comment)
{
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, new SingleCommentView(comment));
}

QList<SingleCommentView*> CommentListView::cards() const
{
    QList<SingleCommentView*> cards;
    for (int i = 0; i < layout()->count(); ++i) {
        if (auto* card = qobject_cast<SingleCommentView*>(layout()->itemAt(i)->widget()))
            cards.append(card);
    }
    return cards;
}

// The cards' shadows lie on the list, behind them.
void CommentListView::paintEvent(QPaintEvent*)
{
    if (Plendra::config().dropShadow != Configuration::Display::show)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const SingleCommentView* card : cards())
        paintSoftShadow(painter, QRectF(card->geometry()), commentRadius, 5, 0.1);
}

} // namespace plendra
