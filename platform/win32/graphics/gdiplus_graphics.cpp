#include "platform/win32/graphics/gdiplus_graphics.h"

// clang-format off
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>
// clang-format on

#include <algorithm>
#include <cstring>

#include "platform/win32/graphics/gdi_text.h"

namespace platform::win32 {

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpGraphics;
using Gdiplus::GpImage;

namespace {

std::size_t offset(int x, int y, int width) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
           static_cast<std::size_t>(x);
}

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Pixels GDI+ reads and writes in place: premultiplied ARGB, four bytes a pixel, no padding, as
// Pixels lays them out.
struct Surface {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;
    GpBitmap* bitmap = nullptr;

    Surface(int w, int h) : width(std::max(w, 0)), height(std::max(h, 0)) {
        argb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
        if (width > 0 && height > 0) {
            gp::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppPARGB,
                                          reinterpret_cast<BYTE*>(argb.data()), &bitmap);
        }
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    ~Surface() {
        if (bitmap) gp::GdipDisposeImage(bitmap);
    }
};

class GdiplusImage final : public Image {
public:
    GdiplusImage(int w, int h) : s_(w, h) {}
    int width() const override { return s_.width; }
    int height() const override { return s_.height; }
    Surface& surface() { return s_; }
    GpImage* image() const { return s_.bitmap; }

private:
    Surface s_;
};

class GdiplusCanvas final : public Canvas {
public:
    GdiplusCanvas(int w, int h) : s_(w, h) {
        if (s_.bitmap) gp::GdipGetImageGraphicsContext(s_.bitmap, &g_);
    }
    GdiplusCanvas(const GdiplusCanvas&) = delete;
    GdiplusCanvas& operator=(const GdiplusCanvas&) = delete;
    ~GdiplusCanvas() override {
        if (g_) gp::GdipDeleteGraphics(g_);
    }

    void fill(uint32_t rgb) override {
        if (g_) gp::GdipGraphicsClear(g_, 0xFF000000u | rgb);
    }

    int drawText(int x, int y, std::string_view text, const FontSpec& font, uint32_t foreground,
                 uint32_t background) override {
        const TextCells cells = renderText(text, font, foreground, background);
        if (cells.width <= 0 || !g_) return cells.width;
        // GDI wrote beside GDI+: what GDI+ still holds goes to the pixels first.
        gp::GdipFlush(g_, Gdiplus::FlushIntentionSync);
        for (int row = 0; row < cells.height; ++row) {
            const int ty = y + row;
            if (ty < 0 || ty >= s_.height) continue;
            for (int col = 0; col < cells.width; ++col) {
                const int tx = x + col;
                if (tx < 0 || tx >= s_.width) continue;
                s_.argb[offset(tx, ty, s_.width)] = cells.rgb[offset(col, row, cells.width)];
            }
        }
        return cells.width;
    }

    bool drawImageRect(const Image* image, float x, float y, float w, float h) override {
        const auto* img = dynamic_cast<const GdiplusImage*>(image);
        if (!g_ || !img || !img->image() || w <= 0 || h <= 0) return false;
        return gp::GdipDrawImageRect(g_, img->image(), x, y, w, h) == Gdiplus::Ok;
    }

    Pixels pixels() const override {
        if (g_) gp::GdipFlush(g_, Gdiplus::FlushIntentionSync);
        Pixels p;
        if (!s_.bitmap) return p;
        p.width = s_.width;
        p.height = s_.height;
        p.argb = s_.argb;
        return p;
    }

private:
    Surface s_;
    GpGraphics* g_ = nullptr;
};

bool pngEncoder(CLSID& clsid) {
    UINT count = 0, size = 0;
    if (gp::GdipGetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::vector<std::byte> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (gp::GdipGetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

uint32_t unpremultiply(uint32_t p) {
    const uint32_t a = p >> 24;
    if (a == 0) return 0;
    if (a == 255) return p;
    uint32_t out = a << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = (p >> shift) & 0xFF;
        out |= std::min<uint32_t>(255, (c * 255 + a / 2) / a) << shift;
    }
    return out;
}

}  // namespace

GdiplusGraphics::GdiplusGraphics() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) token_ = token;
}

