#include "window/FlatPickerView.h"

#include "window/SymbolIcons.h"

#include <testsupport/EventLoop.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>

using namespace quillora;
using testsupport::waitUntil;

namespace {

enum class Provider { codex, claude, other };

QString providerTitle(Provider provider)
{
    switch (provider) {
    case Provider::codex:
        return QStringLiteral("Codex");
    case Provider::claude:
        return QStringLiteral("Claude");
    case Provider::other:
        break;
    }
    return QStringLiteral("A provider with a rather long name");
}

// The chat header's picker: two providers, 130 pixels at most.
struct Picker {
    explicit Picker(Provider selection, std::vector<Provider> options = {Provider::codex, Provider::claude})
        : view(std::move(options), selection, providerTitle)
    {
        view.setMaxWidth(130);
        view.onSelectionChanged([this](const Provider& chosen) { reported.push_back(chosen); });
        view.show();
        view.setFocus();
    }

    QAction* row(int index) const { return view.menu()->actions().at(index); }
    int tickedRow() const
    {
        const QList<QAction*> rows = view.menu()->actions();
        int ticked = -1;
        for (int i = 0; i < rows.size(); ++i)
            if (rows[i]->isChecked())
                ticked = ticked == -1 ? i : -2; // -2: more than one
        return ticked;
    }

    FlatPickerView<Provider> view;
    std::vector<Provider> reported;
};

// Pixels of the accent colour in the tick's place at the end of a row of the open menu.
int accentPixelsAtEnd(QMenu* menu, QAction* action)
{
    const QImage image = menu->grab().toImage();
    const QColor accent = WindowColors::accent(menu->palette());
    const QRect row = menu->actionGeometry(action);
    const qreal ratio = image.devicePixelRatio();
    int count = 0;
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.right() - 30; x <= row.right(); ++x) {
            const QColor pixel = image.pixelColor(int(x * ratio), int(y * ratio));
            count += std::abs(pixel.red() - accent.red()) + std::abs(pixel.green() - accent.green())
                         + std::abs(pixel.blue() - accent.blue())
                     < 60;
        }
    return count;
}

TEST(FlatPicker, ChoosingARowSetsTheSelectionClosesAndMovesTheTick)
{
    Picker picker(Provider::codex);
    EXPECT_EQ(picker.view.title(), QStringLiteral("Codex"));
    EXPECT_FALSE(picker.view.isExpanded());

    QTest::mouseClick(&picker.view, Qt::LeftButton);
    ASSERT_TRUE(picker.view.isExpanded());
    EXPECT_EQ(picker.tickedRow(), 0);
    picker.row(1)->trigger();
    EXPECT_FALSE(picker.view.isExpanded());
    EXPECT_EQ(picker.view.selection(), Provider::claude);
    EXPECT_EQ(picker.view.title(), QStringLiteral("Claude"));
    EXPECT_EQ(picker.reported, std::vector<Provider>{Provider::claude});

    // Reopened, the tick is on the second row; the current choice again only closes.
    QTest::mouseClick(&picker.view, Qt::LeftButton);
    ASSERT_TRUE(picker.view.isExpanded());
    EXPECT_EQ(picker.tickedRow(), 1);
    picker.row(1)->trigger();
    EXPECT_FALSE(picker.view.isExpanded());
    EXPECT_EQ(picker.reported.size(), 1u);

    // A selection set by the owner shows without being reported.
    picker.view.setSelection(Provider::codex);
    EXPECT_EQ(picker.tickedRow(), 0);
    EXPECT_EQ(picker.reported.size(), 1u);
}

TEST(FlatPicker, TheTickIsDrawnAfterTheChosenRowOnly)
{
    Picker picker(Provider::claude);
    picker.view.setExpanded(true);
    ASSERT_TRUE(picker.view.isExpanded());
    // With no row under the pointer, the tick shows in the accent colour.
    picker.view.menu()->setActiveAction(nullptr);
    EXPECT_GT(accentPixelsAtEnd(picker.view.menu(), picker.row(1)), 4);
    EXPECT_EQ(accentPixelsAtEnd(picker.view.menu(), picker.row(0)), 0);
    picker.view.setExpanded(false);
}

