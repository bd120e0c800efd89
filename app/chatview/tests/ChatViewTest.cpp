#include "FakeChatService.h"

#include "chatview/ChatView.h"

#include <window/FlatPickerView.h>

#include <mddoc/Markdown.h>

#include <testsupport/EventLoop.h>
#include <testsupport/HttpServer.h>
#include <testsupport/QtPrinting.h>

#include <mdview/Host.h>
#include <mdview/RenderNode.h>

#include <gtest/gtest.h>

#include <cmath>

#include <QApplication>
#include <QStyle>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QToolButton>

using namespace chat_test;
using testsupport::waitUntil;
using E = ChatProviderEvent;

namespace {

// Composer ---------------------------------------------------------------------------------------------

TEST(ChatComposer, ReturnSubmitsShiftReturnBreaksTheLineAndACompositionIsCommitted)
{
    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool composing;
        bool withSubmit;
        bool readOnly;
        int submits;
        const char* text;
    } cases[] = {
        {"Return", Qt::Key_Return, Qt::NoModifier, false, true, false, 1, "ab"},
        {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, false, true, false, 1, "ab"},
        {"Shift+Return", Qt::Key_Return, Qt::ShiftModifier, false, true, false, 0, "ab\n"},
        {"Shift+keypad Enter", Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier, false, true, false, 0, "ab\n"},
        {"Ctrl+Return", Qt::Key_Return, Qt::ControlModifier, false, true, false, 1, "ab"},
        {"Alt+Return", Qt::Key_Return, Qt::AltModifier, false, true, false, 1, "ab"},
        {"Return while composing", Qt::Key_Return, Qt::NoModifier, true, true, false, 0, "abni"},
        {"Return without a submit action", Qt::Key_Return, Qt::NoModifier, false, false, false, 0, "ab"},
        {"Return while not editable", Qt::Key_Return, Qt::NoModifier, false, true, true, 1, "ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        quillora::chat::ChatComposerTextView composer;
        int submits = 0;
        QStringList edits;
        if (c.withSubmit)
            composer.onSubmit = [&] { ++submits; };
        composer.onTextEdited = [&](const QString& text) { edits.append(text); };
        composer.show();
        composer.setText(QStringLiteral("ab"));
        EXPECT_TRUE(edits.isEmpty()) << "a text set from outside is no edit";
        if (c.composing) {
            QInputMethodEvent preedit(QStringLiteral("ni"), {});
            QApplication::sendEvent(&composer, &preedit);
            EXPECT_TRUE(composer.isComposing());
        }
        composer.setEditable(!c.readOnly);
        QTest::keyClick(&composer, c.key, c.modifiers);
        EXPECT_EQ(submits, c.submits);
        EXPECT_EQ(composer.toPlainText(), QString::fromUtf8(c.text));
        EXPECT_FALSE(composer.isComposing());
    }
}

TEST(ChatComposer, TextFromOutsideReplacesOnlyADifferentText)
{
    quillora::chat::ChatComposerTextView composer;
    composer.show();
    QTest::keyClicks(&composer, QStringLiteral("draft"));
    EXPECT_TRUE(composer.document()->isUndoAvailable());
    composer.setText(QStringLiteral("draft"));
    EXPECT_TRUE(composer.document()->isUndoAvailable()) << "the same text leaves the field alone";
    composer.setText(QString());
    EXPECT_EQ(composer.toPlainText(), QString());
    // Pasted rich text arrives as plain text.
    auto* rich = new QMimeData;
    rich->setHtml(QStringLiteral("<b>bold</b> <img src=\"x.png\">"));
    rich->setText(QStringLiteral("bold"));
    QApplication::clipboard()->setMimeData(rich);
    composer.paste();
    EXPECT_EQ(composer.toPlainText(), QStringLiteral("bold"));
}

// Input row ---------------------------------------------------------------------------------------------

TEST(ChatInput, SendAndStopFollowTheirFlags)
{
    quillora::chat::ChatInputView input;
    int sends = 0, stops = 0;
    input.onSend = [&] { ++sends; };
    input.onStop = [&] { ++stops; };
    input.resize(400, 120);
    input.show();
    input.setProviderName(QStringLiteral("Codex"));
    EXPECT_EQ(input.composer()->placeholderText(), QStringLiteral("Ask Codex..."));

    // Sending is off: Return neither sends nor breaks the line, nor does Ctrl+Return.
    input.setText(QStringLiteral("hi"));
    input.composer()->setFocus();
    QTest::keyClick(input.composer(), Qt::Key_Return);
    QTest::keyClick(input.composer(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(sends, 0);
    EXPECT_EQ(input.composer()->toPlainText(), QStringLiteral("hi"));
    EXPECT_FALSE(input.sendButton()->isEnabled());

    input.setSendEnabled(true);
    QTest::keyClick(input.composer(), Qt::Key_Return);
    QTest::mouseClick(input.sendButton(), Qt::LeftButton);
    QTest::keyClick(input.composer(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(sends, 3);

    // While streaming, Stop replaces Send and works whatever the send flag says.
    input.setSendEnabled(false);
    input.setStreaming(true);
    EXPECT_TRUE(input.stopButton()->isVisible());
    EXPECT_FALSE(input.sendButton()->isVisible());
    QTest::mouseClick(input.stopButton(), Qt::LeftButton);
    QTest::keyClick(input.composer(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(sends, 3);

    // Not editable: typing does nothing, the placeholder stays.
    input.setText(QString());
    input.setInputEnabled(false);
    QTest::keyClicks(input.composer(), QStringLiteral("x"));
    EXPECT_EQ(input.composer()->toPlainText(), QString());
}

// Header ---------------------------------------------------------------------------------------------

namespace {

double luminance(QColor colour)
{
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

// The greatest contrast ratio between the control's fill (sampled in its left padding, at mid
// height) and any of its pixels: that of its text where it has any.
double textContrast(const QImage& image, const QRect& control)
{
    const double fill = luminance(image.pixelColor(control.left() + 3, control.center().y()));
    double best = 1;
    for (int y = control.top(); y <= control.bottom(); ++y)
        for (int x = control.left(); x <= control.right(); ++x) {
            const double pixel = luminance(image.pixelColor(x, y));
            best = std::max(best, (std::max(pixel, fill) + 0.05) / (std::min(pixel, fill) + 0.05));
        }
    return best;
}

} // namespace

TEST(ChatHeader, DisabledControlsStayLegibleInLightAndDark)
{
    QPalette light = QApplication::style()->standardPalette();
    QPalette dark = light;
    const QColor window(0x1e, 0x1e, 0x1e), text(0xe8, 0xe8, 0xe8), mid(0x2a, 0x2a, 0x2a);
    for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        dark.setColor(role, window);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, text);
    dark.setColor(QPalette::Mid, mid);
    // A disabled text colour as dark as the fill: the header must not rely on the palette's own.
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, mid);

    for (const auto& [name, palette] : {std::pair{"light", light}, std::pair{"dark", dark}}) {
        quillora::chat::ChatHeaderView header;
        header.setPalette(palette);
        header.resize(400, header.sizeHint().height());
        const auto contrasts = [&] {
            const QImage image = header.grab().toImage().scaled(header.size());
            return std::pair{textContrast(image, header.newChatButton()->geometry()),
                             textContrast(image, header.picker()->geometry())};
        };
        header.setReady(true);
        const auto [newChat, picker] = contrasts();
        header.setReady(false);
        header.setProviderSelectionEnabled(false);
        const auto [disabledNewChat, disabledPicker] = contrasts();
        // Legible (3:1 at least), and still plainly dimmer than when enabled.
        EXPECT_GE(disabledNewChat, 3.0) << name;
        EXPECT_GE(disabledPicker, 3.0) << name;
        EXPECT_LT(disabledNewChat, newChat * 0.8) << name;
        EXPECT_LT(disabledPicker, picker * 0.8) << name;
    }
}

// Banner ---------------------------------------------------------------------------------------------

TEST(ChatErrorBanner, DetailsOnlyWhenThereAreAnyAndRetry)
{
    quillora::chat::ChatErrorBannerView banner;
    int retries = 0;
    banner.onRetry = [&] { ++retries; };
    banner.resize(400, 200);
    banner.show();
    banner.setMessage(QStringLiteral("<b>Codex</b> exited unexpectedly."));
    EXPECT_EQ(banner.messageLabel()->textFormat(), Qt::PlainText);

    for (const std::optional<QString>& none : {std::optional<QString>(), std::optional<QString>(QString())}) {
        banner.setDetails(none);
        EXPECT_FALSE(banner.detailsToggle()->isVisible());
    }

    banner.setDetails(QStringLiteral("Reconnecting... 1/5\n<i>trace</i>"));
    EXPECT_TRUE(banner.detailsToggle()->isVisible());
    EXPECT_FALSE(banner.detailsView()->isVisible()) << "collapsed at first";
    QTest::mouseClick(banner.detailsToggle(), Qt::LeftButton);
    EXPECT_TRUE(banner.detailsView()->isVisible());
    EXPECT_EQ(banner.detailsView()->toPlainText(), QStringLiteral("Reconnecting... 1/5\n<i>trace</i>"));
    // Two lines take two lines; many take the maximum, and scroll.
    const int lineSpacing = banner.detailsView()->fontMetrics().lineSpacing();
    EXPECT_GE(banner.detailsView()->height(), 2 * lineSpacing);
    EXPECT_LT(banner.detailsView()->height(), 4 * lineSpacing);
    EXPECT_FALSE(banner.detailsView()->verticalScrollBar()->isVisible());
    banner.setDetails(QStringLiteral("Reconnecting...\n").repeated(50));
    EXPECT_EQ(banner.detailsView()->height(), quillora::chat::ChatErrorBannerView::maximumDetailsHeight);
    banner.setDetails(QStringLiteral("Reconnecting... 1/5\n<i>trace</i>"));
    // More details while open arrive at the end.
    banner.setDetails(QStringLiteral("Reconnecting... 1/5\n<i>trace</i>\nReconnecting... 2/5"));
    EXPECT_TRUE(banner.detailsView()->toPlainText().endsWith(QStringLiteral("2/5")));

    QTest::mouseClick(banner.retryButton(), Qt::LeftButton);
    EXPECT_EQ(retries, 1);
}

// The pane over a view model with fake services -------------------------------------------------------

class ChatPane : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        world = std::make_unique<FakeChatWorld>(dir.filePath(QStringLiteral("defaults.json")));
        vm = std::make_unique<ChatViewModel>(world->viewModelServices());
        vm->setProcessingMessageDelay(std::chrono::milliseconds(20));
    }

    void TearDown() override
    {
        view.reset();
        vm.reset();
    }

    // The pane, shown: it starts the session.
    FakeChatService& showPane(QSize size = {420, 600})
    {
        view = std::make_unique<quillora::chat::ChatView>(*vm);
        view->resize(size);
        view->show();
        EXPECT_TRUE(waitUntil([&] { return vm->isProcessReady(); }));
        return *world->last();
    }

    void send(FakeChatService& service, const QString& text)
    {
        vm->setDraftMessage(text);
        vm->sendDraft();
        (void)service;
    }

    QTemporaryDir dir;
    std::unique_ptr<FakeChatWorld> world;
    std::unique_ptr<ChatViewModel> vm;
    std::unique_ptr<quillora::chat::ChatView> view;
};

TEST_F(ChatPane, ShowingStartsAndHidingStopsTheSession)
{
    FakeChatService& service = showPane();
    EXPECT_EQ(service.calls, QStringList{QStringLiteral("start")});
    view->hide();
    EXPECT_EQ(service.calls.last(), QStringLiteral("stop"));
    EXPECT_FALSE(vm->isProcessReady());
    view->show();
    ASSERT_TRUE(waitUntil([&] { return vm->isProcessReady(); }));
    EXPECT_EQ(service.calls.count(QStringLiteral("start")), 2);
}

TEST_F(ChatPane, TheComposerSendsThroughTheViewModelAndKeepsARefusedDraft)
{
    FakeChatService& service = showPane();
    auto* composer = view->input()->composer();
    composer->setFocus();
    QTest::keyClicks(composer, QStringLiteral("hello"));
    EXPECT_EQ(vm->draftMessage(), QStringLiteral("hello"));
    EXPECT_TRUE(view->input()->sendButton()->isEnabled());
    QTest::keyClick(composer, Qt::Key_Return);
    EXPECT_EQ(composer->toPlainText(), QString());
    EXPECT_EQ(service.calls.last(), QStringLiteral("send hello\\n in - new"));
    EXPECT_TRUE(view->input()->stopButton()->isVisible());
    EXPECT_FALSE(view->header()->picker()->isEnabled()) << "no provider switch while a reply streams";

    // Stop: Send is back at once but stays off, with the reason in the status line, until the
    // tool has exited; what it prints meanwhile is not shown.
    QTest::keyClicks(composer, QStringLiteral("next"));
    QTest::mouseClick(view->input()->stopButton(), Qt::LeftButton);
    EXPECT_TRUE(view->input()->sendButton()->isVisible());
    EXPECT_FALSE(view->input()->sendButton()->isEnabled());
    EXPECT_EQ(view->statusLabel()->text(), QStringLiteral("Stopping\u2026"));
    const int rows = view->transcript()->rowCount();
    service.deliver({E::AssistantMessage{"still going"}, E::ToolUse{"t1", "Bash", "ls"}});
    EXPECT_EQ(view->transcript()->rowCount(), rows);
    service.exit(1);
    EXPECT_TRUE(view->input()->sendButton()->isEnabled());
    EXPECT_EQ(view->statusLabel()->text(), QStringLiteral("Ready"));
    EXPECT_FALSE(view->banner()->isVisible());

    // A refused send keeps the text, and the banner says why.
    service.sendAnswer = ChatLaunchResult::failed;
    QTest::keyClick(composer, Qt::Key_Return);
    EXPECT_EQ(composer->toPlainText(), QStringLiteral("next"));
    EXPECT_TRUE(view->banner()->isVisible());
    EXPECT_EQ(view->banner()->messageLabel()->text(), QStringLiteral("Failed to launch Codex."));
}

TEST_F(ChatPane, TheHeaderSwitchesProviderAndStartsANewChat)
{
    FakeChatService& service = showPane();
    quillora::FlatPicker* picker = view->header()->picker();
    EXPECT_EQ(picker->rows(), (QStringList{QStringLiteral("Codex"), QStringLiteral("Claude")}));
    EXPECT_EQ(picker->title(), QStringLiteral("Codex"));
    EXPECT_GE(picker->width(), picker->sizeHint().width()) << "the title is not cut";
    EXPECT_TRUE(view->header()->newChatButton()->isEnabled());

    send(service, QStringLiteral("hi"));
    EXPECT_FALSE(picker->isEnabled()) << "no switch while a reply streams";
    service.deliver(E::TurnCompleted{});
    EXPECT_TRUE(picker->isEnabled());

    emit picker->rowPicked(1);
    EXPECT_EQ(vm->selectedProvider(), ChatProvider::claude);
    EXPECT_EQ(picker->title(), QStringLiteral("Claude"));
    EXPECT_EQ(view->input()->composer()->placeholderText(), QStringLiteral("Ask Claude..."));
    EXPECT_FALSE(view->header()->newChatButton()->isEnabled()) << "until the new session is ready";
    ASSERT_TRUE(waitUntil([&] { return view->header()->newChatButton()->isEnabled(); }));

    QTest::mouseClick(view->header()->newChatButton(), Qt::LeftButton);
    EXPECT_EQ(vm->messages().size(), 1);
    EXPECT_EQ(vm->messages().first().content, QStringLiteral("New Chat"));
}

// In the window a widget that takes the keyboard (the terminal) follows the pane: a click on a
// button of the pane must leave the keyboard in the composer, also when the button then turns
// off or goes, and the next prompt typed must land there.
TEST_F(ChatPane, ButtonsUsedWithTheMouseLeaveTheKeyboardInTheComposer)
{
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    view = std::make_unique<quillora::chat::ChatView>(*vm, &window);
    row->addWidget(view.get());
    auto* terminal = new QLineEdit;
    row->addWidget(terminal);
    window.resize(700, 600);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_TRUE(waitUntil([&] { return vm->isProcessReady(); }));
    FakeChatService& service = *world->last();
    auto* composer = view->input()->composer();
    const auto type = [](const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); };
    const auto keyboardIsInTheComposer = [&](const char* after) {
        EXPECT_EQ(QApplication::focusWidget(), composer) << after;
        type(QStringLiteral("x"));
        EXPECT_EQ(terminal->text(), QString()) << after;
        EXPECT_TRUE(composer->toPlainText().endsWith(QLatin1Char('x'))) << after;
    };

    QTest::mouseClick(composer->viewport(), Qt::LeftButton);
    type(QStringLiteral("first"));
    QTest::mouseClick(view->input()->sendButton(), Qt::LeftButton);
    EXPECT_EQ(service.calls.last(), QStringLiteral("send first\\n in - new"));
    ASSERT_TRUE(view->input()->stopButton()->isVisible());
    keyboardIsInTheComposer("Send");

    QTest::mouseClick(view->input()->stopButton(), Qt::LeftButton);
    service.exit(0);
    keyboardIsInTheComposer("Stop");

    // The next prompt, sent with Return, is the composer's.
    composer->setText(QString());
    type(QStringLiteral("second"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(service.calls.last().startsWith(QStringLiteral("send second\\n"))) << service.calls.last().toStdString();
    service.deliver(E::TurnCompleted{});
    service.exit(0);

    quillora::FlatPicker* picker = view->header()->picker();
    QTest::mouseClick(picker, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return picker->isExpanded(); }));
    QTest::keyClick(picker->menu(), Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return !picker->isExpanded(); }));
    keyboardIsInTheComposer("the provider picker");

    // A keyboard user still reaches Send with Tab; pressing it there, the keyboard comes back
    // to the composer when Send makes way for Stop.
    type(QStringLiteral("third"));
    ASSERT_TRUE(waitUntil([&] { return view->input()->sendButton()->isEnabled(); }));
    QTest::keyClick(composer, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), view->input()->sendButton());
    QTest::keyClick(view->input()->sendButton(), Qt::Key_Space);
    EXPECT_TRUE(view->input()->stopButton()->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), composer);
    service.exit(0);

    ASSERT_TRUE(waitUntil([&] { return view->header()->newChatButton()->isEnabled(); }));
    QTest::mouseClick(view->header()->newChatButton(), Qt::LeftButton);
    keyboardIsInTheComposer("New Chat");

    view.reset();
}

