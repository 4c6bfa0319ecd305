#include "platform/linux/acpi/acpi_call_reply.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace platform::linux_adapter {
namespace {

uint32_t word(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t half(const std::vector<uint8_t>& b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

struct Encoded {
    std::optional<uint32_t> size;
    std::vector<uint8_t> out;
};

Encoded encode(std::string_view reply, std::size_t room = 512) {
    Encoded e;
    e.out.assign(room, 0xEE);
    e.size = encodeAcpiCallReply(reply, e.out);
    return e;
}

TEST(AcpiCallReply, IntegerFillsTheReplyLayout) {
    // The module's read hands over the terminating NUL with the text.
    const auto e = encode(std::string("0x2\0", 4));
    ASSERT_EQ(e.size, 20u);
    EXPECT_EQ(word(e.out, 0), kAcpiReplySignature);
    EXPECT_EQ(word(e.out, 4), 20u);
    EXPECT_EQ(word(e.out, 8), 1u);
    EXPECT_EQ(half(e.out, 12), kAcpiInteger);
    EXPECT_EQ(half(e.out, 14), 4);
    EXPECT_EQ(word(e.out, 16), 2u);

    EXPECT_EQ(word(encode("0xffffffff").out, 16), 0xFFFFFFFFu);
    EXPECT_EQ(word(encode("0x00000000000000A").out, 16), 10u);
    const auto wide = encode("0x100000002");
    ASSERT_EQ(wide.size, 24u);
    EXPECT_EQ(half(wide.out, 14), 8);
    EXPECT_EQ(word(wide.out, 16), 2u);
    EXPECT_EQ(word(wide.out, 20), 1u);
}

TEST(AcpiCallReply, BufferBytesStartAtOffset16) {
    // A level list as the firmware gives it: two leading bytes, then eleven levels.
    const auto e =
        encode("{0x0b, 0x00, 0x00, 0x0a, 0x14, 0x1e, 0x28, 0x32, 0x3c, 0x46, 0x50, 0x5A, 0x64}\n");
    ASSERT_EQ(e.size, 16u + 13u);
    EXPECT_EQ(half(e.out, 12), kAcpiBuffer);
    EXPECT_EQ(half(e.out, 14), 13);
    EXPECT_EQ(e.out[16], 0x0B);
    for (int i = 0; i <= 10; ++i) EXPECT_EQ(e.out[18 + i], 10 * i) << i;
    EXPECT_EQ(e.out[29], 0xEE);

    const auto empty = encode("{}");
    ASSERT_EQ(empty.size, 16u);
    EXPECT_EQ(half(empty.out, 14), 0);
}

TEST(AcpiCallReply, StringsKeepTheirQuotesInsideAndGetATerminator) {
    const auto e = encode("\"a\"b\"");
    ASSERT_EQ(e.size, 16u + 4u);
    EXPECT_EQ(half(e.out, 12), kAcpiString);
    EXPECT_EQ(half(e.out, 14), 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&e.out[16])), "a\"b");
}

TEST(AcpiCallReply, PackageElementsAreNestedResultsPaddedToFourBytes) {
    const auto e = encode("[0x1, {0x02}, \"x\", []]");
    ASSERT_TRUE(e.size);
    EXPECT_EQ(half(e.out, 12), kAcpiPackage);
    EXPECT_EQ(half(e.out, 14), 4 * 8);
    EXPECT_EQ(half(e.out, 16), kAcpiInteger);
    EXPECT_EQ(half(e.out, 18), 4);
    EXPECT_EQ(word(e.out, 20), 1u);
    EXPECT_EQ(half(e.out, 24), kAcpiBuffer);
    EXPECT_EQ(half(e.out, 26), 1);
    EXPECT_EQ(e.out[28], 2);
    EXPECT_EQ(half(e.out, 32), kAcpiString);
    EXPECT_EQ(half(e.out, 34), 2);
    EXPECT_EQ(half(e.out, 40), kAcpiPackage);
    EXPECT_EQ(half(e.out, 42), 0);
    EXPECT_EQ(*e.size, 48u);
}

TEST(AcpiCallReply, AMethodWithoutResultGivesTheHeaderAlone) {
    const auto e = encode(std::string("\0", 1));
    ASSERT_EQ(e.size, 12u);
    EXPECT_EQ(word(e.out, 8), 0u);
}

TEST(AcpiCallReply, ErrorsAndUnreadableRepliesAreFailedCalls) {
    for (const std::string_view reply :
         {"Error: AE_NOT_FOUND", "not called", "Object type 0x5\n", "ok", "0x", "0xg", "0x1 2",
          "0x1,", "0x12345678901234567", "{0x01, 0x02,", "{0x100}", "{0x01 0x02}", "{0x01, }",
          "[0x1", "[0x1,0x2]", "\"abc", "\"", "x0x1", "[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]"}) {
        EXPECT_FALSE(encode(reply).size) << reply;
    }
}

TEST(AcpiCallReply, AReplyThatDoesNotFitIsAFailedCallAndNothingIsWrittenPastTheEnd) {
    std::array<uint8_t, 40> memory{};
    memory.fill(0xEE);
    const std::string reply = "{0x01, 0x02, 0x03, 0x04}";  // 20 bytes of reply
    EXPECT_EQ(encodeAcpiCallReply(reply, std::span(memory).first(20)), 20u);
    memory.fill(0xEE);
    EXPECT_FALSE(encodeAcpiCallReply(reply, std::span(memory).first(19)));
    EXPECT_FALSE(encodeAcpiCallReply("", std::span(memory).first(11)));
    for (std::size_t i = 19; i < memory.size(); ++i) EXPECT_EQ(memory[i], 0xEE) << i;
}

TEST(AcpiCallReply, RequestNamesAreFourAcpiNameCharacters) {
    std::array<uint8_t, 20> request{1, 0, 0, 0, 'M', 'B', 'I', 'D'};
    EXPECT_EQ(acpiRequestMethodName(request), "MBID");
    request[5] = '_';
    request[6] = '0';
    EXPECT_EQ(acpiRequestMethodName(request), "M_0D");
    EXPECT_FALSE(acpiRequestMethodName(std::span(request).first(19)));
    for (const uint8_t bad :
         {uint8_t{' '}, uint8_t{'\n'}, uint8_t{'a'}, uint8_t{0}, uint8_t{'.'}}) {
        request[7] = bad;
        EXPECT_FALSE(acpiRequestMethodName(request)) << int(bad);
    }
}

}  // namespace
}  // namespace platform::linux_adapter
