#pragma once

#include "feedback/board/BoardStyle.h"
#include "feedback/board/LocalWishState.h"

#include <QListView>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace plendra {

class AddButton;
class BusyIndicator;
class WishListModel;
class WishModel;
class WishRowDelegate;

// The board below its header: the requests of the chosen filter entry as cards in a virtualised
// list, a spinner before the first answer, a text when the entry has none, the service's
// watermark, and the floating add button when the configuration puts it over the list.
//
// While the last fetch has failed it shows the reason and a Refresh button in place of the
// empty text; once a list has been shown, it keeps it and says in one line that it could not
// refresh. A click on a row opens the request's detail in a sheet; a click on its vote button
// votes and opens nothing.
//
// It fetches the list when its rows first come on screen, after a vote, after the detail closes
// and after a creation from its add button; never on a mere repaint or filter switch.
class WishlistView : public QWidget {
    Q_OBJECT
public:
    explicit WishlistView(WishModel& model, QWidget* parent = nullptr);

    void setSelectedWishState(const LocalWishState& state);
    const LocalWishState& selectedWishState() const { return m_selected; }
    // The failure page's button follows the header's refresh label.
    void setRefreshing(bool refreshing);

    // Opens the detail of a shown row.
    void openDetail(int row);

    QListView* listView() const { return m_list; }
    WishListModel& rows() const { return *m_rows; }
    // A row's vote button, in the list's viewport coordinates.
    QRect voteButtonRect(int row) const;
    BusyIndicator* loadingIndicator() const { return m_loading; }
    QLabel* emptyText() const { return m_empty; }
    QWidget* failurePage() const { return m_failure; }
    QLabel* failureReason() const { return m_failureReason; }
    QLabel* staleNote() const { return m_stale; }
    QLabel* watermark() const { return m_watermark; }
    AddButton* addButton() const { return m_addButton; }
    BoardSheet* detailSheet() const { return m_detailSheet; }
    BoardSheet* createSheet() const { return m_createSheet; }

signals:
    void refreshRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void restyle();
    void showLists();
    void refreshLayers();
    void placeLayers();
    void openCreateSheet();

    WishModel& m_model;
    LocalWishState m_selected = LocalWishState::all();
    WishListModel* m_rows;
    QListView* m_list;
    WishRowDelegate* m_delegate;
    BusyIndicator* m_loading;
    QLabel* m_empty;
    QWidget* m_failure;
    QLabel* m_failureReason;
    QPushButton* m_failureRefresh;
    QLabel* m_stale;
    QLabel* m_watermark;
    AddButton* m_addButton;
    QPointer<BoardSheet> m_detailSheet;
    QPointer<BoardSheet> m_createSheet;
    // Once a list answer has been shown; a later failure then keeps it.
    bool m_hasShownList = false;
    // The first time rows come on screen fetches once more.
    bool m_rowsHaveAppeared = false;
    int m_pressedRow = -1;
    bool m_pressedOnVote = false;
};

} // namespace plendra