TEST_F(ChatPane, TheBannerShowsErrorsWithTheirDetailsAndRetries)
{
    FakeChatService& service = showPane();
    send(service, QStringLiteral("hi"));
    service.deliver({E::ErrorDetails{"Reconnecting... 1/5"}, E::ErrorDetails{"Reconnecting... 2/5"}});
    EXPECT_FALSE(view->banner()->isVisible()) << "details alone show no banner";
    service.exit(1);
    ASSERT_TRUE(view->banner()->isVisible());
    EXPECT_EQ(view->banner()->messageLabel()->text(), QStringLiteral("Codex exited unexpectedly."));
    EXPECT_EQ(view->statusLabel()->text(), QStringLiteral("Codex exited unexpectedly."));
    QTest::mouseClick(view->banner()->detailsToggle(), Qt::LeftButton);
    EXPECT_EQ(view->banner()->detailsView()->toPlainText(), QStringLiteral("Reconnecting... 1/5\nReconnecting... 2/5"));
    QTest::mouseClick(view->banner()->retryButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !view->banner()->isVisible(); }));
    EXPECT_EQ(service.calls.count(QStringLiteral("start")), 2);
}

TEST_F(ChatPane, TheSessionIdentifierIsCopiedAndCopiedShowsForASecondAndAHalf)
{
    FakeChatService& service = showPane();
    EXPECT_TRUE(view->statusLabel()->isVisible());
    EXPECT_EQ(view->statusLabel()->text(), QStringLiteral("Ready"));
    send(service, QStringLiteral("hi"));
    service.deliver(E::ThreadStarted{"019a-session"});
    ASSERT_TRUE(view->sessionLabel()->isVisible());
    EXPECT_FALSE(view->statusLabel()->isVisible());
    QApplication::clipboard()->setText(QStringLiteral("something else"));

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(view->sessionLabel(), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("019a-session"));
    EXPECT_EQ(view->sessionLabel()->text(), QStringLiteral("Copied!"));
    // A second copy does not push the end back.
    testsupport::spin(300);
    QTest::mouseClick(view->sessionLabel(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return view->sessionLabel()->text() == QStringLiteral("019a-session"); }, 4000));
    EXPECT_GE(clock.elapsed(), quillora::chat::ChatView::copiedFeedbackMs);
    EXPECT_LT(clock.elapsed(), quillora::chat::ChatView::copiedFeedbackMs + 300 + 1000);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("019a-session"));
}

