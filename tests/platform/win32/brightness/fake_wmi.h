// A stand-in for WMI's objects: a locator, its namespace, class objects and enumerations that
// log each call as one line and count the objects still referenced.
#pragma once

#include <wbemcli.h>
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/win32/brightness/wmi_calls.h"

namespace fake_wmi {

// What an event enumeration's Next gives, in turn.
struct Step {
    HRESULT result = WBEM_S_NO_ERROR;
    std::wstring className;  // no object where empty
    VARIANT brightness{};
};

struct System {
    HRESULT connectResult = S_OK;
    HRESULT getObjectResult = S_OK;
    HRESULT enumResult = S_OK;
    int instances = 1;
    HRESULT putResult = S_OK;
    HRESULT execResult = S_OK;
    HRESULT queryResult = S_OK;
    std::deque<Step> events;
    std::vector<std::string> log;
    int live = 0;
};

extern System fake;
void reset();
platform::win32::WmiCalls calls();

}  // namespace fake_wmi
