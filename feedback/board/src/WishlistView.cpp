#include "feedback/board/WishlistView.h"

#include "feedback/Api.h"
#include "feedback/Plendra.h"
#include "feedback/WishModel.h"
#include "feedback/board/BoardButtons.h"
#include "feedback/board/BoardStyle.h"
#include "feedback/board/CreateWishView.h"
#include "feedback/board/DetailWishView.h"
#include "feedback/board/WishListModel.h"
#include "feedback/board/WishVoting.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace plendra {

namespace {

constexpr int addButtonSide = 45;
constexpr int addButtonMargin = 20;
constexpr int watermarkMargin = 30;

} // namespace

WishlistView::WishlistView(WishModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_rows(new WishListModel(this))
    , m_list(new QListView(this))
    , m_delegate(new WishRowDelegate(*m_rows, m_list))
    , m_loading(new BusyIndicator(20, this))
    , m_empty(plainLabel())
    , m_failure(new QWidget(this))
    , m_failureReason(plainLabel())
    , m_failureRefresh(new QPushButton(m_failure))
    , m_stale(plainLabel())
    , m_watermark(plainLabel())
    , m_addButton(new AddButton(QSize(addButtonSide, addButtonSide), this))
{
    m_list->setObjectName(QStringLiteral("wishList"));
    m_list->setModel(m_rows);
    m_list->setItemDelegate(m_delegate);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setMouseTracking(true);
    m_list->setAutoFillBackground(false);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->viewport()->installEventFilter(this);
    m_list->installEventFilter(this);
    m_rows->setVoteActionCompletion([this] { m_model.fetchList(); });
    m_rows->setAlertParent(this);

    m_empty->setParent(this);
    m_watermark->setParent(this);
    m_empty->setObjectName(QStringLiteral("emptyText"));
    m_failure->setObjectName(QStringLiteral("failurePage"));
    m_failureReason->setObjectName(QStringLiteral("failureReason"));
    m_failureReason->setWordWrap(true);
    m_failureReason->setAlignment(Qt::AlignCenter);
    m_failureRefresh->setAutoDefault(false);
    auto* failureLayout = new QVBoxLayout(m_failure);
    failureLayout->setSpacing(12);
    failureLayout->addWidget(m_failureReason);
    failureLayout->addWidget(m_failureRefresh, 0, Qt::AlignHCenter);
    connect(m_failureRefresh, &QPushButton::clicked, this, &WishlistView::refreshRequested);

    m_stale->setObjectName(QStringLiteral("staleNote"));
    m_stale->setFont(fonts::footnote());
    m_stale->setAlignment(Qt::AlignCenter);
    m_stale->setContentsMargins(15, 0, 15, 4);
    m_watermark->setObjectName(QStringLiteral("watermark"));
    m_watermark->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_addButton->setObjectName(QStringLiteral("addButton"));
    connect(m_addButton, &QAbstractButton::clicked, this, &WishlistView::openCreateSheet);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_stale);
    layout->addWidget(m_list, 1);
    // The layers over the list, drawn in this order.
    for (QWidget* layer : {static_cast<QWidget*>(m_loading), static_cast<QWidget*>(m_empty), m_failure,
                           static_cast<QWidget*>(m_watermark), static_cast<QWidget*>(m_addButton)})
        layer->raise();

    connect(&m_model, &WishModel::listsChanged, this, [this] {
        m_hasShownList = true;
        showLists();
    });
    for (const auto signal : {&WishModel::isLoadingChanged, &WishModel::hasFetchedChanged,
                              &WishModel::lastFailureChanged, &WishModel::shouldShowWatermarkChanged})
        connect(&m_model, signal, this, &WishlistView::refreshLayers);
    showLists();
}

void WishlistView::setSelectedWishState(const LocalWishState& state)
{
    if (state == m_selected)
        return;
    m_selected = state;
    showLists();
}

void WishlistView::setRefreshing(bool refreshing)
{
    const Configuration::Localization texts = Plendra::config().localization;
    m_failureRefresh->setText(refreshing ? texts.refreshing : texts.refresh);
}

void WishlistView::showLists()
{
    // Rows of their own heights are laid out a batch at a time, so the first ones paint at once.
    const bool wraps = Plendra::config().expandDescriptionInList;
    m_list->setUniformItemSizes(!wraps);
    m_list->setLayoutMode(wraps ? QListView::Batched : QListView::SinglePass);
    m_rows->setWishes(stateList(m_model, m_selected), m_model.all());
    refreshLayers();
}