// An identifier the tool could not be given back is not shown as the session, nor copied.
TEST_F(ChatPane, OnlyASessionIdentifierSafeToPassOnIsShownAndCopied)
{
    FakeChatService& service = showPane();
    send(service, QStringLiteral("hi"));
    for (const QString& unsafe : {QStringLiteral("--dangerous-flag"), QStringLiteral("a\nb"), QString(257, QLatin1Char('a'))}) {
        service.deliver(E::ThreadStarted{unsafe});
        EXPECT_FALSE(view->sessionLabel()->isVisible());
        EXPECT_TRUE(view->statusLabel()->isVisible());
        EXPECT_EQ(view->statusLabel()->text(), QStringLiteral("Ready"));
        QApplication::clipboard()->setText(QStringLiteral("before"));
        QTest::mouseClick(view->statusLabel(), Qt::LeftButton);
        QTest::mouseClick(view->sessionLabel(), Qt::LeftButton);
        EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
    }
    service.deliver(E::ThreadStarted{"019a-session"});
    EXPECT_TRUE(view->sessionLabel()->isVisible());
    EXPECT_EQ(view->sessionLabel()->text(), QStringLiteral("019a-session"));
}

TEST_F(ChatPane, TheTranscriptScrollsToTheNewestMessageOnlyOnChanges)
{
    // A transcript that is already long when the pane is first shown stays at its top.
    vm->startSession();
    ASSERT_TRUE(waitUntil([&] { return vm->isProcessReady(); }));
    FakeChatService& service = *world->last();
    send(service, QStringLiteral("first"));
    for (int i = 0; i < 30; ++i)
        service.deliver(E::AssistantMessage{QStringLiteral("answer %1\n\nwith a second paragraph").arg(i)});
    testsupport::spin(50);
    showPane({420, 400});
    quillora::chat::ChatTranscriptView* transcript = view->transcript();
    QScrollBar* bar = transcript->verticalScrollBar();
    testsupport::spin(300);
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);

    // A new message: an animated scroll that ends with its bottom in view.
    service.deliver(E::AssistantMessage{"the newest"});
    ASSERT_TRUE(waitUntil([&] { return transcript->isScrolling(); }, 1000));
    const int last = transcript->rowCount() - 1;
    ASSERT_TRUE(waitUntil([&] { return !transcript->isScrolling(); }, 2000));
    const QRect newest = transcript->rowGeometry(last);
    EXPECT_EQ(bar->value(), newest.bottom() + 1 - transcript->viewport()->height());

    // Scrolled away, a change of the token alone brings the newest message back: a tool call
    // that gets its result in place.
    service.deliver(E::ToolUse{"t1", "Bash", "ls"});
    ASSERT_TRUE(waitUntil([&] { return !transcript->isScrolling() && bar->value() > 0; }, 2000));
    bar->setValue(0);
    const int rows = transcript->rowCount();
    service.deliver(E::ToolResult{"t1", "ok"});
    EXPECT_EQ(transcript->rowCount(), rows);
    ASSERT_TRUE(waitUntil([&] { return bar->value() == bar->maximum() - quillora::chat::ChatTranscriptView::margin; }, 2000));

    // Removing messages scrolls too; an empty transcript does not.
    vm->resetChat();
    EXPECT_EQ(transcript->rowCount(), 1);
    ASSERT_TRUE(waitUntil([&] { return bar->maximum() == 0; }));
}

