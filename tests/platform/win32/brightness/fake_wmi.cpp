#include "fake_wmi.h"

#include <map>
#include <string>

#include "platform/win32/wide.h"

namespace fake_wmi {

System fake;

namespace {

#define NOT_USED(signature)                        \
    HRESULT STDMETHODCALLTYPE signature override { \
        return E_NOTIMPL;                          \
    }

std::string text(const wchar_t* s) {
    return s ? platform::win32::narrow(s) : "(null)";
}

template <typename Interface>
class Counted : public Interface {
public:
    Counted() { ++fake.live; }
    virtual ~Counted() { --fake.live; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (!left) delete this;
        return left;
    }

private:
    ULONG refs_ = 1;
};

class Object final : public Counted<IWbemClassObject> {
public:
    explicit Object(bool logPuts = false) : logPuts_(logPuts) {}
    ~Object() override {
        for (auto& [name, v] : properties_) VariantClear(&v);
    }
    void set(const std::wstring& name, const VARIANT& v) {
        VariantInit(&properties_[name]);
        VariantCopy(&properties_[name], const_cast<VARIANT*>(&v));
    }
    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* v, CIMTYPE*, LONG*) override {
        if (logPuts_) fake.log.push_back("Get " + text(name));
        auto it = properties_.find(name);
        if (it == properties_.end()) return WBEM_E_NOT_FOUND;
        VariantInit(v);
        return VariantCopy(v, &it->second);
    }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, LONG, VARIANT* v, CIMTYPE) override {
        VARIANT as{};
        VariantInit(&as);
        VariantChangeType(&as, v, 0, VT_I4);
        fake.log.push_back("Put " + text(name) + " " + std::to_string(V_VT(v)) + " " +
                           std::to_string(V_I4(&as)));
        if (FAILED(fake.putResult)) return fake.putResult;
        set(name, *v);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR name, LONG, IWbemClassObject** in,
                                        IWbemClassObject** out) override {
        fake.log.push_back("GetMethod " + text(name));
        *in = new Object;
        if (out) *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject** instance) override {
        fake.log.emplace_back("SpawnInstance");
        *instance = new Object;
        return S_OK;
    }
    NOT_USED(GetQualifierSet(IWbemQualifierSet**))
    NOT_USED(Delete(LPCWSTR))
    NOT_USED(GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**))
    NOT_USED(BeginEnumeration(LONG))
    NOT_USED(Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*))
    NOT_USED(EndEnumeration())
    NOT_USED(GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**))
    NOT_USED(Clone(IWbemClassObject**))
    NOT_USED(GetObjectText(LONG, BSTR*))
    NOT_USED(SpawnDerivedClass(LONG, IWbemClassObject**))
    NOT_USED(CompareTo(LONG, IWbemClassObject*))
    NOT_USED(GetPropertyOrigin(LPCWSTR, BSTR*))
    NOT_USED(InheritsFrom(LPCWSTR))
    NOT_USED(PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*))
    NOT_USED(DeleteMethod(LPCWSTR))
    NOT_USED(BeginMethodEnumeration(LONG))
    NOT_USED(NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**))
    NOT_USED(EndMethodEnumeration())
    NOT_USED(GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**))
    NOT_USED(GetMethodOrigin(LPCWSTR, BSTR*))

private:
    bool logPuts_;
    std::map<std::wstring, VARIANT> properties_;
};

VARIANT bstrVariant(const std::wstring& s) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(s.c_str());
    return v;
}

// The monitors' instances, or the events as the steps say.
class Enumeration final : public Counted<IEnumWbemClassObject> {
public:
    explicit Enumeration(bool events) : events_(events) {}
    HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override {
        *returned = 0;
        if (timeout != static_cast<LONG>(WBEM_INFINITE) || count != 1)
            return WBEM_E_INVALID_PARAMETER;
        if (!events_) {
            fake.log.emplace_back("Next");
            if (given_ >= fake.instances) return WBEM_S_FALSE;
            auto* o = new Object(true);
            VARIANT path =
                bstrVariant(L"\\\\.\\ROOT\\WMI:WmiMonitorBrightnessMethods.InstanceName=\"M" +
                            std::to_wstring(given_++) + L"\"");
            o->set(L"__PATH", path);
            VariantClear(&path);
            *objects = o;
            *returned = 1;
            return S_OK;
        }
        if (fake.events.empty()) return WBEM_E_CALL_CANCELLED;
        Step step = fake.events.front();
        fake.events.pop_front();
        if (!step.className.empty()) {
            auto* o = new Object;
            VARIANT cls = bstrVariant(step.className);
            o->set(L"__Class", cls);
            VariantClear(&cls);
            o->set(L"Brightness", step.brightness);
            *objects = o;
            *returned = 1;
        }
        return step.result;
    }
    NOT_USED(Reset())
    NOT_USED(NextAsync(ULONG, IWbemObjectSink*))
    NOT_USED(Clone(IEnumWbemClassObject**))
    NOT_USED(Skip(LONG, ULONG))

private:
    bool events_;
    int given_ = 0;
};

