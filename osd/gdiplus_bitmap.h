// One decoded image, and the kind that loads itself from a named "PNG" resource.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/canvas.h"

class CGdiPlusBitmap {
public:
    CGdiPlusBitmap() = default;
    CGdiPlusBitmap(const CGdiPlusBitmap&) = delete;
    CGdiPlusBitmap& operator=(const CGdiPlusBitmap&) = delete;
    virtual ~CGdiPlusBitmap() { m_pBitmap.reset(); }

    // Null when the object is empty.
    std::unique_ptr<platform::Image> m_pBitmap;
};

class CGdiPlusBitmapResource : public CGdiPlusBitmap {
public:
    // The image first, then the bytes it was decoded from: they go together.
    ~CGdiPlusBitmapResource() override {
        m_pBitmap.reset();
        m_hBuffer.reset();
    }

    // Releases what the object held, then loads resource `name` of type "PNG". True when the
    // object holds a usable image; false leaves it empty.
    bool Load(std::string_view name);

    // The object's own copy of the PNG bytes; set exactly while m_pBitmap is.
    std::unique_ptr<std::vector<uint8_t>> m_hBuffer;
};
