#pragma once

inline constexpr const char* kInstanceMutexName = "VESKOSD MediaButtons Mutex";

class CVESKOSDApp {
public:
    // Runs the program once per session; false in every case, so the process ends afterwards.
    bool InitInstance();
};
