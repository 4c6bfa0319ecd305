#include "platform/linux/cairo/cairo_graphics.h"

#include <cairo.h>

#include <cmath>
#include <cstring>
#include <string>

namespace platform::linux_adapter {

namespace {

class CairoImage final : public Image {
public:
    explicit CairoImage(cairo_surface_t* s) : s_(s) {}
    ~CairoImage() override { cairo_surface_destroy(s_); }
    int width() const override { return cairo_image_surface_get_width(s_); }
    int height() const override { return cairo_image_surface_get_height(s_); }
    cairo_surface_t* surface() const { return s_; }

private:
    cairo_surface_t* s_;
};

Pixels readPixels(cairo_surface_t* s) {
    cairo_surface_flush(s);
    Pixels p;
    p.width = cairo_image_surface_get_width(s);
    p.height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    // A window with no area (its display gone, say) gives a surface with nothing to read.
    if (!data || p.width <= 0 || p.height <= 0) {
        p.width = 0;
        p.height = 0;
        return p;
    }
    p.argb.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    for (int y = 0; y < p.height; ++y) {
        std::memcpy(&p.argb[p.index(0, y)], data + static_cast<std::ptrdiff_t>(y) * stride,
                    static_cast<std::size_t>(p.width) * 4);
    }
    return p;
}

void setRgb(cairo_t* cr, uint32_t rgb) {
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         (rgb & 0xFF) / 255.0);
}

class CairoCanvas final : public Canvas {
public:
    CairoCanvas(int w, int h)
        : s_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w > 0 ? w : 0, h > 0 ? h : 0)),
          cr_(cairo_create(s_)) {}
    ~CairoCanvas() override {
        cairo_destroy(cr_);
        cairo_surface_destroy(s_);
    }

    void fill(uint32_t rgb) override {
        setRgb(cr_, rgb);
        cairo_paint(cr_);
    }

    int drawText(int x, int y, std::string_view text, const FontSpec& font, uint32_t foreground,
                 uint32_t background) override {
        const std::string t(text);
        cairo_select_font_face(cr_, font.family.c_str(), CAIRO_FONT_SLANT_NORMAL,
                               font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        // Size the font so that one line's cell (ascent and descent) is the height asked for.
        cairo_set_font_size(cr_, font.cellHeight);
        cairo_font_extents_t fe;
        cairo_font_extents(cr_, &fe);
        if (fe.ascent + fe.descent > 0) {
            cairo_set_font_size(cr_, font.cellHeight * font.cellHeight / (fe.ascent + fe.descent));
            cairo_font_extents(cr_, &fe);
        }
        cairo_text_extents_t te;
        cairo_text_extents(cr_, t.c_str(), &te);
        setRgb(cr_, background);
        cairo_rectangle(cr_, x, y, te.x_advance, font.cellHeight);
        cairo_fill(cr_);
        setRgb(cr_, foreground);
        cairo_move_to(cr_, x, y + fe.ascent);
        // Filled as outlines: a few digits need no glyph cache, and the image compositor's
        // would keep 256 KiB for the life of the process.
        cairo_text_path(cr_, t.c_str());
        cairo_fill(cr_);
        return static_cast<int>(std::lround(te.x_advance));
    }

    bool drawImageRect(const Image* image, float x, float y, float w, float h) override {
        const auto* img = dynamic_cast<const CairoImage*>(image);
        if (!img || img->width() <= 0 || img->height() <= 0 || w <= 0 || h <= 0) return false;
        cairo_save(cr_);
        cairo_translate(cr_, x, y);
        cairo_scale(cr_, w / img->width(), h / img->height());
        cairo_set_source_surface(cr_, img->surface(), 0, 0);
        // Edges stay where the rectangle says instead of smearing past it.
        cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
        // Bilinear is enough for bars and icons at close to their size, and far cheaper than
        // the default filter's downscaling convolution.
        cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_BILINEAR);
        cairo_rectangle(cr_, 0, 0, img->width(), img->height());
        cairo_fill(cr_);
        cairo_restore(cr_);
        return true;
    }

    Pixels pixels() const override { return readPixels(s_); }

private:
    cairo_surface_t* s_;
    cairo_t* cr_;
};

struct ReadCursor {
    std::span<const uint8_t> bytes;
    std::size_t offset = 0;
};

cairo_status_t readChunk(void* closure, unsigned char* data, unsigned int length) {
    auto* c = static_cast<ReadCursor*>(closure);
    if (c->bytes.size() - c->offset < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, c->bytes.data() + c->offset, length);
    c->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

cairo_status_t writeChunk(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::unique_ptr<Image> CairoGraphics::decodePng(std::span<const uint8_t> bytes) {
    ReadCursor cursor{bytes, 0};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readChunk, &cursor);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    // Cairo keeps a copy of the PNG stream with the surface for vector back ends to embed; the
    // OSD only paints it, and the copy would double each decoded image's heap.
    cairo_surface_set_mime_data(s, CAIRO_MIME_TYPE_PNG, nullptr, 0, nullptr, nullptr);
    return std::make_unique<CairoImage>(s);
}

std::unique_ptr<Canvas> CairoGraphics::createCanvas(int width, int height) {
    return std::make_unique<CairoCanvas>(width, height);
}

std::vector<uint8_t> CairoGraphics::encodePng(const Pixels& pixels) {
    std::vector<uint8_t> out;
    if (pixels.width <= 0 || pixels.height <= 0) return out;
    cairo_surface_t* s =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixels.width, pixels.height);
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_flush(s);
        unsigned char* data = cairo_image_surface_get_data(s);
        const int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < pixels.height; ++y) {
            std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride,
                        &pixels.argb[pixels.index(0, y)],
                        static_cast<std::size_t>(pixels.width) * 4);
        }
        cairo_surface_mark_dirty(s);
        if (cairo_surface_write_to_png_stream(s, writeChunk, &out) != CAIRO_STATUS_SUCCESS) {
            out.clear();
        }
    }
    cairo_surface_destroy(s);
    return out;
}

}  // namespace platform::linux_adapter
