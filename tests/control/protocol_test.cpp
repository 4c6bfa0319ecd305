#include "control/protocol.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ControlProtocol, ParsesAPost) {
    auto r = control::parseRequest(R"({"op":"post","message":1281,"wParam":512,"lParam":-32})");
    ASSERT_TRUE(r.request) << r.error;
    ASSERT_TRUE(r.request->post);
    EXPECT_EQ(r.request->post->message, 1281u);
    EXPECT_EQ(r.request->post->wParam, 512u);
    EXPECT_EQ(r.request->post->lParam, -32);
}

TEST(ControlProtocol, OtherOpsKeepTheirBody) {
    auto r = control::parseRequest(R"({"op":"sim","args":["controller","report","8"]})");
    ASSERT_TRUE(r.request);
    EXPECT_EQ(r.request->op, "sim");
    EXPECT_FALSE(r.request->post);
    EXPECT_EQ(r.request->body["args"][2], "8");
}

TEST(ControlProtocol, RejectsMalformedRequestsWithAReason) {
    struct Case {
        const char* line;
        const char* error;
    } cases[] = {
        {"garbage", "request is not valid JSON"},
        {"", "request is not valid JSON"},
        {"[1,2]", "request must be a JSON object"},
        {R"({"message":1})", "missing field \"op\""},
        {R"({"op":7})", "missing field \"op\""},
        {R"({"op":"post","wParam":512,"lParam":32})", "missing field \"message\""},
        {R"({"op":"post","message":"1281","wParam":512,"lParam":32})",
         "field \"message\" must be an integer"},
        {R"({"op":"post","message":1.5,"wParam":512,"lParam":32})",
         "field \"message\" must be an integer"},
        {R"({"op":"post","message":4294967296,"wParam":512,"lParam":32})",
         "field \"message\" is out of range"},
        {R"({"op":"post","message":-1,"wParam":512,"lParam":32})",
         "field \"message\" is out of range"},
        {R"({"op":"post","message":16,"wParam":-1,"lParam":0})",
         "field \"wParam\" is out of range"},
        {R"({"op":"post","message":16,"wParam":0,"lParam":18446744073709551615})",
         "field \"lParam\" is out of range"},
    };
    for (const auto& c : cases) {
        auto r = control::parseRequest(c.line);
        EXPECT_FALSE(r.request) << c.line;
        EXPECT_EQ(r.error, c.error) << c.line;
    }
}

TEST(ControlProtocol, SizeLimitIsExact) {
    std::string pad(control::kMaxRequestBytes, ' ');
    std::string atLimit = R"({"op":"status"})";
    atLimit += pad.substr(atLimit.size());
    ASSERT_EQ(atLimit.size(), control::kMaxRequestBytes);
    EXPECT_TRUE(control::parseRequest(atLimit).request);
    EXPECT_EQ(control::parseRequest(atLimit + " ").error, "request too long");
}

TEST(ControlProtocol, RepliesAreSingleLines) {
    EXPECT_EQ(control::okReply(), "{\"ok\":true}\n");
    EXPECT_EQ(control::errorReply("x\ny"), "{\"error\":\"x\\ny\",\"ok\":false}\n");
}

TEST(CommandLineNumbers, DecimalHexAndLimits) {
    EXPECT_EQ(control::parseUnsigned("1281"), 1281u);
    EXPECT_EQ(control::parseUnsigned("0x501"), 0x501u);
    EXPECT_EQ(control::parseUnsigned("18446744073709551615"), UINT64_MAX);
    EXPECT_FALSE(control::parseUnsigned("18446744073709551616"));
    EXPECT_FALSE(control::parseUnsigned("0x"));
    EXPECT_FALSE(control::parseUnsigned("12a"));
    EXPECT_FALSE(control::parseUnsigned("-1"));
    EXPECT_FALSE(control::parseUnsigned(""));
    EXPECT_EQ(control::parseSigned("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(control::parseSigned("9223372036854775808"));
    EXPECT_EQ(control::parseSigned("-0x20"), -32);
    EXPECT_FALSE(control::parseSigned("--1"));
}

}  // namespace
