#include "platform/win32/brightness/wmi_brightness.h"

#include <wbemcli.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <optional>

#include "platform/win32/brightness/com_ref.h"
#include "platform/win32/brightness/wmi_calls.h"

namespace platform::win32 {

namespace {

constexpr DWORD kFailedNextPauseMs = 1000;

// A BSTR for one call.
class Bstr {
public:
    explicit Bstr(const wchar_t* text) : s_(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(s_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return s_; }
    BSTR* put() {
        SysFreeString(s_);
        s_ = nullptr;
        return &s_;
    }

private:
    BSTR s_;
};

class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &v_; }

private:
    VARIANT v_;
};

// COM for the calling thread, in the multithreaded apartment, as long as this lives.
class ComApartment {
public:
    ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComApartment() {
        if (ok_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// Once per process; a later call is too late and that is as good.
bool initialiseSecurity() {
    const HRESULT hr =
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    return SUCCEEDED(hr) || hr == RPC_E_TOO_LATE;
}

ComRef<IWbemServices> connect(const WmiCalls& calls, const wchar_t* wmiNamespace) {
    ComRef<IWbemLocator> locator;
    ComRef<IWbemServices> services;
    if (FAILED(calls.createLocator(locator.put()))) return services;
    Bstr name(wmiNamespace);
    if (FAILED(locator->ConnectServer(name.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services.put()))) {
        services.reset();
    }
    return services;
}

// The first monitor's object path into `path`; false where there is no monitor to set.
bool firstInstancePath(IWbemServices* services, BSTR className, Variant& path) {
    ComRef<IEnumWbemClassObject> instances;
    if (FAILED(services->CreateInstanceEnum(className, 0, nullptr, instances.put()))) {
        // Without an enumeration the class itself is named.
        V_VT(path.get()) = VT_BSTR;
        V_BSTR(path.get()) = SysAllocString(className);
        return true;
    }
    ComRef<IWbemClassObject> first;
    ULONG returned = 0;
    if (FAILED(instances->Next(WBEM_INFINITE, 1, first.put(), &returned)) || returned != 1 ||
        !first) {
        return false;
    }
    // A path that cannot be read stays empty.
    if (FAILED(first->Get(L"__PATH", 0, path.get(), nullptr, nullptr)) ||
        V_VT(path.get()) != VT_BSTR) {
        VariantClear(path.get());
        V_VT(path.get()) = VT_BSTR;
        V_BSTR(path.get()) = SysAllocString(L"");
    }
    return true;
}

class WmiBrightnessNotices final : public BrightnessNotices {
public:
    WmiBrightnessNotices(std::unique_ptr<ComApartment> apartment, ComRef<IWbemServices> services,
                         ComRef<IEnumWbemClassObject> events)
        : apartment_(std::move(apartment)),
          services_(std::move(services)),
          events_(std::move(events)) {}

    std::optional<uint8_t> next() override {
        for (;;) {
            ComRef<IWbemClassObject> event;
            ULONG returned = 0;
            HRESULT hr = WBEM_S_TIMEDOUT;
            while (hr == WBEM_S_TIMEDOUT) {
                hr = events_->Next(WBEM_INFINITE, 1, event.put(), &returned);
            }
            if (FAILED(hr)) {
                // A connection that keeps failing is not asked again at once.
                Sleep(kFailedNextPauseMs);
                continue;
            }
            if (hr == WBEM_S_FALSE || returned != 1 || !event) continue;
            if (auto level = brightnessOf(event.get())) return level;
        }
    }

private:
    static std::optional<uint8_t> brightnessOf(IWbemClassObject* event) {
        Variant cls;
        if (FAILED(event->Get(L"__Class", 0, cls.get(), nullptr, nullptr))) return std::nullopt;
        if (V_VT(cls.get()) != VT_BSTR &&
            FAILED(VariantChangeType(cls.get(), cls.get(), 0, VT_BSTR))) {
            return std::nullopt;
        }
        static constexpr wchar_t kClass[] = L"WmiMonitorBrightnessEvent";
        const BSTR name = V_BSTR(cls.get());
        // Case matters, and so does the length.
        if (!name || SysStringLen(name) != std::wcslen(kClass) || std::wcscmp(name, kClass) != 0) {
            return std::nullopt;
        }
        Variant value;
        if (FAILED(event->Get(L"Brightness", 0, value.get(), nullptr, nullptr)) ||
            FAILED(VariantChangeType(value.get(), value.get(), 0, VT_I8))) {
            return std::nullopt;
        }
        return static_cast<uint8_t>(V_I8(value.get()) & 0xFF);
    }

    // First in, last out: the objects are released inside their apartment.
    std::unique_ptr<ComApartment> apartment_;
    ComRef<IWbemServices> services_;
    ComRef<IEnumWbemClassObject> events_;
};

}  // namespace

HRESULT createWbemLocator(IWbemLocator** locator) {
    return CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                            reinterpret_cast<void**>(locator));
}

WmiMonitorBrightness::WmiMonitorBrightness() : calls_(std::make_unique<WmiCalls>()) {}

WmiMonitorBrightness::WmiMonitorBrightness(const WmiCalls& calls)
    : calls_(std::make_unique<WmiCalls>(calls)) {}

WmiMonitorBrightness::~WmiMonitorBrightness() = default;

bool WmiMonitorBrightness::setLevel(uint8_t level) {
    ComApartment apartment;
    if (!apartment.ok() || !initialiseSecurity()) return false;
    ComRef<IWbemServices> services = connect(*calls_, L"ROOT\\WMI");
    if (!services) return false;
    if (FAILED(calls_->setProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                       RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                       EOAC_NONE))) {
        return false;
    }
    Bstr className(L"WmiMonitorBrightnessMethods");
    Bstr methodName(L"WmiSetBrightness");
    ComRef<IWbemClassObject> cls;
    if (FAILED(services->GetObject(className.get(), 0, nullptr, cls.put(), nullptr))) return false;
    ComRef<IWbemClassObject> inDefinition;
    ComRef<IWbemClassObject> in;
    if (FAILED(cls->GetMethod(methodName.get(), 0, inDefinition.put(), nullptr)) || !inDefinition ||
        FAILED(inDefinition->SpawnInstance(0, in.put()))) {
        return false;
    }
    Variant path;
    if (!firstInstancePath(services.get(), className.get(), path)) {
        std::fprintf(stderr, "veskosd: WMI brightness: no monitor has it; not available\n");
        return false;
    }
    Variant timeout;
    V_VT(timeout.get()) = VT_I4;
    V_I4(timeout.get()) = 0;
    Variant brightness;
    V_VT(brightness.get()) = VT_UI1;
    V_UI1(brightness.get()) = level;
    if (FAILED(in->Put(L"Timeout", 0, timeout.get(), 0)) ||
        FAILED(in->Put(L"Brightness", 0, brightness.get(), 0))) {
        return false;
    }
    ComRef<IWbemClassObject> out;
    return SUCCEEDED(services->ExecMethod(V_BSTR(path.get()), methodName.get(), 0, nullptr,
                                          in.get(), out.put(), nullptr));
}

std::unique_ptr<BrightnessNotices> WmiMonitorBrightness::watch() {
    auto apartment = std::make_unique<ComApartment>();
    if (!apartment->ok() || !initialiseSecurity()) return nullptr;
    ComRef<IWbemServices> services = connect(*calls_, L"root\\wmi");
    if (!services) return nullptr;
    Bstr language(L"WQL");
    Bstr query(L"Select * from WmiMonitorBrightnessEvent");
    ComRef<IEnumWbemClassObject> events;
    if (FAILED(services->ExecNotificationQuery(
            language.get(), query.get(), WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY,
            nullptr, events.put())) ||
        !events) {
        return nullptr;
    }
    return std::make_unique<WmiBrightnessNotices>(std::move(apartment), std::move(services),
                                                  std::move(events));
}

}  // namespace platform::win32
