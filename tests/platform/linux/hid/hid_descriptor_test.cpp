#include "platform/linux/hid/hid_descriptor.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/platform/linux/hid/fixtures.h"

namespace {

using platform::linux_adapter::HidCollection;
using platform::linux_adapter::HidDescriptor;
using platform::linux_adapter::parseHidDescriptor;

HidDescriptor parsed(const std::vector<uint8_t>& bytes) {
    auto result = parseHidDescriptor(bytes);
    EXPECT_TRUE(result.descriptor) << result.error;
    return result.descriptor.value_or(HidDescriptor{});
}

std::string errorOf(const std::vector<uint8_t>& bytes) {
    const auto result = parseHidDescriptor(bytes);
    EXPECT_FALSE(result.descriptor);
    EXPECT_FALSE(result.error.empty());
    return result.error;
}

TEST(HidDescriptor, EachButtonCollectionIsFoundWithItsReports) {
    const auto panel = parsed(hidtest::fixture("panel_keys"));
    EXPECT_EQ(panel.collections, (std::vector<HidCollection>{{0xFF01, 0x0004, {8}}}));
    EXPECT_TRUE(panel.numbered);

    const auto select = parsed(hidtest::fixture("select_keys"));
    EXPECT_EQ(select.collections, (std::vector<HidCollection>{{0x0009, 0x0001, {1}}}));

    // A 4-byte usage names its page itself; no Usage Page item is there. The device numbers
    // no reports, which stands as id 0.
    const auto extended = parsed(hidtest::fixture("extended_usage"));
    EXPECT_EQ(extended.collections, (std::vector<HidCollection>{{0xFFBC, 0x0089, {0}}}));
    EXPECT_FALSE(extended.numbered);
    EXPECT_TRUE(extended.reportBelongsTo(0, 0xFFBC, 0x0089));
}

TEST(HidDescriptor, SeveralTopLevelCollectionsKeepTheirOwnInputReports) {
    const auto d = parsed(hidtest::fixture("multi_collection"));
    // The panel collection's feature report 9 is not one of its input reports.
    EXPECT_EQ(d.collections, (std::vector<HidCollection>{{0x0001, 0x0006, {2}},
                                                         {0x000C, 0x0001, {3}},
                                                         {0xFF01, 0x0004, {8}},
                                                         {0x0009, 0x0001, {1}}}));
    EXPECT_TRUE(d.reportBelongsTo(8, 0xFF01, 0x0004));
    EXPECT_FALSE(d.reportBelongsTo(3, 0xFF01, 0x0004));
    EXPECT_FALSE(d.reportBelongsTo(9, 0xFF01, 0x0004));
    EXPECT_TRUE(d.hasCollection(0x0009, 0x0001));
    EXPECT_FALSE(d.hasCollection(0xFFBC, 0x0089));
}

TEST(HidDescriptor, LongItemsPushPopNestingAndLateUsagePages) {
    // Long item skipped; the nested application collection and the page it sets are not
    // top-level; pop brings back the consumer page; a page declared after the usage applies.
    const auto d = parsed(hidtest::fixture("long_push_pop"));
    EXPECT_EQ(d.collections,
              (std::vector<HidCollection>{
                  {0xFFBC, 0x0089, {5}}, {0x000C, 0x0001, {7}}, {0x0001, 0x0002, {10}}}));
}

TEST(HidDescriptor, TruncatedDescriptorIsRejected) {
    EXPECT_NE(errorOf(hidtest::fixture("truncated")).find("truncated"), std::string::npos);

    // Cut anywhere, the four-collection descriptor is whole only at an item boundary outside
    // every collection (two before the first, three after each of the first three closes),
    // and then holds the collections closed so far.
    const auto whole = hidtest::fixture("multi_collection");
    const auto all = parsed(whole).collections;
    int accepted = 0;
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const std::vector<uint8_t> prefix(whole.begin(), whole.begin() + n);
        const auto result = parseHidDescriptor(prefix);
        if (!result.descriptor) continue;
        ++accepted;
        const auto& found = result.descriptor->collections;
        ASSERT_LT(found.size(), all.size());
        EXPECT_TRUE(std::equal(found.begin(), found.end(), all.begin())) << n;
    }
    EXPECT_EQ(accepted, 11);
}

TEST(HidDescriptor, MalformedItemsAreRejected) {
    EXPECT_NE(errorOf({}).find("empty"), std::string::npos);
    EXPECT_NE(errorOf({0xB4}).find("pop"), std::string::npos);  // pop without push
    EXPECT_NE(errorOf({0xC0}).find("never opened"), std::string::npos);
    EXPECT_NE(errorOf({0xA1, 0x01}).find("left open"), std::string::npos);
    EXPECT_NE(errorOf({0x85, 0x00}).find("report id"), std::string::npos);
    EXPECT_NE(errorOf({0x86, 0x00, 0x01}).find("report id"), std::string::npos);  // 256
    EXPECT_NE(errorOf({0xFE, 0x05, 0x10, 1, 2}).find("long item"), std::string::npos);
    EXPECT_NE(errorOf({0xFE, 0x01}).find("long item"), std::string::npos);
    EXPECT_NE(errorOf({0x0B, 0x89, 0x00, 0xBC}).find("truncated"), std::string::npos);

    std::vector<uint8_t> deepPush(17, 0xA4);
    EXPECT_NE(errorOf(deepPush).find("push"), std::string::npos);
    deepPush.resize(16);
    EXPECT_TRUE(parseHidDescriptor(deepPush).descriptor);
}

TEST(HidDescriptor, InputsBeforeTheFirstReportIdBelongToNoReport) {
    // Input without an id, then a numbered one: the device numbers its reports, so the first
    // can never be told apart.
    const auto d = parsed({0x06, 0x01, 0xFF, 0x09, 0x04, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81,
                           0x02, 0x85, 0x08, 0x81, 0x02, 0xC0});
    EXPECT_EQ(d.collections, (std::vector<HidCollection>{{0xFF01, 0x0004, {8}}}));
    EXPECT_FALSE(d.reportBelongsTo(0, 0xFF01, 0x0004));
}

}  // namespace