TEST_F(ChatPane, RowsAreKeyedByIdAndChangedInPlace)
{
    FakeChatService& service = showPane();
    send(service, QStringLiteral("hi"));
    service.deliver(E::ToolUse{"t1", "Bash", R"({"command":"make"})"});
    quillora::chat::ChatTranscriptView* transcript = view->transcript();
    ASSERT_EQ(transcript->rowCount(), 2);
    quillora::chat::ChatMessageRowView* toolRow = transcript->row(1);
    auto* bubble = dynamic_cast<quillora::chat::ToolMessageBubbleView*>(toolRow->bubble());
    ASSERT_TRUE(bubble);
    EXPECT_EQ(bubble->statusName(), QStringLiteral("Pending"));
    service.deliver(E::ToolResult{"t1", "ok"});
    EXPECT_EQ(transcript->row(1), toolRow);
    EXPECT_EQ(toolRow->bubble(), bubble);
    EXPECT_EQ(bubble->statusName(), QStringLiteral("Completed"));
    EXPECT_EQ(toolRow->id(), vm->messages().at(1).id);

    // Rows stand one under the other, 12 apart.
    service.deliver({E::AssistantMessage{"a"}, E::AssistantMessage{"b"}});
    for (int i = 1; i < transcript->rowCount(); ++i)
        EXPECT_EQ(transcript->rowGeometry(i).top(), transcript->rowGeometry(i - 1).bottom() + 1 + 12);
    // User text sits at the trailing side, answers at the leading side.
    const auto panel = [&](int index) {
        return static_cast<quillora::chat::ChatMarkdownBubbleView*>(transcript->row(index)->bubble())->panelRect();
    };
    EXPECT_EQ(panel(0).right() + 1, transcript->row(0)->width());
    EXPECT_LT(panel(0).width(), transcript->row(0)->width() / 2) << "the panel hugs a short text";
    EXPECT_EQ(panel(3).left(), 0);
}

