#pragma once

#include "feedback/board/BoardStyle.h"
#include "feedback/board/LocalWishState.h"

#include <QPointer>
#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QPushButton;

namespace plendra {

class WishModel;
class WishlistView;

// The board: a header row with the state filter (each entry with its count), the refresh button
// and, when the configuration puts the add button in the header, the "Create" button; below it
// the request list. Fetches the list once when it is made.
class WishlistContainer : public QWidget {
    Q_OBJECT
public:
    explicit WishlistContainer(WishModel& model, QWidget* parent = nullptr);

    WishModel& model() const { return m_model; }
    WishlistView* list() const { return m_list; }
    // Absent when the configuration hides the filter.
    QComboBox* picker() const { return m_picker; }
    QPushButton* refreshButton() const { return m_refresh; }
    // Absent unless the add button sits in the header.
    QPushButton* createButton() const { return m_create; }
    BoardSheet* createSheet() const { return m_createSheet; }
    bool isRefreshing() const { return m_isRefreshing; }

    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refreshPicker();
    void refreshLabels();
    void setRefreshing(bool refreshing);

    WishModel& m_model;
    QComboBox* m_picker = nullptr;
    QPushButton* m_refresh;
    QPushButton* m_create = nullptr;
    WishlistView* m_list;
    QPointer<BoardSheet> m_createSheet;
    bool m_isRefreshing = false;
};

} // namespace plendra
