#include "platform/linux/xml/libxml_reader.h"

#include <libxml/encoding.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlreader.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/xml/start_tags.h"

namespace platform::linux_adapter {

namespace {

constexpr int kMaxDepth = 256;
// A Button uses six attributes and the configuration needs no namespace. Past either limit the
// start tag is refused before libxml2 sees it: its parse of one element's attributes takes time
// quadratic in their number, and of each prefixed name time linear in the namespaces around it.
constexpr std::size_t kMaxAttributes = 64;
constexpr std::size_t kMaxNamespaces = 64;
// No entity substitution and no DTD loading: with neither, nothing outside is ever read. libxml2's
// own guards (entity amplification, its depth limit, which lies past ours) stay on.
constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

struct FirstPass {
    bool errorSeen = false;
    int line = 0;
    int column = 0;
    bool doctype = false;
    bool elementSeen = false;  // before the first error
};

void onError(void* userData, xmlErrorPtr error) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(userData);
    auto* pass = static_cast<FirstPass*>(ctxt->_private);
    if (pass->errorSeen || !error || error->level < XML_ERR_ERROR) return;
    pass->errorSeen = true;
    pass->line = error->line;
    pass->column = error->int2;
    // Only the first error matters, and parsing on after one would go through a DOCTYPE's
    // internal subset without the stop below (SAX is off by then) and declare its entities.
    xmlStopParser(ctxt);
}

void onStartElement(void* userData, const xmlChar*, const xmlChar*, const xmlChar*, int,
                    const xmlChar**, int, int, const xmlChar**) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(userData);
    auto* pass = static_cast<FirstPass*>(ctxt->_private);
    if (!pass->errorSeen) pass->elementSeen = true;
}

// Called once a DOCTYPE's name and external id are read and before its internal subset: the
// parse stops here, so no entity is ever declared, let alone expanded.
void onDoctype(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(userData);
    auto* pass = static_cast<FirstPass*>(ctxt->_private);
    if (!pass->errorSeen) {
        pass->doctype = true;
        pass->line = ctxt->input->line;
        pass->column = ctxt->input->col;
    }
    xmlStopParser(ctxt);
}

// Byte offset of a 1-based line and character column.
std::size_t offsetOf(const std::vector<uint8_t>& doc, int line, int column) {
    std::size_t i = 0;
    for (int l = 1; l < line && i < doc.size(); ++i) {
        if (doc[i] == '\n') ++l;
    }
    for (int c = 1; c < column && i < doc.size(); ++i) {
        if ((doc[i] & 0xC0) != 0x80) ++c;
    }
    while (i < doc.size() && (doc[i] & 0xC0) == 0x80) ++i;
    return std::min(i, doc.size());
}

struct Prefix {
    std::size_t size = 0;
    bool rejected = true;
    bool prologOnly = true;  // no element starts before the cut
};

// Whether the document is rejected and, if so, where the nodes a pull reader would have
// delivered end: before the error, and before any markup or reference the error left
// unfinished. A DOCTYPE ends the delivered part at its start. Only the first `limit` bytes are
// parsed; a shorter limit rejects the document there, if no error comes before it.
Prefix deliveredPrefix(const std::vector<uint8_t>& doc, std::size_t limit, int options) {
    Prefix out;
    xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(reinterpret_cast<const char*>(doc.data()),
                                                      static_cast<int>(limit));
    if (!ctxt) return out;
    FirstPass pass;
    ctxt->_private = &pass;
    xmlCtxtUseOptions(ctxt, options);
    // Only what this pass looks for: building the tree would cost more than the parse itself.
    *ctxt->sax = xmlSAXHandler{};
    ctxt->sax->initialized = XML_SAX2_MAGIC;
    ctxt->sax->serror = onError;
    ctxt->sax->internalSubset = onDoctype;
    ctxt->sax->startElementNs = onStartElement;
    const int result = xmlParseDocument(ctxt);
    out.rejected =
        result != 0 || !ctxt->wellFormed || pass.doctype || pass.errorSeen || limit < doc.size();
    if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
    xmlFreeParserCtxt(ctxt);
    out.prologOnly = !pass.elementSeen;
    if (!out.rejected) {
        out.size = doc.size();
        return out;
    }

    const bool located = (pass.errorSeen || pass.doctype) && pass.line > 0;
    const std::size_t at = std::min(located ? offsetOf(doc, pass.line, pass.column) : limit, limit);
    if (pass.doctype) {
        static const char kDoctype[] = "<!DOCTYPE";
        const auto end = doc.begin() + static_cast<long>(at);
        const auto start =
            std::find_end(doc.begin(), end, kDoctype, kDoctype + sizeof(kDoctype) - 1);
        out.size = start == end ? 0 : static_cast<std::size_t>(start - doc.begin());
        return out;
    }
    std::size_t i = at;
    for (; i > 0 && doc[i - 1] != '>'; --i) {
        if (doc[i - 1] == '<') {
            out.size = i - 1;
            return out;
        }
    }
    // In character data: before the first reference, which may be the one refused.
    const auto amp =
        std::find(doc.begin() + static_cast<long>(i), doc.begin() + static_cast<long>(at), '&');
    out.size = static_cast<std::size_t>(amp - doc.begin());
    return out;
}