// An answer whose estimated height is far from what it measures: wrapped text, a list and code.
QString mixedAnswer(int i)
{
    return QStringLiteral("Answer %1 with `code` and **bold** words that wrap at the width of the bubble, and then "
                          "some more text to wrap again.\n\n- one\n- two\n\n```\nint x = %1;\n```\n")
        .arg(i);
}

using quillora::chat::ChatMarkdownBubbleView;
using quillora::chat::ChatMessageRowView;
using quillora::chat::ChatTranscriptView;

// The row views that exist, once those let go are gone.
qsizetype rowViews(ChatTranscriptView& transcript)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return transcript.viewport()->findChildren<ChatMessageRowView*>(Qt::FindDirectChildrenOnly).size();
}

TEST_F(ChatPane, OnlyRowsNearTheViewportAreBuiltAndHeightsSettleToWhatTheyMeasure)
{
    FakeChatService& service = showPane({420, 400});
    send(service, QStringLiteral("first"));
    for (int i = 0; i < 200; ++i)
        service.deliver(E::AssistantMessage{mixedAnswer(i)});
    ChatTranscriptView* transcript = view->transcript();
    QScrollBar* bar = transcript->verticalScrollBar();
    ASSERT_TRUE(waitUntil([&] { return transcript->isSettled() && !transcript->isScrolling(); }, 20000));
    EXPECT_EQ(bar->value(), bar->maximum() - ChatTranscriptView::margin) << "the newest message's bottom is in view";

    // Far rows hold nothing: the rows built are those near the end.
    EXPECT_LT(transcript->builtCount(), 30);
    EXPECT_EQ(rowViews(*transcript), transcript->builtCount());
    EXPECT_EQ(transcript->row(0), nullptr);
    std::vector<int> settled;
    int estimatesOff = 0;
    for (int i = 0; i < transcript->rowCount(); ++i) {
        EXPECT_TRUE(transcript->isMeasured(i)) << i;
        settled.push_back(transcript->rowGeometry(i).height());
        estimatesOff += settled.back()
            != ChatMessageRowView::estimatedHeight(vm->messages().at(i), transcript->rowGeometry(i).width(), transcript->font());
    }
    EXPECT_GT(estimatesOff, 100) << "settling measured what was estimated";
    const int contentHeight = transcript->contentHeight();

    // Each settled height is what the row measures once it is shown again, so nothing moves
    // when the user scrolls through.
    std::vector<bool> seen(settled.size());
    for (int value = 0;; value = std::min(bar->maximum(), value + transcript->viewport()->height())) {
        bar->setValue(value);
        EXPECT_LT(transcript->builtCount(), 30);
        for (int i = 0; i < transcript->rowCount(); ++i) {
            if (!transcript->row(i) || seen[i])
                continue;
            seen[i] = true;
            EXPECT_EQ(transcript->row(i)->heightForWidth(transcript->rowGeometry(i).width()), settled[i]) << i;
            EXPECT_EQ(transcript->row(i)->geometry().top(), transcript->rowGeometry(i).top() - value) << i;
        }
        if (value == bar->maximum())
            break;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), transcript->rowCount());
    EXPECT_EQ(transcript->contentHeight(), contentHeight);
    EXPECT_EQ(transcript->row(0), nullptr) << "let go again at the end";
    EXPECT_EQ(rowViews(*transcript), transcript->builtCount());
}

