// Reading QZConfiguration.xml as start-up does (file, size check, libxml2, the records), for
// generated files of the largest size still read (1 MiB less one byte), each of one shape that
// is costly to parse. The label gives what the reading reported.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/globals.h"
#include "buttons/configuration.h"
#include "platform/linux/xml/libxml_reader.h"
#include "platform/ports.h"
#include "tests/support/process.h"

namespace {

constexpr std::size_t kLargestRead = kMaxConfigurationSize - 1;
constexpr const char* kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<QZSystemConfiguration>";
constexpr const char* kButton =
    "<Buttons><Button Id=\"VolumeUpButton\" Enabled=\"true\" Action=\"MuteVolume\"/>";
constexpr const char* kTail = "</Buttons></QZSystemConfiguration>\n";

// kHead, kButton, `open`, as many `unit(i)` as fit, `close`, kTail, padded with blanks between
// the elements to exactly kLargestRead bytes.
std::string fill(const std::string& open, const std::function<std::string(std::size_t)>& unit,
                 const std::string& close) {
    std::string doc = std::string(kHead) + kButton + open;
    const std::size_t rest = close.size() + std::char_traits<char>::length(kTail);
    for (std::size_t i = 0;; ++i) {
        const std::string u = unit(i);
        if (doc.size() + u.size() + rest > kLargestRead) break;
        doc += u;
    }
    doc += close;
    doc.append(kLargestRead - doc.size() - std::char_traits<char>::length(kTail), ' ');
    return doc + kTail;
}

std::string name(std::size_t i) {
    return "a" + std::to_string(i);
}

void readFile(benchmark::State& state, const std::string& doc) {
    resetGlobals();
    resetButtonConfiguration();
    platform::Ports p;
    p.xmlReaders = std::make_unique<platform::linux_adapter::LibXmlReaders>();
    platform::installPorts(std::move(p));
    const std::string dir = testsupport::makeTempDir("veskosd-config-bench");
    szConfigurationFile = dir + "/QZConfiguration.xml";
    std::ofstream(szConfigurationFile, std::ios::binary) << doc;
    for (auto _ : state) {
        resetButtonConfiguration();
        CheckButtonConfiguration();
    }
    std::string label = std::to_string(doc.size()) + " bytes,";
    for (const auto& e : loggedEvents()) {
        char id[16];
        std::snprintf(id, sizeof(id), " 0x%08X", e.id);
        label += id;
    }
    state.SetLabel(loggedEvents().empty() ? label + " read" : label);
    testsupport::removeTree(dir);
    platform::installPorts({});
}

// The shape libxml2 2.9 parses in time quadratic in its attributes: one element with all it can
// hold.
void BM_OneElementWithAllTheAttributes(benchmark::State& s) {
    static const std::string doc = fill(
        "<e", [](std::size_t i) { return " " + name(i) + "=\"\""; }, "/>");
    readFile(s, doc);
}

// As many attributes per element as are taken, on as many elements as fit.
void BM_ElementsWith64Attributes(benchmark::State& s) {
    static const std::string doc = fill(
        "",
        [](std::size_t) {
            std::string e = "<e";
            for (std::size_t k = 0; k < 64; ++k) e += " " + name(k) + "=\"\"";
            return e + "/>";
        },
        "");
    readFile(s, doc);
}

void BM_ManyEmptyElements(benchmark::State& s) {
    static const std::string doc = fill(
        "", [](std::size_t) { return "<e/>"; }, "");
    readFile(s, doc);
}

// Nests as deep as is taken (256 with the root and Buttons), again and again.
void BM_DeepNestingRepeated(benchmark::State& s) {
    std::string nest;
    for (int i = 0; i < 254; ++i) nest += "<e>";
    for (int i = 0; i < 254; ++i) nest += "</e>";
    static const std::string doc = fill(
        "", [&](std::size_t) { return nest; }, "");
    readFile(s, doc);
}

void BM_OneLongAttributeValue(benchmark::State& s) {
    static const std::string doc = fill(
        "<e v=\"", [](std::size_t) { return "x"; }, "\"/>");
    readFile(s, doc);
}

void BM_ManyComments(benchmark::State& s) {
    static const std::string doc = fill(
        "", [](std::size_t) { return "<!--c-->"; }, "");
    readFile(s, doc);
}

void BM_OneLongText(benchmark::State& s) {
    static const std::string doc = fill(
        "<e>", [](std::size_t) { return "x"; }, "</e>");
    readFile(s, doc);
}

void BM_OneLongCData(benchmark::State& s) {
    static const std::string doc = fill(
        "<e><![CDATA[", [](std::size_t) { return "x"; }, "]]></e>");
    readFile(s, doc);
}

void BM_OneLongComment(benchmark::State& s) {
    static const std::string doc = fill(
        "<!--", [](std::size_t) { return "x"; }, "-->");
    readFile(s, doc);
}

void BM_ManyCharacterReferences(benchmark::State& s) {
    static const std::string doc = fill(
        "<e>", [](std::size_t) { return "&#65;&amp;"; }, "</e>");
    readFile(s, doc);
}

// Namespaces declared 64 to an element on 253 nested elements: refused at the second.
void BM_NamespacesDeclaredOnEveryLevel(benchmark::State& s) {
    std::string open, close;
    for (int d = 0; d < 253; ++d) {
        open += "<e";
        for (int k = 0; k < 64; ++k) open += " xmlns:p" + std::to_string(d * 64 + k) + "=\"u\"";
        open += ">";
        close += "</e>";
    }
    static const std::string doc = fill(
        open, [](std::size_t) { return "<e/>"; }, close);
    readFile(s, doc);
}

// All the namespaces taken, declared on the outermost of 253 nested elements; inside them, as
// many elements as fit with 64 attributes each, all named with the first prefix declared, which
// is looked up past all the others and up through every level.
void BM_PrefixedNamesDeepInside(benchmark::State& s) {
    std::string open = "<p0:e";
    for (int k = 0; k < 64; ++k)
        open += " xmlns:p" + std::to_string(k) + "=\"u" + std::to_string(k) + "\"";
    open += ">";
    std::string close = "</p0:e>";
    for (int d = 1; d < 253; ++d) {
        open += "<p0:e>";
        close += "</p0:e>";
    }
    static const std::string doc = fill(
        open,
        [](std::size_t) {
            std::string e = "<p0:e";
            for (std::size_t k = 0; k < 64; ++k) e += " p0:" + name(k) + "=\"\"";
            return e + "/>";
        },
        close);
    readFile(s, doc);
}

// The real schema: full Button elements, all for the same Id after the first.
void BM_ManyButtons(benchmark::State& s) {
    static const std::string doc = fill(
        "",
        [](std::size_t) {
            return "<Button Id=\"VolumeDownButton\" Enabled=\"true\" Action=\"LaunchExecutable\" "
                   "ActionValue=\"/usr/bin/prog --flag\" AutoRepeatEnabled=\"true\" "
                   "AutoRepeatInterval=\"250\"/>";
        },
        "");
    readFile(s, doc);
}

#define CONFIG_BENCHMARK(name) \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly()

CONFIG_BENCHMARK(BM_OneElementWithAllTheAttributes);
CONFIG_BENCHMARK(BM_ElementsWith64Attributes);
CONFIG_BENCHMARK(BM_ManyEmptyElements);
CONFIG_BENCHMARK(BM_DeepNestingRepeated);
CONFIG_BENCHMARK(BM_OneLongAttributeValue);
CONFIG_BENCHMARK(BM_ManyComments);
CONFIG_BENCHMARK(BM_OneLongText);
CONFIG_BENCHMARK(BM_OneLongCData);
CONFIG_BENCHMARK(BM_OneLongComment);
CONFIG_BENCHMARK(BM_ManyCharacterReferences);
CONFIG_BENCHMARK(BM_NamespacesDeclaredOnEveryLevel);
CONFIG_BENCHMARK(BM_PrefixedNamesDeepInside);
CONFIG_BENCHMARK(BM_ManyButtons);

}  // namespace

BENCHMARK_MAIN();