// UTF-16 (with its byte-order mark, or without one when it starts with "<?") as UTF-8, the one
// encoding the rest of the reading works in; other input unchanged. Where the UTF-16 is broken,
// a byte that no UTF-8 reading accepts takes its place, so the document fails right there.
std::vector<uint8_t> asUtf8(std::span<const uint8_t> in, bool& converted) {
    converted = false;
    const auto starts = [&](std::initializer_list<uint8_t> bytes) {
        return in.size() >= bytes.size() && std::equal(bytes.begin(), bytes.end(), in.begin());
    };
    xmlCharEncoding encoding = XML_CHAR_ENCODING_NONE;
    std::size_t skip = 0;
    if (starts({0xFF, 0xFE})) {
        encoding = XML_CHAR_ENCODING_UTF16LE;
        skip = 2;
    } else if (starts({0xFE, 0xFF})) {
        encoding = XML_CHAR_ENCODING_UTF16BE;
        skip = 2;
    } else if (starts({'<', 0, '?', 0})) {
        encoding = XML_CHAR_ENCODING_UTF16LE;
    } else if (starts({0, '<', 0, '?'})) {
        encoding = XML_CHAR_ENCODING_UTF16BE;
    }
    xmlCharEncodingHandlerPtr handler =
        encoding == XML_CHAR_ENCODING_NONE ? nullptr : xmlGetCharEncodingHandler(encoding);
    if (!handler || !handler->input) return {in.begin(), in.end()};
    converted = true;
    const std::size_t size = in.size() - skip;
    std::vector<uint8_t> out(size / 2 * 3 + 1);
    int outLen = static_cast<int>(out.size());
    int inLen = static_cast<int>(size);
    const int r = handler->input(out.data(), &outLen, in.data() + skip, &inLen);
    out.resize(static_cast<std::size_t>(std::max(outLen, 0)));
    if (r < 0 || static_cast<std::size_t>(inLen) != size) out.push_back(0xFF);
    return out;
}

// The declaration's attributes, from `<?xml version="1.0" ...?>` at the very start.
bool parseDeclaration(const std::vector<uint8_t>& doc,
                      std::vector<std::pair<std::string, std::string>>& attrs) {
    std::size_t i = doc.size() >= 3 && doc[0] == 0xEF && doc[1] == 0xBB && doc[2] == 0xBF ? 3 : 0;
    const std::string text(doc.begin() + static_cast<long>(i), doc.end());
    if (text.compare(0, 5, "<?xml") != 0 || text.size() < 6 || !std::strchr(" \t\r\n", text[5])) {
        return false;
    }
    const auto end = text.find("?>");
    if (end == std::string::npos) return false;
    std::size_t p = 5;
    while (p < end) {
        while (p < end && std::strchr(" \t\r\n", text[p])) ++p;
        const auto eq = text.find('=', p);
        if (p >= end || eq == std::string::npos || eq > end) break;
        std::string name = text.substr(p, eq - p);
        while (!name.empty() && std::strchr(" \t\r\n", name.back())) name.pop_back();
        p = eq + 1;
        while (p < end && std::strchr(" \t\r\n", text[p])) ++p;
        if (p >= end || (text[p] != '"' && text[p] != '\'')) break;
        const auto close = text.find(text[p], p + 1);
        if (close == std::string::npos || close > end) break;
        attrs.emplace_back(name, text.substr(p + 1, close - p - 1));
        p = close + 1;
    }
    return true;
}

XmlNodeType mapType(int t) {
    switch (t) {
        case XML_READER_TYPE_ELEMENT:
            return XmlNodeType::Element;
        case XML_READER_TYPE_END_ELEMENT:
            return XmlNodeType::EndElement;
        case XML_READER_TYPE_TEXT:
            return XmlNodeType::Text;
        case XML_READER_TYPE_CDATA:
            return XmlNodeType::CData;
        case XML_READER_TYPE_COMMENT:
            return XmlNodeType::Comment;
        case XML_READER_TYPE_PROCESSING_INSTRUCTION:
            return XmlNodeType::ProcessingInstruction;
        case XML_READER_TYPE_DOCUMENT_TYPE:
            return XmlNodeType::DocumentType;
        case XML_READER_TYPE_WHITESPACE:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
            return XmlNodeType::Whitespace;
        default:
            return XmlNodeType::Other;
    }
}

std::string text(const xmlChar* s) {
    return s ? reinterpret_cast<const char*>(s) : "";
}

// Encoding problems bypass the parse options and print through libxml2's generic handler; a
// bad file is the configuration's to report, not stderr's.
void ignoreGenericError(void*, const char*, ...) {}

class LibXmlReader final : public XmlPullReader {
public:
    explicit LibXmlReader(std::span<const uint8_t> document) : doc_(asUtf8(document, utf16_)) {}
    ~LibXmlReader() override {
        if (r_) xmlFreeTextReader(r_);
    }

