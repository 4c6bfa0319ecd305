// The configuration's pull reader on XmlLite, over a stream on the document's bytes: DTDs
// prohibited (a DOCTYPE fails the read), and 256 levels of elements at most, the 257th nested
// start failing the read.
#pragma once

#include "platform/xml_reader.h"

namespace platform::win32 {

class XmlLiteReaders final : public XmlReaders {
public:
    std::unique_ptr<XmlPullReader> open(std::span<const uint8_t> document) override;
};

}  // namespace platform::win32
