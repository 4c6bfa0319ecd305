// Where WMI is entered, replaceable for the tests: Wine's WMI finds no brightness object and
// crashes the process in ExecMethod, so the tests give the adapter a locator of their own.
#pragma once

#include <wbemcli.h>
#include <windows.h>

namespace platform::win32 {

HRESULT createWbemLocator(IWbemLocator** locator);

struct WmiCalls {
    decltype(&createWbemLocator) createLocator = createWbemLocator;
    decltype(&CoSetProxyBlanket) setProxyBlanket = CoSetProxyBlanket;
};

}  // namespace platform::win32
