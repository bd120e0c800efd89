#include "../src/JsonSupport.h"

#include <gtest/gtest.h>

using namespace quillora::chat::json_support;

namespace {

// The reader takes exactly the objects that nlohmann's parser takes, with the same values.
TEST(JsonReader, AgreesWithNlohmann)
{
    const char* lines[] = {
        R"({"type":"result","subtype":"success","result":"ignored"})", R"({})", R"({"a":1,"b":[true,false,null],"c":{"d":"e"}})", R"({ "a" : [ 1 , 2 ] 	})", R"({"a":1,"a":2})",
        R"({"s":"\"\\\/\b\f\n\r\t\u00e9\u20AC\ud83d\ude00"})", R"({"s":"caf\u00E9 ✓ 😀"})",
        R"({"n":[0,-0,12,-12,1.5,-1.5e3,1E-2,2e+2,18446744073709551615,18446744073709551616,-9223372036854775808,-9223372036854775809,1e-400,1e-320,4.9e-324]})",
        // Malformed: each must fail in both.
        R"({"a":1,})", R"({"a":[1,]})", R"({a:1})", R"({"a":01})", R"({"a":1.})", R"({"a":.5})", R"({"a":-})", R"({"a":1e})",
        R"({"a":+1})", R"({"a":tru})", R"({"a":nul})", R"({"a":"\x"})", R"({"a":"\u12"})", R"({"a":"\ud800"})", R"({"a":"\udc00"})",
        R"({"a":"\ud800\u0041"})", "{\"a\":\"tab\there\"}", R"({"a":1e99999})", R"({"a":1} x)", R"({"a":1}})", R"({"a")", R"({"a":)",
        R"({"a":"unterminated)", R"({"a":[)", R"({"a":NaN})", R"({"a":Infinity})", R"({"a":"\u0000"})", "{\"a\":1}\n",
    };
    for (const char* line : lines) {
        const auto ours = parseObject(line);
        const Json theirs = Json::parse(line, nullptr, false);
        ASSERT_EQ(ours.has_value(), theirs.is_object()) << line;
        if (ours) {
            EXPECT_EQ(*ours, theirs) << line;
        }
    }
}

TEST(JsonReader, NestingIsBounded)
{
    auto nested = [](int depth) {
        return std::string(1, '{') + "\"a\":" + std::string(std::size_t(depth - 1), '[') + "1" + std::string(std::size_t(depth - 1), ']') + "}";
    };
    EXPECT_TRUE(parseObject(nested(maxDepth)));
    EXPECT_FALSE(parseObject(nested(maxDepth + 1)));
    EXPECT_FALSE(parseObject(nested(100000)));
}

} // namespace