std::unique_ptr<Image> GdiplusGraphics::decodePng(std::span<const uint8_t> bytes) {
    // GDI+ reads other formats too; only a PNG is an image here.
    if (!ok() || bytes.size() < sizeof kPngSignature ||
        std::memcmp(bytes.data(), kPngSignature, sizeof kPngSignature) != 0) {
        return nullptr;
    }
    IStream* stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    if (!stream) return nullptr;
    GpBitmap* decoded = nullptr;
    const Gdiplus::Status status = gp::GdipCreateBitmapFromStream(stream, &decoded);
    std::unique_ptr<GdiplusImage> image;
    UINT w = 0, h = 0;
    if (status == Gdiplus::Ok && decoded && gp::GdipGetImageWidth(decoded, &w) == Gdiplus::Ok &&
        gp::GdipGetImageHeight(decoded, &h) == Gdiplus::Ok && w > 0 && h > 0) {
        // Decoded once into pixels of its own, so that neither the stream nor the bytes need
        // outlive this call.
        image = std::make_unique<GdiplusImage>(static_cast<int>(w), static_cast<int>(h));
        Gdiplus::GpRect all{0, 0, static_cast<INT>(w), static_cast<INT>(h)};
        Gdiplus::BitmapData data{};
        data.Width = w;
        data.Height = h;
        data.Stride = static_cast<INT>(w) * 4;
        data.PixelFormat = PixelFormat32bppPARGB;
        data.Scan0 = image->surface().argb.data();
        const bool read =
            image->image() &&
            gp::GdipBitmapLockBits(decoded, &all,
                                   Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                                   PixelFormat32bppPARGB, &data) == Gdiplus::Ok;
        if (read) {
            gp::GdipBitmapUnlockBits(decoded, &data);
        } else {
            image.reset();
        }
    }
    if (decoded) gp::GdipDisposeImage(decoded);
    stream->Release();
    return image;
}

std::unique_ptr<Canvas> GdiplusGraphics::createCanvas(int width, int height) {
    if (!ok()) return makeBlankCanvas(width, height);
    return std::make_unique<GdiplusCanvas>(width, height);
}

std::vector<uint8_t> GdiplusGraphics::encodePng(const Pixels& pixels) {
    std::vector<uint8_t> out;
    CLSID png;
    if (!ok() || pixels.width <= 0 || pixels.height <= 0 ||
        pixels.argb.size() < static_cast<std::size_t>(pixels.width) * pixels.height ||
        !pngEncoder(png)) {
        return out;
    }
    // Written straight (not premultiplied), as PNG keeps its colours.
    std::vector<uint32_t> straight(pixels.argb.size());
    std::transform(pixels.argb.begin(), pixels.argb.end(), straight.begin(), unpremultiply);
    GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromScan0(
            pixels.width, pixels.height, pixels.width * 4, PixelFormat32bppARGB,
            reinterpret_cast<BYTE*>(straight.data()), &bitmap) != Gdiplus::Ok) {
        return out;
    }
    IStream* stream = SHCreateMemStream(nullptr, 0);
    if (stream && gp::GdipSaveImageToStream(bitmap, stream, &png, nullptr) == Gdiplus::Ok) {
        STATSTG stat{};
        LARGE_INTEGER start{};
        if (stream->Stat(&stat, STATFLAG_NONAME) == S_OK &&
            stream->Seek(start, STREAM_SEEK_SET, nullptr) == S_OK) {
            out.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
            ULONG got = 0;
            if (stream->Read(out.data(), static_cast<ULONG>(out.size()), &got) != S_OK ||
                got != out.size()) {
                out.clear();
            }
        }
    }
    if (stream) stream->Release();
    gp::GdipDisposeImage(bitmap);
    return out;
}

}  // namespace platform::win32
