// Fuzzes the reading of the button configuration, reader adapter included.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "buttons/configuration.h"
#include "platform/linux/xml/libxml_reader.h"
#include "platform/ports.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        platform::Ports p;
        p.xmlReaders = std::make_unique<platform::linux_adapter::LibXmlReaders>();
        platform::installPorts(std::move(p));
        return true;
    }();
    (void)ready;
    resetButtonConfiguration();
    XmlLiteReader(std::span<const uint8_t>(data, size));
    return 0;
}