void WishlistView::refreshLayers()
{
    const Configuration config = Plendra::config();
    const bool hasRows = m_rows->rowCount() > 0;
    const std::optional<ApiError>& failure = m_model.lastFailure();
    const bool showsFailure = failure && !m_hasShownList;
    m_loading->setVisible(m_model.isLoading() && !m_model.hasFetched());
    m_empty->setText(config.localization.noFeatureRequests);
    m_empty->setVisible(m_model.hasFetched() && !m_model.isLoading() && !hasRows && !showsFailure);
    m_list->setVisible(hasRows);
    m_failure->setVisible(showsFailure);
    m_stale->setVisible(failure && m_hasShownList);
    if (failure) {
        m_failureReason->setText(QStringLiteral("Could not load the feature requests.\n")
                                 + description(failure->reason));
        m_stale->setText(QStringLiteral("Could not refresh: ") + description(failure->reason));
    }
    if (m_failureRefresh->text().isEmpty())
        setRefreshing(false);
    m_watermark->setText(config.localization.poweredBy + u' ' + Api::shared().wishURL().value_or(QUrl()).host());
    m_watermark->setVisible(m_model.shouldShowWatermark());
    m_addButton->setVisible(config.buttons.addButton.location == Configuration::AddButton::Location::floating);
    restyle();
    placeLayers();

    // Rows coming on screen for the first time ask for the list once more.
    if (hasRows && !m_rowsHaveAppeared && isVisible()) {
        m_rowsHaveAppeared = true;
        m_model.fetchList();
    }
}

void WishlistView::restyle()
{
    const QColor text = palette().color(QPalette::WindowText);
    setForeground(m_watermark, withAlpha(text, 0.33));
    setForeground(m_stale, withAlpha(text, 0.6));
}

void WishlistView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        restyle();
}

void WishlistView::placeLayers()
{
    // The list's area: all of the view but the note above it.
    const QRect area = rect().adjusted(0, m_stale->isHidden() ? 0 : m_stale->sizeHint().height(), 0, 0);
    m_loading->move(area.center() - m_loading->rect().center());
    m_empty->adjustSize();
    m_empty->move(area.center() - m_empty->rect().center());
    m_failure->setFixedWidth(std::min(area.width(), 460));
    m_failure->adjustSize();
    m_failure->move(area.center() - m_failure->rect().center());
    m_watermark->adjustSize();
    m_watermark->move((width() - m_watermark->width()) / 2, height() - watermarkMargin - m_watermark->height());
    const QRect disc = m_addButton->circle();
    m_addButton->move(width() - addButtonMargin - disc.right() - 1, height() - addButtonMargin - disc.bottom() - 1);
}

QRect WishlistView::voteButtonRect(int row) const
{
    return m_delegate->voteButtonRect(m_list->visualRect(m_rows->index(row)), row).toAlignedRect();
}

void WishlistView::openDetail(int row)
{
    if (m_detailSheet || row < 0 || row >= m_rows->rowCount())
        return;
    const auto fetch = [this] { m_model.fetchList(); };
    m_detailSheet = DetailWishView::present(this, m_rows->wish(row), fetch, fetch);
}

void WishlistView::openCreateSheet()
{
    if (!m_createSheet)
        m_createSheet = CreateWishView::present(this, [this] { m_model.fetchList(); });
}

void WishlistView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeLayers();
}

void WishlistView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshLayers();
}

bool WishlistView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton)
                break;
            m_list->setProperty("showsFocus", false);
            const QPoint at = mouse->position().toPoint();
            m_pressedRow = m_list->indexAt(at).row();
            m_pressedOnVote = m_pressedRow >= 0 && voteButtonRect(m_pressedRow).contains(at);
            if (m_pressedRow >= 0)
                m_list->setCurrentIndex(m_rows->index(m_pressedRow));
            m_list->setFocus(Qt::MouseFocusReason);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton)
                break;
            const QPoint at = mouse->position().toPoint();
            const int row = m_list->indexAt(at).row();
            const bool onVote = row >= 0 && voteButtonRect(row).contains(at);
            if (row >= 0 && row == m_pressedRow && onVote == m_pressedOnVote) {
                if (onVote)
                    m_rows->votingFor(row).vote();
                else
                    openDetail(row);
            }
            m_pressedRow = -1;
            return true;
        }
        case QEvent::MouseMove: {
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            m_list->viewport()->setCursor(m_list->indexAt(at).isValid() ? Qt::PointingHandCursor : Qt::ArrowCursor);
            break;
        }
        default:
            break;
        }
    } else if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        m_list->setProperty("showsFocus", true);
        m_list->viewport()->update();
        const int row = m_list->currentIndex().isValid() ? m_list->currentIndex().row() : -1;
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && row >= 0) {
            openDetail(row);
            return true;
        }
        if (key == Qt::Key_Space && row >= 0) {
            m_rows->votingFor(row).vote();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace plendra
