// The create form: its length limits in user-perceived characters, the e-mail rule, the save
// button, the close rule and the outcome alerts.

#include "BoardFixture.h"

#include "feedback/board/BoardButtons.h"
#include "feedback/board/CreateWishView.h"
#include "feedback/board/TextLimits.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace plendra;
using namespace plendra::testing;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

QString repeated(const QString& piece, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

// A family of four: seven code points, eleven UTF-16 units, one character.
const QString family = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7\xE2\x80\x8D\xF0\x9F\x91\xA6");

void fill(CreateWishView& form, const QString& title, const QString& description, const QString& email = {})
{
    form.titleField()->setText(title);
    form.descriptionField()->setPlainText(description);
    if (form.emailField())
        form.emailField()->setText(email);
}

} // namespace

TEST(TextLimits, CountAndCutUserPerceivedCharacters)
{
    const struct {
        QString text;
        qsizetype limit;
        QString cut;
    } cases[] = {
        {QString(), 3, QString()},
        {QStringLiteral("abcd"), 4, QStringLiteral("abcd")},
        {QStringLiteral("abcde"), 4, QStringLiteral("abcd")},
        {repeated(family, 3), 2, repeated(family, 2)},
        {QStringLiteral("e\u0301e\u0301e\u0301"), 2, QStringLiteral("e\u0301e\u0301")},
        {QStringLiteral("a\r\nb"), 2, QStringLiteral("a\r\n")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(leftGraphemes(c.text, c.limit), c.cut) << c.text.toStdString();
        EXPECT_EQ(graphemeCount(c.cut), std::min(c.limit, graphemeCount(c.text)));
    }
    EXPECT_EQ(graphemeCount(repeated(family, 50)), 50);

    // More than five characters holding an "@" and a ".", wherever they are.
    for (const char* good : {"a@b.co", ".@....", "@@@@.x", "ab.cd@"})
        EXPECT_TRUE(isWellFormedEmail(QString::fromLatin1(good))) << good;
    for (const char* bad : {"abc", "a@b.c", "abcdef", "abc@de", "abc.de", ""})
        EXPECT_FALSE(isWellFormedEmail(QString::fromLatin1(bad))) << bad;
}

using CreateForm = BoardTest;

TEST_F(CreateForm, InputPastALimitIsCutToItAndCounted)
{
    CreateWishView form({}, {});
    const struct {
        QString typed;
        bool title;
        QString kept;
        QString counter;
    } cases[] = {
        {repeated(QStringLiteral("x"), 60), true, repeated(QStringLiteral("x"), 50), QStringLiteral("50/50")},
        {repeated(family, 51), true, repeated(family, 50), QStringLiteral("50/50")},
        {repeated(QStringLiteral("y"), 501), false, repeated(QStringLiteral("y"), 500), QStringLiteral("500/500")},
        {repeated(QStringLiteral("é"), 12), false, repeated(QStringLiteral("é"), 12), QStringLiteral("12/500")},
    };
    for (const auto& c : cases) {
        if (c.title) {
            form.titleField()->setText(c.typed);
            EXPECT_EQ(form.titleField()->text(), c.kept);
            EXPECT_EQ(form.titleCounter()->text(), c.counter);
        } else {
            form.descriptionField()->setPlainText(c.typed);
            EXPECT_EQ(form.descriptionField()->toPlainText(), c.kept);
            EXPECT_EQ(form.descriptionCounter()->text(), c.counter);
        }
    }
    // Typing at the limit adds nothing.
    form.titleField()->setText(repeated(QStringLiteral("x"), 50));
    QTest::keyClicks(form.titleField(), QStringLiteral("zz"));
    EXPECT_EQ(form.titleField()->text(), repeated(QStringLiteral("x"), 50));
}

TEST_F(CreateForm, SaveWantsBothTitleAndDescription)
{
    CreateWishView form({}, {});
    EXPECT_FALSE(form.saveButton()->isEnabled());
    form.titleField()->setText(QStringLiteral("T"));
    EXPECT_FALSE(form.saveButton()->isEnabled());
    form.descriptionField()->setPlainText(QStringLiteral("D"));
    EXPECT_TRUE(form.saveButton()->isEnabled());
    form.titleField()->clear();
    EXPECT_FALSE(form.saveButton()->isEnabled());
}

TEST_F(CreateForm, TheEmailRuleRefusesOrSendsAsTheFieldIsConfigured)
{
    service.reply(FeedbackTestService::createWishPath,
                  encodeJson(CreateWishResponse{QStringLiteral("T"), QStringLiteral("D"), WishState::pending}));
    using Field = Configuration::EmailField;
    const struct {
        Field field;
        QString email;
        const char* refusal; // nothing: sent with this e-mail
    } cases[] = {
        {Field::none, QString(), nullptr},
        {Field::optional, QString(), nullptr},
        {Field::optional, QStringLiteral("abc"), "Info|Wrong email format."},
        {Field::optional, QStringLiteral("abc@de"), "Info|Wrong email format."},
        {Field::optional, QStringLiteral("a@b.co"), nullptr},
        {Field::required, QString(), "Info|Please enter your email address."},
        {Field::required, QStringLiteral("a@b"), "Info|Wrong email format."},
        {Field::required, QStringLiteral(" me@example.org "), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.email.toStdString());
        configure([&](Configuration& config) { config.emailField = c.field; });
        CreateWishView form({}, {});
        form.show();
        EXPECT_EQ(form.emailField() != nullptr, c.field != Field::none);
        const int sentBefore = service.server().requestCount(FeedbackTestService::createWishPath);
        fill(form, QStringLiteral(" T "), QStringLiteral("D\n"), c.email);
        form.save();
        QMessageBox* alert = waitForAlert(&form, "resultAlert");
        if (c.refusal) {
            EXPECT_EQ(alertText(alert), QString::fromUtf8(c.refusal));
            EXPECT_EQ(service.server().requestCount(FeedbackTestService::createWishPath), sentBefore);
            continue;
        }
        EXPECT_EQ(alertText(alert), QStringLiteral("Info|Successfully created"));
        const auto sent = service.server().requests(FeedbackTestService::createWishPath);
        ASSERT_EQ(sent.size(), sentBefore + 1);
        const auto body = decodeJson<CreateWishRequest>(sent.last().body);
        ASSERT_TRUE(body);
        EXPECT_EQ(body->title, QStringLiteral(" T "));
        EXPECT_EQ(body->description, QStringLiteral("D\n"));
        EXPECT_EQ(body->email, std::optional(c.email)) << "the e-mail is always sent, empty when none was typed";
        EXPECT_EQ(body->state, WishState::pending);
    }
}

TEST_F(CreateForm, SuccessCallsThePresenterOnceThenCloses)
{
    service.reply(FeedbackTestService::createWishPath,
                  encodeJson(CreateWishResponse{QStringLiteral("T"), QStringLiteral("D"), WishState::pending}), 200, 200);
    QWidget presenter;
    presenter.show();
    int completions = 0;
    QPointer<BoardSheet> sheet = CreateWishView::present(&presenter, [&] { ++completions; });
    auto* form = qobject_cast<CreateWishView*>(sheet->content());
    fill(*form, QStringLiteral("T"), QStringLiteral("D"));
    form->saveButton()->click();
    EXPECT_TRUE(form->saveButton()->isLoading());
    form->saveButton()->click(); // pressing while loading does nothing
    QMessageBox* alert = waitForAlert(form, "resultAlert");
    ASSERT_TRUE(alert);
    EXPECT_FALSE(form->saveButton()->isLoading());
    EXPECT_EQ(completions, 0);
    accept(alert);
    EXPECT_EQ(completions, 1);
    ASSERT_TRUE(waitUntil([&] { return sheet.isNull(); }));
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(service.server().requestCount(FeedbackTestService::createWishPath), 1);
}

TEST_F(CreateForm, AFailureKeepsTheFormAsTyped)
{
    service.reply(FeedbackTestService::createWishPath, R"({"reason":"missingApiHeaderKey"})", 401);
    int completions = 0;
    CreateWishView form([&] { ++completions; }, {});
    form.show();
    fill(form, QStringLiteral("Tabs"), QStringLiteral("Please"), QStringLiteral("me@example.org"));
    form.save();
    QMessageBox* alert = waitForAlert(&form, "resultAlert");
    EXPECT_EQ(alertText(alert), QStringLiteral("Info|Missing api header key."));
    accept(alert);
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(form.titleField()->text(), QStringLiteral("Tabs"));
    EXPECT_EQ(form.descriptionField()->toPlainText(), QStringLiteral("Please"));
    EXPECT_EQ(form.emailField()->text(), QStringLiteral("me@example.org"));
    EXPECT_TRUE(form.saveButton()->isEnabled());
    EXPECT_FALSE(form.saveButton()->isLoading());
}

TEST_F(CreateForm, ClosingAsksFirstOnceAnythingIsTyped)
{
    QWidget presenter;
    presenter.show();
    // Nothing typed: closes at once, Escape alike.
    QPointer<BoardSheet> sheet = CreateWishView::present(&presenter, {});
    sheet->content()->findChild<CloseButton*>()->click();
    ASSERT_TRUE(waitUntil([&] { return sheet.isNull(); }));

    for (const int field : {0, 1, 2}) {
        sheet = CreateWishView::present(&presenter, {});
        auto* form = qobject_cast<CreateWishView*>(sheet->content());
        if (field == 0)
            form->titleField()->setText(QStringLiteral(" "));
        else if (field == 1)
            form->descriptionField()->setPlainText(QStringLiteral(" "));
        else
            form->emailField()->setText(QStringLiteral(" "));
        // Escape goes through the same rule as the close button; Cancel keeps the form.
        QTest::keyClick(sheet, Qt::Key_Escape);
        QMessageBox* confirm = waitForAlert(form, "discardAlert");
        ASSERT_TRUE(confirm) << field;
        EXPECT_EQ(alertText(confirm), QStringLiteral("Info|Discard entered information?"));
        confirm->button(QMessageBox::Cancel)->click();
        spin(50);
        ASSERT_FALSE(sheet.isNull());
        EXPECT_TRUE(sheet->isVisible());
        form->findChild<CloseButton*>()->click();
        confirm = waitForAlert(form, "discardAlert");
        ASSERT_TRUE(confirm);
        accept(confirm);
        ASSERT_TRUE(waitUntil([&] { return sheet.isNull(); })) << field;
    }
}