// While rows below and above are built and let go, a selection, a tool call opened, and the
// thinking that is still open come back as they were.
TEST_F(ChatPane, RowsBuiltAgainKeepTheirSelectionOpenCallsAndPulse)
{
    FakeChatService& service = showPane({420, 400});
    send(service, QStringLiteral("first"));
    service.deliver({E::AssistantMessage{"The answer to copy"}, E::ToolUse{"t1", "Bash", "ls"}, E::ToolResult{"t1", "a\nb"}});
    for (int i = 0; i < 60; ++i)
        service.deliver(E::AssistantMessage{mixedAnswer(i)});
    service.deliver(E::Thinking{"Still *thinking*"});
    ChatTranscriptView* transcript = view->transcript();
    QScrollBar* bar = transcript->verticalScrollBar();
    ASSERT_TRUE(waitUntil([&] { return transcript->isSettled() && !transcript->isScrolling(); }, 20000));
    const int thinking = transcript->rowCount() - 1;
    ASSERT_NE(transcript->row(thinking), nullptr);

    bar->setValue(0);
    EXPECT_EQ(transcript->row(thinking), nullptr);
    auto* answer = static_cast<ChatMarkdownBubbleView*>(transcript->row(1)->bubble());
    answer->markdown()->host().selectAll();
    auto* tool = dynamic_cast<quillora::chat::ToolMessageBubbleView*>(transcript->row(2)->bubble());
    ASSERT_TRUE(tool);
    tool->setExpanded(true);
    const int openHeight = transcript->rowGeometry(2).height();

    bar->setValue(bar->maximum());
    EXPECT_EQ(transcript->row(1)->bubble(), answer) << "a row holding a selection is kept";
    EXPECT_EQ(transcript->row(2), nullptr);
    QTest::keyClick(answer->markdown()->focusProxy(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("The answer to copy"));
    auto* pulsing = dynamic_cast<quillora::chat::ThinkingMessageBubbleView*>(transcript->row(thinking)->bubble());
    ASSERT_TRUE(pulsing);
    EXPECT_TRUE(pulsing->isPulsing());

    answer->markdown()->host().clearSelection();
    answer->clearFocus();
    bar->setValue(bar->maximum() - 1);
    EXPECT_EQ(transcript->row(1), nullptr) << "let go once nothing holds it";
    bar->setValue(0);
    tool = dynamic_cast<quillora::chat::ToolMessageBubbleView*>(transcript->row(2)->bubble());
    ASSERT_TRUE(tool);
    EXPECT_TRUE(tool->isExpanded());
    EXPECT_EQ(transcript->rowGeometry(2).height(), openHeight);
}

TEST_F(ChatPane, TheNewestMessageStaysInViewWhileAnAnswerStreams)
{
    FakeChatService& service = showPane({420, 400});
    send(service, QStringLiteral("go"));
    ChatTranscriptView* transcript = view->transcript();
    QScrollBar* bar = transcript->verticalScrollBar();
    // Its bottom at the viewport's, or the transcript's end margin below it.
    const auto newestInView = [&] {
        const int below = transcript->rowGeometry(transcript->rowCount() - 1).bottom() + 1 - bar->value()
            - transcript->viewport()->height();
        return transcript->row(transcript->rowCount() - 1)
            && (bar->maximum() == 0 || (below <= 0 && below >= -ChatTranscriptView::margin));
    };
    for (int i = 0; i < 40; ++i) {
        service.deliver(E::AssistantMessage{mixedAnswer(i)});
        // Sometimes the next part comes before the scroll to this one is over.
        testsupport::spin(i % 4 == 0 ? 250 : 10);
        EXPECT_TRUE(transcript->isScrolling() || newestInView()) << i;
    }

    // A long answer is laid out lazily, its end first: the pane stays at its end while the rest
    // of it is measured, and far from what is shown its blocks hold no layout.
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += QStringLiteral("Paragraph %1 of a long answer, with *some* words.\n\n").arg(i);
    service.deliver(E::AssistantMessage{text});
    ASSERT_TRUE(waitUntil([&] { return !transcript->isScrolling() && newestInView(); }, 5000));
    auto* bubble = dynamic_cast<ChatMarkdownBubbleView*>(transcript->row(transcript->rowCount() - 1)->bubble());
    ASSERT_TRUE(bubble);
    EXPECT_TRUE(bubble->isLazy());
    while (!transcript->isSettled()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_TRUE(transcript->isScrolling() || newestInView());
    }
    ASSERT_TRUE(waitUntil([&] { return !transcript->isScrolling(); }));
    EXPECT_TRUE(newestInView());
    EXPECT_LT(mdview::collectTextNodes(*bubble->markdown()->host().root()).size(), 300u);
    const QString dump = bubble->markdown()->dump();
    EXPECT_TRUE(dump.contains(QStringLiteral("Paragraph 2999"))) << "the end is built";
    EXPECT_FALSE(dump.contains(QStringLiteral("Paragraph 1000 "))) << "the middle is not";

    // Scrolled to its middle, the middle is built and shown where the transcript says.
    const QRect answer = transcript->rowGeometry(transcript->rowCount() - 1);
    bar->setValue(answer.top() + answer.height() / 2);
    ASSERT_EQ(transcript->row(transcript->rowCount() - 1)->bubble(), bubble);
    EXPECT_TRUE(bubble->markdown()->dump().contains(QStringLiteral("Paragraph 1500 ")));
    EXPECT_EQ(transcript->row(transcript->rowCount() - 1)->geometry().top(), answer.top() - bar->value());

    // Copying it takes the whole answer, the blocks never built too.
    bubble->markdown()->host().selectAll();
    QTest::keyClick(bubble->markdown()->focusProxy(), Qt::Key_C, Qt::ControlModifier);
    const QStringList copied = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(copied.size(), 3000);
    EXPECT_EQ(copied.front(), QStringLiteral("Paragraph 0 of a long answer, with some words."));
    EXPECT_EQ(copied.at(1000), QStringLiteral("Paragraph 1000 of a long answer, with some words."));
    EXPECT_EQ(copied.back(), QStringLiteral("Paragraph 2999 of a long answer, with some words."));
}

// The pane over the real services, with the scripted stand-ins of the tools -----------------------

QString scriptedTool(const char* name)
{
    return QStringLiteral(QUILLORA_CHATVIEW_TESTS "/tools/") + QLatin1String(name);
}

ChatViewModelServices servicesFor(ChatProvider provider, const QString& script, std::shared_ptr<platform::UserDefaults> defaults)
{
    ChatProviderResolverService resolvers;
    for (ExecutableResolverService* resolver : {&resolvers.codexResolver.resolver, &resolvers.claudeResolver.resolver}) {
        resolver->knownPaths = {QStringLiteral("/nonexistent/tool")};
        resolver->whichPath = QStringLiteral("/bin/false");
    }
    (provider == ChatProvider::codex ? resolvers.codexResolver.resolver : resolvers.claudeResolver.resolver).knownPaths = {script};
    return ChatViewModelServices::standard(std::move(defaults), resolvers);
}

TEST(ChatPaneWithTools, AScriptedTurnReachesTheTranscript)
{
    QTemporaryDir dir;
    qputenv("SCRIPTED_PAUSE", "0.02");
    auto defaults = std::make_shared<platform::UserDefaults>(dir.filePath(QStringLiteral("defaults.json")));
    ChatViewModel vm(servicesFor(ChatProvider::claude, scriptedTool("scripted-claude.sh"), defaults));
    vm.setWorkingDirectoryURL(QUrl::fromLocalFile(dir.path()));
    quillora::chat::ChatView view(vm);
    view.resize(480, 700);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return vm.isProcessReady(); }));
    EXPECT_EQ(vm.selectedProvider(), ChatProvider::claude);
    QTest::keyClicks(view.input()->composer(), QStringLiteral("What is this?"));
    QTest::keyClick(view.input()->composer(), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !vm.isStreaming() && view.input()->sendButton()->isVisible(); }, 10000));
    QStringList rows;
    for (int i = 0; i < view.transcript()->rowCount(); ++i) {
        const auto* row = view.transcript()->row(i);
        static const char* kinds[] = {"user", "assistant", "tool", "parsingError", "processing", "thinking", "notice"};
        QString line = QLatin1String(kinds[int(row->kind())]);
        if (const auto* tool = dynamic_cast<const quillora::chat::ToolMessageBubbleView*>(row->bubble()))
            line += QLatin1Char(' ') + tool->label() + QLatin1Char(' ') + tool->statusName();
        rows.append(line);
    }
    EXPECT_EQ(rows, (QStringList{QStringLiteral("user"), QStringLiteral("thinking"), QStringLiteral("tool Read README.md Completed"),
                                 QStringLiteral("tool Bash ls -la src Completed"), QStringLiteral("assistant")}));
    EXPECT_EQ(vm.currentSessionMode().resumeSessionID, QStringLiteral("5f0c1c4e-demo"));
    EXPECT_FALSE(vm.lastError());
}

