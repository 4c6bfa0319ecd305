#include "platform/win32/xml/xmllite_reader.h"

#include <objidl.h>
#include <shlwapi.h>
#include <windows.h>
#include <xmllite.h>

#include <vector>

#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

constexpr UINT kMaxDepth = 256;
// The reader's own limit lies one level further, the limit being kept here: Wine's XmlLite,
// at its limit, refuses the end tags of a document that reaches it but does not pass it.
constexpr UINT kReaderMaxDepth = kMaxDepth + 1;

template <typename T>
class Com {
public:
    Com() = default;
    ~Com() {
        if (p_) p_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** put() { return &p_; }

private:
    T* p_ = nullptr;
};

XmlNodeType mapType(::XmlNodeType t) {
    switch (t) {
        case XmlNodeType_Element:
            return XmlNodeType::Element;
        case XmlNodeType_EndElement:
            return XmlNodeType::EndElement;
        case XmlNodeType_XmlDeclaration:
            return XmlNodeType::XmlDeclaration;
        case XmlNodeType_Text:
            return XmlNodeType::Text;
        case XmlNodeType_Whitespace:
            return XmlNodeType::Whitespace;
        case XmlNodeType_CDATA:
            return XmlNodeType::CData;
        case XmlNodeType_Comment:
            return XmlNodeType::Comment;
        case XmlNodeType_ProcessingInstruction:
            return XmlNodeType::ProcessingInstruction;
        case XmlNodeType_DocumentType:
            return XmlNodeType::DocumentType;
        case XmlNodeType_None:
            return XmlNodeType::NoNode;
        default:
            return XmlNodeType::Other;
    }
}

// The document with a space after it, in its own encoding. XML allows white space after the
// document, so nothing changes for one that is well-formed; but Wine's XmlLite aborts the whole
// process on a document that ends inside or right after its declaration ("<?xm", or the
// declaration alone), and this spares it that.
std::vector<uint8_t> padded(std::span<const uint8_t> document) {
    std::vector<uint8_t> out(document.begin(), document.end());
    const auto starts = [&](uint8_t a, uint8_t b) {
        return document.size() >= 2 && document[0] == a && document[1] == b;
    };
    if (starts(0xFF, 0xFE) || starts('<', 0)) {
        out.insert(out.end(), {' ', 0});
    } else if (starts(0xFE, 0xFF) || starts(0, '<')) {
        out.insert(out.end(), {0, ' '});
    } else {
        out.push_back(' ');
    }
    return out;
}

int32_t result(HRESULT hr) {
    return hr == S_OK ? XML_S_OK : hr == S_FALSE ? XML_S_FALSE : XML_E_FAIL;
}

class XmlLiteReader final : public XmlPullReader {
public:
    bool setUp(std::span<const uint8_t> document) {
        // The stream keeps a copy of the bytes.
        const std::vector<uint8_t> bytes = padded(document);
        *stream_.put() = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
        if (!stream_.get()) return false;
        return SUCCEEDED(CreateXmlReader(__uuidof(IXmlReader),
                                         reinterpret_cast<void**>(reader_.put()), nullptr)) &&
               SUCCEEDED(
                   reader_->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) &&
               SUCCEEDED(
                   reader_->SetProperty(XmlReaderProperty_MaxElementDepth, kReaderMaxDepth)) &&
               SUCCEEDED(reader_->SetInput(stream_.get()));
    }

    int32_t read(XmlNodeType& type) override {
        type = XmlNodeType::NoNode;
        if (failed_) return XML_E_FAIL;
        ::XmlNodeType t = XmlNodeType_None;
        // Back from the attributes first: Wine's XmlLite keeps their depth for the next node.
        reader_->MoveToElement();
        const HRESULT hr = reader_->Read(&t);
        // An end that is not the document's own is a rejection.
        if (hr == S_FALSE) return reader_->IsEOF() ? XML_S_FALSE : fail();
        if (hr != S_OK) return fail();
        // Wine's XmlLite gives a CDATA section or reference cut short by the end of the input
        // as the same node over and over: two nodes never start at one place.
        UINT line = 0, position = 0;
        reader_->GetLineNumber(&line);
        reader_->GetLinePosition(&position);
        if (t == lastType_ && line == lastLine_ && position == lastPosition_) return fail();
        lastType_ = t;
        lastLine_ = line;
        lastPosition_ = position;
        type = mapType(t);
        // Refused by the reader already; a document type must never get through.
        if (type == XmlNodeType::DocumentType) return fail();
        UINT depth = 0;
        if (type == XmlNodeType::Element &&
            (FAILED(reader_->GetDepth(&depth)) || depth + 1 > kMaxDepth)) {
            return fail();
        }
        return XML_S_OK;
    }

    bool prefix(std::string& out) override { return text(&IXmlReader::GetPrefix, out); }
    bool localName(std::string& out) override { return text(&IXmlReader::GetLocalName, out); }
    bool value(std::string& out) override { return text(&IXmlReader::GetValue, out); }

    int32_t moveToFirstAttribute() override { return result(reader_->MoveToFirstAttribute()); }
    int32_t moveToNextAttribute() override { return result(reader_->MoveToNextAttribute()); }
    bool isDefault() override { return reader_->IsDefault() != FALSE; }
    bool isEndOfFile() override { return !failed_ && reader_->IsEOF() != FALSE; }

private:
    using Getter = HRESULT (STDMETHODCALLTYPE IXmlReader::*)(LPCWSTR*, UINT*);

    bool text(Getter get, std::string& out) {
        LPCWSTR s = nullptr;
        UINT n = 0;
        if (FAILED((reader_.get()->*get)(&s, &n))) return false;
        out = s ? narrow(std::wstring_view(s, n)) : std::string();
        return true;
    }

    int32_t fail() {
        failed_ = true;
        return XML_E_FAIL;
    }

    Com<IStream> stream_;
    Com<IXmlReader> reader_;
    bool failed_ = false;
    ::XmlNodeType lastType_ = XmlNodeType_None;
    UINT lastLine_ = 0, lastPosition_ = 0;
};

}  // namespace

std::unique_ptr<XmlPullReader> XmlLiteReaders::open(std::span<const uint8_t> document) {
    auto reader = std::make_unique<XmlLiteReader>();
    if (!reader->setUp(document)) return nullptr;
    return reader;
}

}  // namespace platform::win32
