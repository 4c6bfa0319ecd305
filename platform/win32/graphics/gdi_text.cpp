#include "platform/win32/graphics/gdi_text.h"

// clang-format off
#include <windows.h>
#include <uxtheme.h>
#include <vssym32.h>
// clang-format on

#include <cstring>

#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

COLORREF colorOf(uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

LOGFONTW logFontFor(const FontSpec& font) {
    LOGFONTW lf{};
    if (FAILED(GetThemeSysFont(nullptr, TMT_ICONTITLEFONT, &lf))) {
        SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof lf, &lf, 0);
    }
    if (font.family != "sans") {
        const std::wstring face = widen(font.family);
        wcsncpy_s(lf.lfFaceName, LF_FACESIZE, face.c_str(), _TRUNCATE);
    }
    // A positive height is the cell's: ascent plus descent.
    lf.lfHeight = font.cellHeight;
    lf.lfWidth = 0;
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    return lf;
}

}  // namespace

TextCells renderText(std::string_view text, const FontSpec& font, uint32_t foreground,
                     uint32_t background) {
    TextCells cells;
    const std::wstring wide = widen(text);
    if (wide.empty() || font.cellHeight <= 0) return cells;
    const LOGFONTW lf = logFontFor(font);
    HFONT hfont = CreateFontIndirectW(&lf);
    HDC dc = CreateCompatibleDC(nullptr);
    if (!hfont || !dc) {
        if (hfont) DeleteObject(hfont);
        if (dc) DeleteDC(dc);
        return cells;
    }
    HGDIOBJ oldFont = SelectObject(dc, hfont);
    SIZE extent{};
    const int length = static_cast<int>(wide.size());
    if (GetTextExtentPoint32W(dc, wide.c_str(), length, &extent) && extent.cx > 0 &&
        extent.cy > 0) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = extent.cx;
        info.bmiHeader.biHeight = -extent.cy;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (dib && bits) {
            HGDIOBJ oldBitmap = SelectObject(dc, dib);
            SetTextColor(dc, colorOf(foreground));
            SetBkColor(dc, colorOf(background));
            SetBkMode(dc, OPAQUE);
            RECT all{0, 0, extent.cx, extent.cy};
            ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &all, wide.c_str(), static_cast<UINT>(length),
                        nullptr);
            GdiFlush();
            cells.width = extent.cx;
            cells.height = extent.cy;
            cells.rgb.resize(static_cast<std::size_t>(extent.cx) *
                             static_cast<std::size_t>(extent.cy));
            std::memcpy(cells.rgb.data(), bits, cells.rgb.size() * 4);
            // GDI leaves the alpha byte alone; the cells are opaque.
            for (uint32_t& p : cells.rgb) p |= 0xFF000000u;
            SelectObject(dc, oldBitmap);
        }
        if (dib) DeleteObject(dib);
    }
    SelectObject(dc, oldFont);
    DeleteObject(hfont);
    DeleteDC(dc);
    return cells;
}

}  // namespace platform::win32
