#pragma once
// A window's controls laid out in 96-dpi units and placed at the window's own DPI: once
// when created, again when the window moves to a monitor with another scale
// (WM_DPICHANGED), with the font made again at that scale.
#include <windows.h>

#include <vector>

namespace vorn::win32 {

class DpiLayout {
public:
    ~DpiLayout() { DropFonts(); }
    // The DPI of `hwnd`'s monitor (GetDpiForWindow where Windows has it, else the screen's).
    static int DpiOf(HWND hwnd) {
        using GetDpi = UINT(WINAPI*)(HWND);
        static const auto get = reinterpret_cast<GetDpi>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
        if (get && hwnd) {
            if (const UINT dpi = get(hwnd)) return static_cast<int>(dpi);
        }
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        return dpi;
    }
    void SetDpi(int dpi) {
        dpi_ = dpi;
        MakeFonts();
    }
    int Dpi() const { return dpi_; }
    int Px(int units) const { return MulDiv(units, dpi_, 96); }
    HFONT Font(bool bold = false) const { return bold ? bold_ : font_; }

    // Creates a child at 96-dpi units and remembers where it belongs.
    HWND Add(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id, RECT units, bool bold = false) {
        HWND c = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, Px(units.left), Px(units.top),
                                 Px(units.right), Px(units.bottom), parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(Font(bold)), FALSE);
        items_.push_back({c, units, bold});
        return c;
    }
    // WM_DPICHANGED: the new scale, the window where Windows suggests, every control again.
    void Rescale(HWND window, WPARAM w, LPARAM l) {
        SetDpi(HIWORD(w));
        const RECT* suggested = reinterpret_cast<const RECT*>(l);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        for (const Item& item : items_) {
            SetWindowPos(item.hwnd, nullptr, Px(item.units.left), Px(item.units.top), Px(item.units.right),
                         Px(item.units.bottom), SWP_NOZORDER | SWP_NOACTIVATE);
            SendMessageW(item.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font(item.bold)), TRUE);
        }
        InvalidateRect(window, nullptr, TRUE);
    }

private:
    struct Item {
        HWND hwnd;
        RECT units;  // left, top, width, height
        bool bold;
    };
    void DropFonts() {
        for (HGDIOBJ old : retired_) DeleteObject(old);
        if (font_) DeleteObject(font_);
        if (bold_) DeleteObject(bold_);
        font_ = bold_ = nullptr;
    }
    void MakeFonts() {
        // The controls hold the old fonts until they are given the new ones: those are
        // deleted at the next change (or with the layout).
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        LOGFONTW face = metrics.lfMessageFont;
        face.lfHeight = -MulDiv(8, dpi_, 72);
        HFONT font = CreateFontIndirectW(&face);
        face.lfWeight = FW_BOLD;
        HFONT bold = CreateFontIndirectW(&face);
        for (HGDIOBJ old : retired_) DeleteObject(old);
        retired_.clear();
        if (font_) retired_.push_back(font_);
        if (bold_) retired_.push_back(bold_);
        font_ = font;
        bold_ = bold;
    }

    int dpi_ = 96;
    HFONT font_ = nullptr, bold_ = nullptr;
    std::vector<Item> items_;
    std::vector<HGDIOBJ> retired_;
};

}  // namespace vorn::win32
