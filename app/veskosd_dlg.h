// The main dialog: the program's one window for its whole life.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "app/globals.h"
#include "base/window.h"
#include "platform/canvas.h"

inline constexpr int IDD_VESKOSD_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDC_PROGRESS = 1000;

// The progress control of the dialog template: bound, never shown or changed.
struct CProgressCtrl {
    int controlId = 0;
};

// The OSD text's font, made anew by every paint; empty until the first.
struct CFont {
    std::optional<platform::FontSpec> font;
    void DeleteObject() { font.reset(); }
};

class CVESKOSDDlg : public base::Dialog {
public:
    CVESKOSDDlg();
    ~CVESKOSDDlg() override;

    base::LRESULT WindowProc(uint32_t message, base::WPARAM wParam, base::LPARAM lParam) override;
    // The destructor's releases, for a dialog whose object must outlive the modal loop.
    void tearDown();

    // Bodies of the message-map entries, supplied by the subsystems that own them at start-up.
    static inline std::function<void()> paintBody;
    static inline std::function<void(uint32_t id, uint32_t modifiers, uint32_t virtualKey)>
        hotKeyBody;

    base::Icon m_hIcon = 0;
    CProgressCtrl m_Progress;
    uintptr_t m_hMonitorPowerNotify = 0;
    uintptr_t m_hSchemeNotify = 0;
    CFont m_Font;

protected:
    void DoDataExchange();
    bool OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}
    void OnPaint() override;
    base::Icon OnQueryDragIcon() override { return m_hIcon; }
    void OnHotKey(uint32_t id, uint32_t modifiers, uint32_t virtualKey) override {
        MyHotKey(id, modifiers, virtualKey);
    }
    void MyHotKey(uint32_t nHotKeyId, uint32_t nKey1, uint32_t nKey2);
};

// Start-up steps that later subsystems supply; each runs at its place in OnInitDialog when set.
struct StartupHooks {
    std::function<void()> startupDone;  // after the last step, both models
};
StartupHooks& startupHooks();

// Spin count with the flag that pre-allocates the section's event.
inline constexpr uint32_t kCriticalSectionSpinCount = 0x80000400;