TEST(FlatPicker, ASelectionAmongNoOptionTicksNothingButStillShowsItsTitle)
{
    Picker outside(Provider::other);
    EXPECT_EQ(outside.view.title(), providerTitle(Provider::other));
    EXPECT_EQ(outside.tickedRow(), -1);

    // No options: an empty menu opens and nothing can be chosen.
    Picker empty(Provider::codex, {});
    empty.view.setExpanded(true);
    EXPECT_TRUE(empty.view.isExpanded());
    EXPECT_TRUE(empty.view.menu()->actions().isEmpty());
    empty.view.setExpanded(false);
    EXPECT_TRUE(empty.reported.empty());
}

TEST(FlatPicker, KeyboardOpensMovesPicksAndEscapes)
{
    Picker picker(Provider::codex);
    QMenu* menu = picker.view.menu();

    // Space opens at the current row; Down and Return pick the next one.
    QTest::keyClick(&picker.view, Qt::Key_Space);
    ASSERT_TRUE(picker.view.isExpanded());
    EXPECT_EQ(menu->activeAction(), picker.row(0));
    QTest::keyClick(menu, Qt::Key_Down);
    EXPECT_EQ(menu->activeAction(), picker.row(1));
    QTest::keyClick(menu, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !picker.view.isExpanded(); }));
    EXPECT_EQ(picker.view.selection(), Provider::claude);

    // Escape closes and changes nothing; Down on the button opens too.
    QTest::keyClick(&picker.view, Qt::Key_Down);
    ASSERT_TRUE(picker.view.isExpanded());
    EXPECT_EQ(menu->activeAction(), picker.row(1));
    QTest::keyClick(menu, Qt::Key_Up);
    QTest::keyClick(menu, Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return !picker.view.isExpanded(); }));
    EXPECT_EQ(picker.view.selection(), Provider::claude);
    EXPECT_EQ(picker.reported, std::vector<Provider>{Provider::claude});
}

TEST(FlatPicker, ADisabledPickerDoesNotOpen)
{
    Picker picker(Provider::codex);
    picker.view.setEnabled(false);
    QTest::mouseClick(&picker.view, Qt::LeftButton);
    QTest::keyClick(&picker.view, Qt::Key_Space);
    picker.view.setExpanded(true);
    EXPECT_FALSE(picker.view.isExpanded());

    // Disabling an open picker closes its menu.
    picker.view.setEnabled(true);
    picker.view.setExpanded(true);
    ASSERT_TRUE(picker.view.isExpanded());
    picker.view.setEnabled(false);
    EXPECT_FALSE(picker.view.isExpanded());
}

TEST(FlatPicker, ALongTitleIsCutAtTheGreatestWidth)
{
    Picker limited(Provider::other);
    EXPECT_EQ(limited.view.sizeHint().width(), 130);
    EXPECT_LE(limited.view.width(), 130);

    FlatPickerView<Provider> unlimited({Provider::codex}, Provider::other, providerTitle);
    EXPECT_GT(unlimited.sizeHint().width(), 130);
    // A short title takes the width of its content, under the limit.
    Picker fitting(Provider::codex);
    EXPECT_LT(fitting.view.sizeHint().width(), 130);

    // At the width it asks for, a title is drawn whole: its pixels are those it has with room
    // to spare (a cut title ends in an ellipsis instead).
    for (const QString& title : {QStringLiteral("Codex"), QStringLiteral("Claude"), QStringLiteral("Ollama 3.1 mini"),
                                QStringLiteral("iiiiiiiiiiiil"), QStringLiteral("WWWWWWWW")}) {
        FlatPicker picker;
        picker.setRows({title});
        picker.setCurrent(0, title);
        const QSize fits = picker.sizeHint();
        picker.resize(fits);
        const QImage atItsWidth = picker.grab().toImage();
        picker.resize(fits + QSize(60, 0));
        const QImage roomy = picker.grab().toImage();
        const QRect text(12, 0, picker.fontMetrics().horizontalAdvance(title), fits.height());
        const qreal ratio = atItsWidth.devicePixelRatio();
        const QRect pixels(text.topLeft() * ratio, text.size() * ratio);
        EXPECT_EQ(atItsWidth.copy(pixels), roomy.copy(pixels)) << title.toStdString();
    }
}

} // namespace
