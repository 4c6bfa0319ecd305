// The XML pull reader on libxml2's xmlTextReader, made to behave as a strict pull reader:
//  - libxml2 gives no node for the XML declaration: one is made from the input;
//  - a first parse of the whole input finds the first error and stops at a DOCTYPE before its
//    internal subset, so no entity is ever declared, expanded or fetched; the reader then reads
//    only the input before that point (a fatal error would drop the nodes of the chunk it
//    happens in) and the read fails after its nodes;
//  - 256 levels are enforced here, failing exactly at the 257th nested element start
//    (libxml2's own limit lies past ours and stays on);
//  - UTF-16 input (by its byte-order mark or its first characters) is read as UTF-8.
#pragma once

#include "platform/xml_reader.h"

namespace platform::linux_adapter {

class LibXmlReaders final : public XmlReaders {
public:
    std::unique_ptr<XmlPullReader> open(std::span<const uint8_t> document) override;
};

}  // namespace platform::linux_adapter
