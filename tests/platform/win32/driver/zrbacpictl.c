/* The tests' handle on the test firmware driver:
 *   zrbacpictl model N         "MBID" answers N from now on
 *   zrbacpictl notify CODE...  raises the codes in order, "MORV EVENT" being set once for all
 *   zrbacpictl methods         prints the methods called, oldest first, one a line
 *   zrbacpictl listening       prints 1 once a program has handed the driver its event, else 0
 * It waits up to 20 s for the device to appear, so that it can follow the driver's start. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zrbacpi.h"

static HANDLE openDevice(void) {
    for (int i = 0; i < 200; ++i) {
        HANDLE h = CreateFileW(L"\\\\.\\ZRBACPI", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
        if (h != INVALID_HANDLE_VALUE) return h;
        Sleep(100);
    }
    fprintf(stderr, "zrbacpictl: \\\\.\\ZRBACPI: error %lu\n", GetLastError());
    return INVALID_HANDLE_VALUE;
}

static int call(HANDLE h, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                DWORD* returned) {
    if (DeviceIoControl(h, code, in, inLength, out, outLength, returned, NULL)) return 1;
    fprintf(stderr, "zrbacpictl: control code 0x%lX: error %lu\n", code, GetLastError());
    return 0;
}

static int number(const char* text, DWORD* value) {
    char* end = NULL;
    const unsigned long v = strtoul(text, &end, 0);
    if (!*text || *end) {
        fprintf(stderr, "zrbacpictl: not a number: %s\n", text);
        return 0;
    }
    *value = (DWORD)v;
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: zrbacpictl model N | notify CODE... | methods | listening\n");
        return 2;
    }
    DWORD values[ZRB_PENDING_MAX];
    const int withValues = !strcmp(argv[1], "model") || !strcmp(argv[1], "notify");
    const int count = argc - 2;
    if (withValues) {
        if (count < 1 || count > (int)ZRB_PENDING_MAX ||
            (!strcmp(argv[1], "model") && count != 1)) {
            fprintf(stderr, "zrbacpictl: model takes one number, notify one code or more\n");
            return 2;
        }
        for (int i = 0; i < count; ++i) {
            if (!number(argv[2 + i], &values[i])) return 2;
        }
    }
    HANDLE h = openDevice();
    if (h == INVALID_HANDLE_VALUE) return 1;
    DWORD returned = 0;
    int ok = 0;
    if (!strcmp(argv[1], "model")) {
        ok = call(h, ZRB_IOCTL_TEST_SET_MODEL, &values[0], 4, NULL, 0, &returned);
    } else if (!strcmp(argv[1], "notify")) {
        ok = call(h, ZRB_IOCTL_TEST_NOTIFY, values, 4 * (DWORD)count, NULL, 0, &returned);
    } else if (!strcmp(argv[1], "methods")) {
        unsigned char log[4 + 4 * ZRB_METHOD_LOG];
        ok = call(h, ZRB_IOCTL_TEST_METHODS, NULL, 0, log, sizeof log, &returned);
        for (DWORD at = 4; ok && at + 4 <= returned; at += 4) printf("%.4s\n", (char*)log + at);
    } else if (!strcmp(argv[1], "listening")) {
        ok = call(h, ZRB_IOCTL_TEST_LISTENING, NULL, 0, &values[0], 4, &returned);
        if (ok) printf("%lu\n", values[0]);
    } else {
        fprintf(stderr, "zrbacpictl: unknown verb %s\n", argv[1]);
        CloseHandle(h);
        return 2;
    }
    CloseHandle(h);
    return ok ? 0 : 1;
}
