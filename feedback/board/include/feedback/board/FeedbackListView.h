#pragma once

#include <QWidget>

namespace plendra {

class WishlistContainer;

// The feature-request board a host shows: its own request model over the shared client, in a
// WishlistContainer.
class FeedbackListView : public QWidget {
    Q_OBJECT
public:
    explicit FeedbackListView(QWidget* parent = nullptr);

    WishlistContainer* container() const { return m_container; }

private:
    WishlistContainer* m_container;
};

} // namespace plendra
