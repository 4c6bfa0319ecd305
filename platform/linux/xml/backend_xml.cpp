#include "platform/linux/module/backend_api.h"
#include "platform/linux/xml/libxml_reader.h"

using namespace platform;
using namespace platform::linux_adapter;

extern "C" const XmlBackend* veskosd_backend_xml() {
    static const XmlBackend table{
        kBackendAbi,
        []() -> std::unique_ptr<XmlReaders> { return std::make_unique<LibXmlReaders>(); },
    };
    return &table;
}