class Services final : public Counted<IWbemServices> {
public:
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR path, LONG, IWbemContext*, IWbemClassObject** o,
                                        IWbemCallResult**) override {
        fake.log.push_back("GetObject " + text(path));
        if (FAILED(fake.getObjectResult)) return fake.getObjectResult;
        *o = new Object;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR cls, LONG flags, IWbemContext*,
                                                 IEnumWbemClassObject** e) override {
        fake.log.push_back("CreateInstanceEnum " + text(cls) + " " + std::to_string(flags));
        if (FAILED(fake.enumResult)) return fake.enumResult;
        *e = new Enumeration(false);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR path, const BSTR method, LONG flags,
                                         IWbemContext* context, IWbemClassObject* in,
                                         IWbemClassObject** out, IWbemCallResult**) override {
        fake.log.push_back("ExecMethod " + text(path) + " " + text(method) + " " +
                           std::to_string(flags) + (context ? " ?context" : "") +
                           (in ? "" : " ?in"));
        if (FAILED(fake.execResult)) return fake.execResult;
        if (out) *out = new Object;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR language, const BSTR query,
                                                    LONG flags, IWbemContext*,
                                                    IEnumWbemClassObject** e) override {
        fake.log.push_back("ExecNotificationQuery " + text(language) + " " + text(query) + " " +
                           std::to_string(flags));
        if (FAILED(fake.queryResult)) return fake.queryResult;
        *e = new Enumeration(true);
        return S_OK;
    }
    NOT_USED(OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**, IWbemCallResult**))
    NOT_USED(CancelAsyncCall(IWbemObjectSink*))
    NOT_USED(QueryObjectSink(LONG, IWbemObjectSink**))
    NOT_USED(GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
    NOT_USED(PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**))
    NOT_USED(PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*))
    NOT_USED(DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**))
    NOT_USED(DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
    NOT_USED(CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**))
    NOT_USED(CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
    NOT_USED(PutInstance(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**))
    NOT_USED(PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*))
    NOT_USED(DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult**))
    NOT_USED(DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
    NOT_USED(CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
    NOT_USED(ExecQuery(const BSTR, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**))
    NOT_USED(ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*))
    NOT_USED(ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                        IWbemObjectSink*))
    NOT_USED(ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                             IWbemObjectSink*))
};

class Locator final : public Counted<IWbemLocator> {
public:
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user,
                                            const BSTR password, const BSTR locale, LONG flags,
                                            const BSTR authority, IWbemContext* context,
                                            IWbemServices** services) override {
        const bool plain = !user && !password && !locale && !flags && !authority && !context;
        fake.log.push_back("ConnectServer " + text(resource) + (plain ? "" : " ?arguments"));
        if (FAILED(fake.connectResult)) return fake.connectResult;
        *services = new Services;
        return S_OK;
    }
};

HRESULT createLocator(IWbemLocator** locator) {
    *locator = new Locator;
    return S_OK;
}

HRESULT WINAPI setProxyBlanket(IUnknown*, DWORD authn, DWORD authz, OLECHAR* principal, DWORD level,
                               DWORD impersonation, RPC_AUTH_IDENTITY_HANDLE identity,
                               DWORD capabilities) {
    fake.log.push_back("CoSetProxyBlanket " + std::to_string(authn) + " " + std::to_string(authz) +
                       " " + std::to_string(level) + " " + std::to_string(impersonation) + " " +
                       std::to_string(capabilities) + (principal || identity ? " ?" : ""));
    return S_OK;
}

}  // namespace

void reset() {
    for (auto& step : fake.events) VariantClear(&step.brightness);
    fake = {};
}

platform::win32::WmiCalls calls() {
    return {createLocator, setProxyBlanket};
}

}  // namespace fake_wmi
