#include "platform/linux/libxml_reader.h"

#include <libxml/xmlreader.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace platform::linux_adapter {

namespace {

constexpr int kMaxDepth = 256;
// No entity substitution and no DTD loading: with neither, nothing outside is ever read.
constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

struct ErrorPosition {
    bool seen = false;
    int line = 0;
    int column = 0;
};

void onError(void* data, xmlErrorPtr error) {
    auto* pos = static_cast<ErrorPosition*>(data);
    if (pos->seen || !error || error->level < XML_ERR_ERROR) return;
    pos->seen = true;
    pos->line = error->line;
    pos->column = error->int2;
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
    return i;
}

// Whether the document is rejected and, if so, where the nodes a pull reader would have
// delivered end: before the error, and before any markup the error left unfinished.
std::size_t deliveredPrefix(const std::vector<uint8_t>& doc, bool& rejected) {
    ErrorPosition pos;
    rejected = true;
    xmlTextReaderPtr r =
        xmlReaderForMemory(reinterpret_cast<const char*>(doc.data()), static_cast<int>(doc.size()),
                           nullptr, nullptr, kOptions);
    if (!r) return 0;

    xmlTextReaderSetStructuredErrorHandler(r, onError, &pos);
    int result;
    while ((result = xmlTextReaderRead(r)) == 1) {
    }
    xmlFreeTextReader(r);
    rejected = result < 0;
    if (!rejected) return doc.size();

    std::size_t cut = pos.seen && pos.line > 0 ? offsetOf(doc, pos.line, pos.column) : doc.size();
    for (std::size_t i = cut; i > 0; --i) {
        if (doc[i - 1] == '>') break;
        if (doc[i - 1] == '<') {
            cut = i - 1;
            break;
        }
    }
    return cut;
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
    explicit LibXmlReader(std::span<const uint8_t> document)
        : doc_(document.begin(), document.end()) {}
    ~LibXmlReader() override {
        if (r_) xmlFreeTextReader(r_);
    }

    bool setUp() {
        declarationPending_ = parseDeclaration(doc_, declaration_);
        const std::size_t prefix = deliveredPrefix(doc_, failAtEnd_);

        // An empty prefix still gets a reader, which ends at once.
        static const char kEmpty[] = " ";
        r_ = xmlReaderForMemory(prefix ? reinterpret_cast<const char*>(doc_.data()) : kEmpty,
                                static_cast<int>(prefix ? prefix : 1), nullptr, nullptr,
                                kOptions | (failAtEnd_ ? XML_PARSE_RECOVER : 0));
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

    std::vector<uint8_t> doc_;
    xmlTextReaderPtr r_ = nullptr;
    std::vector<std::pair<std::string, std::string>> declaration_;
    bool declarationPending_ = false;
    bool onDeclaration_ = false;
    int declarationAttribute_ = -1;
    bool failAtEnd_ = false;
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
