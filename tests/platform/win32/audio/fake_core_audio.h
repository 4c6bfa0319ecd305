// A stand-in for the system behind the Core Audio calls: results to give, and what was done.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/audio/core_audio_calls.h"

namespace fakeaudio {

struct Endpoint {
    HRESULT item = S_OK;
    HRESULT store = S_OK;
    HRESULT value = S_OK;
    VARTYPE vt = VT_UI4;
    ULONG formFactor = 1;
};

struct System {
    HRESULT initialize = S_OK, create = S_OK, defaultEndpoint = S_OK, enumerate = S_OK,
            count = S_OK, activate = S_OK;
    HRESULT getLevel = S_OK, setLevel = S_OK, getMute = S_OK, setMute = S_OK;
    float level = 0.5f;  // kept only when a set succeeds
    BOOL muted = FALSE;
    std::vector<Endpoint> endpoints;
    int initialized = 0;           // initialisations not yet undone
    std::vector<std::string> log;  // releases and uninitialisations, in order
};

using namespace platform::win32::coreaudio;

class FakeVolume final : public Volume {
public:
    explicit FakeVolume(System& s) : s_(s) {}
    ~FakeVolume() override { s_.log.push_back("release volume"); }
    HRESULT getMasterVolumeLevelScalar(float* level) override {
        if (SUCCEEDED(s_.getLevel)) *level = s_.level;
        return s_.getLevel;
    }
    HRESULT setMasterVolumeLevelScalar(float level) override {
        s_.log.push_back("set " + std::to_string(level));
        if (SUCCEEDED(s_.setLevel)) s_.level = level;
        return s_.setLevel;
    }
    HRESULT getMute(BOOL* muted) override {
        if (SUCCEEDED(s_.getMute)) *muted = s_.muted;
        return s_.getMute;
    }
    HRESULT setMute(BOOL muted) override {
        if (SUCCEEDED(s_.setMute)) s_.muted = muted;
        return s_.setMute;
    }

private:
    System& s_;
};

class FakeStore final : public PropertyStore {
public:
    explicit FakeStore(const Endpoint& e) : e_(e) {}
    HRESULT getFormFactor(PROPVARIANT* value) override {
        if (SUCCEEDED(e_.value)) {
            value->vt = e_.vt;
            value->ulVal = e_.formFactor;
        }
        return e_.value;
    }

private:
    Endpoint e_;
};

class FakeDevice final : public Device {
public:
    FakeDevice(System& s, Endpoint e) : s_(s), e_(e) {}
    ~FakeDevice() override { s_.log.push_back("release device"); }
    HRESULT openPropertyStore(std::unique_ptr<PropertyStore>& store) override {
        if (SUCCEEDED(e_.store)) store = std::make_unique<FakeStore>(e_);
        return e_.store;
    }
    HRESULT activateEndpointVolume(std::unique_ptr<Volume>& volume) override {
        if (SUCCEEDED(s_.activate)) volume = std::make_unique<FakeVolume>(s_);
        return s_.activate;
    }

private:
    System& s_;
    Endpoint e_;
};

class FakeCollection final : public Collection {
public:
    explicit FakeCollection(System& s) : s_(s) {}
    HRESULT getCount(UINT* count) override {
        if (SUCCEEDED(s_.count)) *count = static_cast<UINT>(s_.endpoints.size());
        return s_.count;
    }
    HRESULT item(UINT index, std::unique_ptr<Device>& device) override {
        const Endpoint& e = s_.endpoints.at(index);
        if (SUCCEEDED(e.item)) device = std::make_unique<FakeDevice>(s_, e);
        return e.item;
    }

private:
    System& s_;
};

class FakeEnumerator final : public Enumerator {
public:
    explicit FakeEnumerator(System& s) : s_(s) {}
    ~FakeEnumerator() override { s_.log.push_back("release enumerator"); }
    HRESULT defaultRenderEndpoint(std::unique_ptr<Device>& device) override {
        if (SUCCEEDED(s_.defaultEndpoint)) device = std::make_unique<FakeDevice>(s_, Endpoint{});
        return s_.defaultEndpoint;
    }
    HRESULT activeEndpoints(std::unique_ptr<Collection>& collection) override {
        if (SUCCEEDED(s_.enumerate)) collection = std::make_unique<FakeCollection>(s_);
        return s_.enumerate;
    }

private:
    System& s_;
};

class FakeCalls final : public Calls {
public:
    explicit FakeCalls(System& s) : s_(s) {}
    HRESULT initialize() override {
        if (SUCCEEDED(s_.initialize)) ++s_.initialized;
        return s_.initialize;
    }
    void uninitialize() override {
        --s_.initialized;
        s_.log.push_back("uninitialize");
    }
    HRESULT createEnumerator(std::unique_ptr<Enumerator>& enumerator) override {
        if (SUCCEEDED(s_.create)) enumerator = std::make_unique<FakeEnumerator>(s_);
        return s_.create;
    }

private:
    System& s_;
};

}  // namespace fakeaudio