// Stop interrupts; a tool that carries on regardless is terminated a grace period later, and
// killed a grace period after that if it ignores that too. The status says "Stopping…" all the
// while, and nothing the tool prints after Stop reaches the transcript.
TEST(ChatPaneWithTools, StopEndsAToolThatIgnoresTheInterruptAndShowsNothingMoreOfIt)
{
    const struct {
        const char* ignores;
        int gracePeriods; // before the signal that ends it
    } cases[] = {{"INT", 1}, {"INT TERM", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ignores);
        qputenv("STUBBORN_IGNORES", c.ignores);
        QTemporaryDir dir;
        auto defaults = std::make_shared<platform::UserDefaults>(dir.filePath(QStringLiteral("defaults.json")));
        ChatViewModel vm(servicesFor(ChatProvider::claude, scriptedTool("stubborn-claude.sh"), defaults));
        quillora::chat::ChatView view(vm);
        view.resize(480, 700);
        view.show();
        ASSERT_TRUE(waitUntil([&] { return vm.isProcessReady(); }));
        vm.setDraftMessage(QStringLiteral("go on"));
        vm.sendDraft();
        ASSERT_TRUE(waitUntil([&] { return vm.messages().size() >= 3; }, 5000));
        QStringList statuses;
        QObject::connect(&vm, &ChatViewModel::statusTextChanged, [&] { statuses.append(vm.statusText()); });
        QTest::mouseClick(view.input()->stopButton(), Qt::LeftButton);
        const qsizetype shown = vm.messages().size();
        EXPECT_EQ(view.statusLabel()->text(), QStringLiteral("Stopping\u2026"));
        EXPECT_FALSE(view.sessionLabel()->isVisible());
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(waitUntil([&] { return !vm.isStopping(); }, 4 * int(ChatCLIProcessRunner::stopGracePeriod.count())));
        EXPECT_GE(clock.elapsed(), c.gracePeriods * ChatCLIProcessRunner::stopGracePeriod.count() - 100)
            << "it printed on after the signals it ignores";
        EXPECT_EQ(statuses,
                  QStringList({QStringLiteral("Stopping\u2026"), QStringLiteral("Ready \u2022 SessionId: 7d41-stubborn")}));
        EXPECT_EQ(vm.messages().size(), shown);
        EXPECT_FALSE(vm.lastError());
        EXPECT_EQ(view.sessionLabel()->text(), QStringLiteral("7d41-stubborn"));
        vm.setDraftMessage(QStringLiteral("next"));
        EXPECT_TRUE(view.input()->sendButton()->isEnabled());
    }
    qunsetenv("STUBBORN_IGNORES");
}

TEST(ChatPaneWithTools, ClosingThePaneMidTurnLeavesNoProcess)
{
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    qputenv("SCRIPTED_PID_FILE", QFile::encodeName(pidFile));
    auto defaults = std::make_shared<platform::UserDefaults>(dir.filePath(QStringLiteral("defaults.json")));
    auto vm = std::make_unique<ChatViewModel>(servicesFor(ChatProvider::codex, scriptedTool("scripted-codex.sh"), defaults));
    auto view = std::make_unique<quillora::chat::ChatView>(*vm);
    view->show();
    ASSERT_TRUE(waitUntil([&] { return vm->isProcessReady(); }));
    vm->setDraftMessage(QStringLiteral("build"));
    vm->sendDraft();
    ASSERT_TRUE(waitUntil([&] { return vm->errorDetails().has_value(); }, 5000)) << "the tool reports its progress";
    QFile file(pidFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString proc = QStringLiteral("/proc/") + QString::fromLatin1(file.readAll().trimmed());
    ASSERT_TRUE(QFile::exists(proc));
    // As the window does when it closes: the pane goes first, then its model.
    view.reset();
    vm.reset();
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(proc); }, 4000));
    qunsetenv("SCRIPTED_PID_FILE");
}

// Bubbles ---------------------------------------------------------------------------------------------

ChatMessageModel toolMessage(QString content, bool pending, bool hasResult, std::optional<QString> label = QStringLiteral("Bash ls"))
{
    ChatMessageModel message;
    message.id = QUuid::createUuid();
    message.role = ChatMessageRole::tool;
    message.content = std::move(content);
    message.isPending = pending;
    message.toolHasResult = hasResult;
    message.toolLabel = std::move(label);
    return message;
}

TEST(ToolBubble, StatusMarkAndBody)
{
    const struct {
        bool pending;
        bool hasResult;
        const char* status;
    } cases[] = {{true, false, "Pending"}, {true, true, "Pending"}, {false, true, "Completed"}, {false, false, "No result"}};
    for (const auto& c : cases) {
        quillora::chat::ChatMessageRowView row(toolMessage(QStringLiteral("x"), c.pending, c.hasResult));
        auto* bubble = static_cast<quillora::chat::ToolMessageBubbleView*>(row.bubble());
        EXPECT_EQ(bubble->statusName(), QString::fromLatin1(c.status));
    }
    quillora::chat::ChatMessageRowView unlabeled(toolMessage(QStringLiteral(" \n\n "), false, false, std::nullopt));
    auto* bubble = static_cast<quillora::chat::ToolMessageBubbleView*>(unlabeled.bubble());
    EXPECT_EQ(bubble->label(), QStringLiteral("Tool"));
    EXPECT_EQ(bubble->displayedBody(), QStringLiteral("(empty)"));
    bubble->setMessage(toolMessage(QStringLiteral("\n  total 0\n\n"), false, true));
    EXPECT_EQ(bubble->displayedBody(), QStringLiteral("total 0"));
    EXPECT_EQ(bubble->sizeFor(2000).width(), quillora::chat::ToolMessageBubbleView::maxWidth);
}

