// What the view reads of a cell's link: the parameters, the target and the id.
#include "TerminalScript.h"

#include <gtest/gtest.h>

namespace terminal::test {
namespace {

TEST(Hyperlinks, PayloadsSplitIntoParametersTargetAndId)
{
    const struct {
        const char* payload;
        const char* params;
        const char* uri;
        const char* id;
    } cases[] = {
        {";http://a.example/x;y", "", "http://a.example/x;y", ""},
        {"id=42;file:///tmp/a", "id=42", "file:///tmp/a", "42"},
        {"k=v:id=abc:z=1;https://b", "k=v:id=abc:z=1", "https://b", "abc"},
        {"xid=1:ids=2;u", "xid=1:ids=2", "u", ""},
        {"no-separator", "", "no-separator", ""},
    };
    for (const auto& c : cases) {
        const Hyperlink link = Hyperlink::fromPayload(c.payload);
        EXPECT_EQ(link.params, c.params) << c.payload;
        EXPECT_EQ(link.uri, c.uri) << c.payload;
        EXPECT_EQ(link.id(), c.id) << c.payload;
    }
}

TEST(Hyperlinks, CellsReadBackTheLinkTheyWerePrintedUnder)
{
    RecordingDelegate host;
    Terminal terminal(&host);
    terminal.feed("a\x1b]8;id=7;http://x.example/\x1b\\bc\x1b]8;;\x1b\\d");
    EXPECT_FALSE(terminal.hyperlink(*terminal.getCharData(0, 0)));
    EXPECT_FALSE(terminal.hyperlink(*terminal.getCharData(3, 0)));
    const auto link = terminal.hyperlink(*terminal.getCharData(2, 0));
    ASSERT_TRUE(link);
    EXPECT_EQ(link->uri, "http://x.example/");
    EXPECT_EQ(link->id(), "7");
    EXPECT_EQ(terminal.getCharData(1, 0)->payload, terminal.getCharData(2, 0)->payload);
}

} // namespace
} // namespace terminal::test
