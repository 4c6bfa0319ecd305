#include "osd/gdiplus_bitmap.h"

#include "platform/ports.h"
#include "res/resources.h"

bool CGdiPlusBitmapResource::Load(std::string_view name) {
    m_pBitmap.reset();
    m_hBuffer.reset();

    const auto resource = FindResource(name, "PNG");
    if (!resource || resource->empty()) return false;
    m_hBuffer = std::make_unique<std::vector<uint8_t>>(resource->begin(), resource->end());
    m_pBitmap = platform::ports().graphics->decodePng(*m_hBuffer);
    if (m_pBitmap) return true;
    m_hBuffer.reset();
    return false;
}