TEST(ToolBubble, AHugeOutputIsNotLaidOutUntilOpened)
{
    const QString output = QStringLiteral("a line of a very long build log\n").repeated(128 * 1024); // 4 MiB
    quillora::chat::ChatMessageRowView row(toolMessage(output, false, true));
    row.resize(500, 100);
    row.show();
    auto* bubble = static_cast<quillora::chat::ToolMessageBubbleView*>(row.bubble());
    QElapsedTimer clock;
    clock.start();
    const int collapsed = row.heightForWidth(500);
    EXPECT_LT(collapsed, 60);
    EXPECT_EQ(bubble->body(), nullptr) << "nothing is built for the body while collapsed";
    bubble->setMessage(toolMessage(output + QStringLiteral("more\n"), false, true));
    EXPECT_EQ(bubble->body(), nullptr);

    bubble->setExpanded(true);
    ASSERT_NE(bubble->body(), nullptr);
    EXPECT_TRUE(bubble->body()->toPlainText().endsWith(QStringLiteral("more")));
    EXPECT_EQ(row.heightForWidth(500) - collapsed, 6 + quillora::chat::ToolMessageBubbleView::maxBodyHeight)
        << "the open body scrolls within a bounded height";
}

TEST(ThinkingBubble, OnlyPendingThinkingPulses)
{
    ChatMessageModel thinking;
    thinking.id = QUuid::createUuid();
    thinking.role = ChatMessageRole::system;
    thinking.isThinking = true;
    thinking.isPending = true;
    thinking.content = QStringLiteral("Let me *see*");
    quillora::chat::ChatMessageRowView row(thinking);
    row.resize(300, 80);
    row.show();
    auto* bubble = static_cast<quillora::chat::ThinkingMessageBubbleView*>(row.bubble());
    EXPECT_EQ(row.kind(), quillora::chat::ChatMessageRowView::Kind::thinking);
    EXPECT_TRUE(bubble->isPulsing());
    thinking.isPending = false;
    row.setMessage(thinking);
    EXPECT_FALSE(bubble->isPulsing());
    EXPECT_EQ(bubble->opacity(), 1.0);

    // The pulse follows the wall clock: 0.35 to 1 with a period of 1.1 s.
    const QDateTime start = QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    EXPECT_NEAR(quillora::chat::ThinkingMessageBubbleView::pulseOpacity(start), 0.675, 1e-9);
    EXPECT_NEAR(quillora::chat::ThinkingMessageBubbleView::pulseOpacity(start.addMSecs(275)), 1.0, 1e-9);
    EXPECT_NEAR(quillora::chat::ThinkingMessageBubbleView::pulseOpacity(start.addMSecs(825)), 0.35, 1e-9);
    EXPECT_NEAR(quillora::chat::ThinkingMessageBubbleView::pulseOpacity(start.addMSecs(1100 * 1000 + 275)), 1.0, 1e-6);
}

TEST(MessageRows, KindsFollowRoleThenFlags)
{
    using Kind = quillora::chat::ChatMessageRowView::Kind;
    const struct {
        ChatMessageRole role;
        bool parsingError, processing, thinking;
        Kind kind;
    } cases[] = {
        {ChatMessageRole::system, true, true, true, Kind::parsingError},
        {ChatMessageRole::system, false, true, true, Kind::processing},
        {ChatMessageRole::system, false, false, true, Kind::thinking},
        {ChatMessageRole::system, false, false, false, Kind::notice},
        {ChatMessageRole::user, true, true, true, Kind::user},
        {ChatMessageRole::assistant, false, true, false, Kind::assistant},
        {ChatMessageRole::tool, false, false, true, Kind::tool},
    };
    for (const auto& c : cases) {
        ChatMessageModel message;
        message.role = c.role;
        message.isParsingError = c.parsingError;
        message.isProcessing = c.processing;
        message.isThinking = c.thinking;
        EXPECT_EQ(quillora::chat::ChatMessageRowView::kindOf(message), c.kind);
    }
}

TEST(MessageRows, SystemTextsArePlain)
{
    ChatMessageModel notice;
    notice.role = ChatMessageRole::system;
    notice.content = QStringLiteral("<b>New</b> Chat");
    for (const bool parsingError : {false, true}) {
        notice.isParsingError = parsingError;
        quillora::chat::ChatMessageRowView row(notice);
        const QList<QLabel*> labels = row.findChildren<QLabel*>();
        ASSERT_FALSE(labels.isEmpty());
        bool shown = false;
        for (const QLabel* label : labels) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            shown |= label->text() == notice.content;
        }
        EXPECT_TRUE(shown);
    }
}

// A reply steered by a file in the project must not send data to any host through an image URL.
TEST(MarkdownBubble, ImagesAreShownAsLinksAndNeverFetched)
{
    testsupport::HttpServer server;
    ASSERT_TRUE(server.listen());
    const QString image = server.url(QStringLiteral("/secret.png?data=token")).toString();
    ChatMessageModel answer;
    answer.id = QUuid::createUuid();
    answer.role = ChatMessageRole::assistant;
    answer.content = QStringLiteral("Look: ![the chart](%1)\n\n![](%1)\n\n[![badge](%1)](https://example.com/ci)\n\n"
                                    "<img src=\"%1\">\n\n![ref][r]\n\n[r]: %1\n")
                         .arg(image);
    quillora::chat::ChatMessageRowView row(answer);
    row.resize(600, 400);
    row.show();
    testsupport::spin(500);
    EXPECT_EQ(server.requests().size(), 0);
    auto* bubble = static_cast<quillora::chat::ChatMarkdownBubbleView*>(row.bubble());
    const QString dump = bubble->markdown()->dump();
    EXPECT_TRUE(dump.contains(QStringLiteral("the chart"))) << dump.toStdString();
    EXPECT_TRUE(dump.contains(QStringLiteral("badge")));
    EXPECT_FALSE(dump.contains(QStringLiteral("Image"))) << dump.toStdString();

    const auto content = quillora::chat::imagesAsLinks(
        markdown::MarkdownContent(std::string_view("![a](x.png) ![](y.png#gh-dark-mode-only) [![b](z.png)](https://ci)")), false);
    EXPECT_EQ(content.renderMarkdown(), "[a](x.png)  [b](https://ci)");
    const auto dark = quillora::chat::imagesAsLinks(markdown::MarkdownContent(std::string_view("![](y.png#gh-dark-mode-only)")), true);
    EXPECT_EQ(dark.renderMarkdown(), "[y.png\\#gh-dark-mode-only](y.png#gh-dark-mode-only)");
}

} // namespace
