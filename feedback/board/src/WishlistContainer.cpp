#include "feedback/board/WishlistContainer.h"

#include "feedback/Plendra.h"
#include "feedback/WishModel.h"
#include "feedback/board/BoardStyle.h"
#include "feedback/board/CreateWishView.h"
#include "feedback/board/WishlistView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace plendra {

WishlistContainer::WishlistContainer(WishModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_refresh(new QPushButton)
    , m_list(new WishlistView(model))
{
    const Configuration config = Plendra::config();
    const bool inHeader = config.buttons.addButton.location == Configuration::AddButton::Location::navigationBar;
    m_refresh->setObjectName(QStringLiteral("refreshButton"));
    m_refresh->setAutoDefault(false);
    connect(m_refresh, &QPushButton::clicked, this, &WishlistContainer::refresh);
    connect(m_list, &WishlistView::refreshRequested, this, &WishlistContainer::refresh);

    auto* header = new QHBoxLayout;
    if (config.buttons.segmentedControl.display == Configuration::Display::show) {
        header->setContentsMargins(15, 15, 20, 15);
        m_picker = new QComboBox;
        m_picker->setObjectName(QStringLiteral("statePicker"));
        m_picker->setMaximumWidth(150);
        m_picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        for (int i = 0; i < int(filterEntries().size()); ++i)
            m_picker->addItem(QString());
        connect(m_picker, &QComboBox::currentIndexChanged, this, [this](int index) {
            if (index >= 0)
                m_list->setSelectedWishState(filterEntries()[index]);
        });
        header->addWidget(m_picker);
        header->addStretch();
        header->addWidget(m_refresh);
    } else {
        header->setContentsMargins(5, 15, 15, 15);
        header->addWidget(m_refresh);
        if (!inHeader)
            header->addSpacing(15);
    }
    if (inHeader) {
        m_create = new QPushButton;
        m_create->setObjectName(QStringLiteral("createButton"));
        m_create->setAutoDefault(false);
        connect(m_create, &QPushButton::clicked, this, [this] {
            if (!m_createSheet)
                m_createSheet = CreateWishView::present(this, [this] { m_model.fetchList(); });
        });
        header->addSpacing(15);
        header->addWidget(m_create);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(m_list, 1);

    connect(&m_model, &WishModel::listsChanged, this, &WishlistContainer::refreshPicker);
    refreshLabels();
    m_model.fetchList();
}

void WishlistContainer::refresh()
{
    setRefreshing(true);
    m_model.fetchList([this] {
        QMetaObject::invokeMethod(this, [this] { setRefreshing(false); }, Qt::QueuedConnection);
    });
}

void WishlistContainer::setRefreshing(bool refreshing)
{
    m_isRefreshing = refreshing;
    refreshLabels();
}

void WishlistContainer::refreshLabels()
{
    const Configuration::Localization texts = Plendra::config().localization;
    m_refresh->setText(m_isRefreshing ? texts.refreshing : texts.refresh);
    m_list->setRefreshing(m_isRefreshing);
    if (m_create)
        m_create->setText(texts.addButtonInNavigationBar);
    refreshPicker();
}

void WishlistContainer::refreshPicker()
{
    if (!m_picker)
        return;
    for (int i = 0; i < int(filterEntries().size()); ++i) {
        const LocalWishState& state = filterEntries()[i];
        m_picker->setItemText(i, filterEntryTitle(state, stateList(m_model, state).size()));
    }
}

void WishlistContainer::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The texts may have changed since the board was last on screen.
    refreshLabels();
}

void WishlistContainer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), boardBackground(Plendra::theme(), appearanceOf(palette())));
}

} // namespace plendra
