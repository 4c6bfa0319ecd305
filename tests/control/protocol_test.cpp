#include "control/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/base64.h"

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
        {R"({"op":"post","message":16,"wParam":0,"lParam":null})",
         "field \"lParam\" must be an integer"},
        {R"({"op":"post","message":[16],"wParam":0,"lParam":0})",
         "field \"message\" must be an integer"},
        {R"({"op":"post","message":16,"wParam":0,"lParam":0,"x":1})", "unknown field \"x\""},
        {"null", "request must be a JSON object"},
        {R"({"op":null})", "missing field \"op\""},
        {R"({"op":"screenshot","file":7})", "unknown field \"file\""},
        {R"({"op":"status","extra":[]})", "unknown field \"extra\""},
        {R"({"op":"sim"})", "missing field \"args\""},
        {R"({"op":"sim","args":"audio"})", "field \"args\" must be an array of strings"},
        {R"({"op":"sim","args":["audio",1]})", "field \"args\" must be an array of strings"},
        {R"({"op":"sim","args":[],"more":{}})", "unknown field \"more\""},
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

TEST(ControlProtocol, RepliesAreValidUtf8WhateverTheTextsHold) {
    // A lone byte, an overlong slash, a surrogate, a cut sequence; valid text passes as it is.
    const std::string bad = "/data-\xFF/\xC0\xAF/\xED\xA0\x80/\xE2\x82";
    EXPECT_EQ(control::escapeInvalidUtf8(bad), "/data-\\xFF/\\xC0\\xAF/\\xED\\xA0\\x80/\\xE2\\x82");
    EXPECT_EQ(control::escapeInvalidUtf8("\xC3\xA9\xF0\x9F\x98\x80"), "\xC3\xA9\xF0\x9F\x98\x80");

    const std::string reply = control::okReply({{"path", bad}, {"list", {bad}}, {bad, 1}});
    auto parsed = nlohmann::json::parse(reply);  // throws on invalid UTF-8
    EXPECT_EQ(parsed["path"], control::escapeInvalidUtf8(bad));
    EXPECT_EQ(parsed["list"][0], control::escapeInvalidUtf8(bad));
    EXPECT_EQ(parsed[control::escapeInvalidUtf8(bad)], 1);
    EXPECT_EQ(reply.find('\n'), reply.size() - 1);
    EXPECT_TRUE(nlohmann::json::parse(control::errorReply(bad)).is_object());
}

TEST(Base64, RoundTripsEveryTailLengthAndRefusesNonCanonicalText) {
    std::vector<uint8_t> data;
    for (int n = 0; n < 7; ++n) {
        auto back = control::decodeBase64(control::encodeBase64(data));
        ASSERT_TRUE(back) << n;
        EXPECT_EQ(*back, data) << n;
        data.push_back(static_cast<uint8_t>(0xF0 + n));
    }
    EXPECT_EQ(control::encodeBase64(std::vector<uint8_t>{'M', 'a'}), "TWE=");
    EXPECT_EQ(control::encodeBase64(std::vector<uint8_t>{0xFB, 0xFF}), "+/8=");
    EXPECT_FALSE(control::decodeBase64("TWE"));
    EXPECT_FALSE(control::decodeBase64("TW=E"));
    EXPECT_FALSE(control::decodeBase64("TWF="));  // stray low bits
    EXPECT_FALSE(control::decodeBase64("TQ==TWE="));
    EXPECT_FALSE(control::decodeBase64("T!E="));
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

TEST(ClientReplies, OnlyAnOkObjectIsAccepted) {
    std::string error;
    EXPECT_EQ(control::acceptedReply(R"({"ok":true,"x":1})", error)["x"], 1);
    EXPECT_TRUE(control::acceptedReply("[1]", error).is_null());
    EXPECT_EQ(error, "unreadable reply: [1]");
    EXPECT_TRUE(control::acceptedReply(R"({"ok":false,"error":"busy"})", error).is_null());
    EXPECT_EQ(error, "refused: busy");
    // No "ok" at all is no success.
    EXPECT_TRUE(control::acceptedReply(R"({"x":1})", error).is_null());
    EXPECT_EQ(error, "refused: no reason");
}

}  // namespace