    bool setUp() {
        declarationPending_ = parseDeclaration(doc_, declaration_);
        // Converted input keeps its declaration's encoding="UTF-16", which no longer holds.
        const int options = kOptions | (utf16_ ? XML_PARSE_IGNORE_ENC : 0);
        const Prefix prefix = deliveredPrefix(
            doc_, firstCrowdedStartTag(doc_, kMaxAttributes, kMaxNamespaces), options);
        failAtEnd_ = prefix.rejected;

        // A prefix without an element would fail as a whole (no root) before giving the nodes
        // it has: an element is added to end it, and reaching that element fails the read.
        std::vector<uint8_t> input(doc_.begin(), doc_.begin() + static_cast<long>(prefix.size));
        if (failAtEnd_ && prefix.prologOnly) {
            static const char kEnd[] = "<end/>";
            input.insert(input.end(), kEnd, kEnd + sizeof(kEnd) - 1);
            failAtFirstElement_ = true;
        }
        input_ = std::move(input);
        r_ = xmlReaderForMemory(reinterpret_cast<const char*>(input_.data()),
                                static_cast<int>(input_.size()), nullptr, nullptr,
                                options | (failAtEnd_ ? XML_PARSE_RECOVER : 0));
        return r_ != nullptr;
    }

    int32_t read(XmlNodeType& type) override {
        type = XmlNodeType::NoNode;
        onDeclaration_ = false;
        declarationAttribute_ = -1;
        if (failed_) return XML_E_FAIL;
        if (declarationPending_) {
            declarationPending_ = false;
            onDeclaration_ = true;
            type = XmlNodeType::XmlDeclaration;
            return XML_S_OK;
        }
        const int r = xmlTextReaderRead(r_);
        if (r == 1) {
            type = mapType(xmlTextReaderNodeType(r_));
            if (type == XmlNodeType::DocumentType) return fail();
            if (type == XmlNodeType::Element && failAtFirstElement_) return fail();
            if (type == XmlNodeType::Element && xmlTextReaderDepth(r_) + 1 > kMaxDepth) {
                return fail();
            }
            return XML_S_OK;
        }
        if (r == 0 && !failAtEnd_) {
            eof_ = true;
            return XML_S_FALSE;
        }
        return fail();
    }

    bool prefix(std::string& out) override {
        out = onDeclaration_ ? std::string() : text(xmlTextReaderConstPrefix(r_));
        return true;
    }

    bool localName(std::string& out) override {
        if (onDeclaration_) {
            out = declarationAttribute_ < 0 ? "xml" : declaration_[declarationAttribute_].first;
        } else {
            out = text(xmlTextReaderConstLocalName(r_));
        }
        return true;
    }

    bool value(std::string& out) override {
        if (onDeclaration_) {
            out = declarationAttribute_ < 0 ? "" : declaration_[declarationAttribute_].second;
        } else {
            out = text(xmlTextReaderConstValue(r_));
        }
        return true;
    }

    int32_t moveToFirstAttribute() override {
        if (onDeclaration_) {
            if (declaration_.empty()) return XML_S_FALSE;
            declarationAttribute_ = 0;
            return XML_S_OK;
        }
        return result(xmlTextReaderMoveToFirstAttribute(r_));
    }

    int32_t moveToNextAttribute() override {
        if (onDeclaration_) {
            if (declarationAttribute_ + 1 >= static_cast<int>(declaration_.size())) {
                return XML_S_FALSE;
            }
            ++declarationAttribute_;
            return XML_S_OK;
        }
        return result(xmlTextReaderMoveToNextAttribute(r_));
    }

    // Default attributes come only from a DTD, which is never processed.
    bool isDefault() override { return !onDeclaration_ && xmlTextReaderIsDefault(r_) == 1; }
    bool isEndOfFile() override { return eof_; }

private:
    static int32_t result(int r) { return r == 1 ? XML_S_OK : r == 0 ? XML_S_FALSE : XML_E_FAIL; }
    int32_t fail() {
        failed_ = true;
        return XML_E_FAIL;
    }

    bool utf16_ = false;
    std::vector<uint8_t> doc_;    // UTF-8 or as given
    std::vector<uint8_t> input_;  // what the reader reads, kept while it does
    xmlTextReaderPtr r_ = nullptr;
    std::vector<std::pair<std::string, std::string>> declaration_;
    bool declarationPending_ = false;
    bool onDeclaration_ = false;
    int declarationAttribute_ = -1;
    bool failAtEnd_ = false;
    bool failAtFirstElement_ = false;
    bool failed_ = false;
    bool eof_ = false;
};

}  // namespace

std::unique_ptr<XmlPullReader> LibXmlReaders::open(std::span<const uint8_t> document) {
    // Per thread in libxml2: set on the thread that reads.
    xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
    auto reader = std::make_unique<LibXmlReader>(document);
    if (!reader->setUp()) return nullptr;
    return reader;
}

}  // namespace platform::linux_adapter
