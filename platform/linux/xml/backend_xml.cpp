#include "platform/linux/module/backend_api.h"
#include "platform/linux/xml/libxml_reader.h"

using namespace platform;
using namespace platform::linux_adapter;

VESKOSD_BACKEND(xml, XmlBackend,
                []() -> std::unique_ptr<XmlReaders> { return std::make_unique<LibXmlReaders>(); })
