// A non-validating XML pull reader that refuses DTDs, shaped as the configuration reading uses
// it: node by node, with a walk over each node's attributes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

enum class XmlNodeType {
    NoNode,
    Element,
    EndElement,
    XmlDeclaration,
    Text,
    Whitespace,
    CData,
    Comment,
    ProcessingInstruction,
    DocumentType,
    Other,
};

// Results in the reader's own convention: 0 done, 1 nothing (more), negative a failure.
inline constexpr int32_t XML_S_OK = 0;
inline constexpr int32_t XML_S_FALSE = 1;
inline constexpr int32_t XML_E_FAIL = -1;

class XmlPullReader {
public:
    virtual ~XmlPullReader() = default;
    // The next node: XML_S_OK with its type, XML_S_FALSE at the end of the document, or a
    // negative result when the document is rejected (syntax, a DTD, too deep).
    virtual int32_t read(XmlNodeType& type) = 0;
    virtual bool prefix(std::string& out) = 0;
    virtual bool localName(std::string& out) = 0;
    virtual bool value(std::string& out) = 0;
    // XML_S_OK when positioned on an attribute, XML_S_FALSE when there is none (more).
    virtual int32_t moveToFirstAttribute() = 0;
    virtual int32_t moveToNextAttribute() = 0;
    virtual bool isDefault() = 0;
    virtual bool isEndOfFile() = 0;
};

class XmlReaders {
public:
    virtual ~XmlReaders() = default;
    // A reader over the bytes of one document (kept by the reader); null when none can be made.
    virtual std::unique_ptr<XmlPullReader> open(std::span<const uint8_t> document) = 0;
};

}  // namespace platform
