#pragma once

#include "feedback/Api.h"
#include "feedback/Plendra.h"
#include "feedback/board/FeedbackListView.h"
#include "feedback/board/WishListModel.h"
#include "feedback/board/WishlistContainer.h"
#include "feedback/board/WishlistView.h"
#include "feedback/testing/FeedbackTestService.h"

#include <QAbstractButton>
#include <QListView>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace plendra::testing {

// A scripted service that the shared client points at for the test, with the shared
// configuration and theme put back afterwards.
class BoardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.isListening());
        Api::setShared(service.api());
        m_config = Plendra::config();
        m_theme = Plendra::theme();
    }
    void TearDown() override
    {
        Api::setShared(Api(Api::baseURL()));
        Plendra::setConfig(m_config);
        Plendra::setTheme(m_theme);
    }

    template <typename Change>
    static void configure(Change change)
    {
        Configuration config = Plendra::config();
        change(config);
        Plendra::setConfig(config);
    }

    int listRequests() { return service.server().requestCount(FeedbackTestService::listPath); }
    int voteRequests() { return service.server().requestCount(FeedbackTestService::votePath); }

    // The board on screen with its first answer and the fetch its rows' appearance starts.
    std::unique_ptr<FeedbackListView> openBoard(int expectedListRequests = 2)
    {
        auto board = std::make_unique<FeedbackListView>();
        board->resize(720, 640);
        board->show();
        EXPECT_TRUE(testsupport::waitUntil([&] {
            return listRequests() >= expectedListRequests && !board->container()->model().isLoading();
        }));
        return board;
    }

    static WishlistView& list(FeedbackListView& board) { return *board.container()->list(); }

    static void clickVote(WishlistView& list, int row)
    {
        QTest::mouseClick(list.listView()->viewport(), Qt::LeftButton, {}, list.voteButtonRect(row).center());
    }
    static void clickRow(WishlistView& list, int row)
    {
        const QRect rect = list.listView()->visualRect(list.rows().index(row));
        QTest::mouseClick(list.listView()->viewport(), Qt::LeftButton, {}, QPoint(rect.right() - 40, rect.center().y()));
    }

    // The open alert under `parent` with this object name, once it is shown.
    static QMessageBox* waitForAlert(QWidget* parent, const char* name)
    {
        QMessageBox* alert = nullptr;
        testsupport::waitUntil([&] {
            alert = parent->findChild<QMessageBox*>(QString::fromLatin1(name));
            return alert && alert->isVisible();
        });
        return alert && alert->isVisible() ? alert : nullptr;
    }

    // Presses the alert's accepting button (its "Ok").
    static void accept(QMessageBox* alert)
    {
        for (QAbstractButton* button : alert->buttons()) {
            if (alert->buttonRole(button) == QMessageBox::AcceptRole) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "the alert has no accepting button";
    }

    FeedbackTestService service;

private:
    Configuration m_config;
    Theme m_theme;
};

// The text an alert shows: its text and its informative text.
inline QString alertText(const QMessageBox* alert)
{
    if (!alert)
        return QStringLiteral("<no alert>");
    return alert->informativeText().isEmpty() ? alert->text() : alert->text() + u'|' + alert->informativeText();
}

} // namespace plendra::testing
