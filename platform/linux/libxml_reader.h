// The XML pull reader on libxml2's xmlTextReader, made to behave as a strict pull reader:
//  - libxml2 gives no node for the XML declaration: one is made from the input;
//  - a DOCTYPE arrives after its internal subset was parsed: reaching it fails the read (no
//    entity is expanded, no DTD loaded, nothing fetched);
//  - its own depth limit fires by 512-byte chunk: it is lifted, and 256 levels are enforced
//    here, failing exactly at the 257th nested element start;
//  - a fatal error drops the nodes of the chunk it happens in: the error is found first, then
//    the nodes before it are read from the input up to that point, and the read fails after.
#pragma once

#include "platform/xml_reader.h"

namespace platform::linux_adapter {

class LibXmlReaders final : public XmlReaders {
public:
    std::unique_ptr<XmlPullReader> open(std::span<const uint8_t> document) override;
};

}  // namespace platform::linux_adapter
