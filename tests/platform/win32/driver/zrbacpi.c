/* A stand-in for the machine's firmware control driver, for the tests: the device \\.\ZRBACPI
 * answers the program's control codes like the firmware would (a model number, eleven levels,
 * the step and panel methods), keeps a log of the methods called, and raises notify codes
 * through "MORV EVENT" when a test asks it to. */
#include <ntifs.h>

#include "zrbacpi.h"

#define REPLY_SIGNATURE 0x426F6F42u
#define REPLY_HEADER 16u
#define INTEGER_RESULT 0u
#define BUFFER_RESULT 2u
#define METHOD_REQUEST 20u

static const UCHAR levels[] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};

/* The program creates the event under its own session; a driver sees the sessions' folders. */
static const WCHAR* const eventNames[] = {
    L"\\Sessions\\1\\BaseNamedObjects\\MORV EVENT",
    L"\\BaseNamedObjects\\MORV EVENT",
};

static KSPIN_LOCK lock;
static ULONG model = 1;
static ULONG pending[ZRB_PENDING_MAX];
static ULONG pendingFirst, pendingCount;
static ULONG methodLog[ZRB_METHOD_LOG];
static ULONG methodsCalled;
static HANDLE notifyEvent;
static PDEVICE_OBJECT device;

static UNICODE_STRING deviceName = RTL_CONSTANT_STRING(L"\\Device\\ZRBACPI");
static UNICODE_STRING linkName = RTL_CONSTANT_STRING(L"\\DosDevices\\ZRBACPI");

static ULONG readLe32(const UCHAR* p) {
    return (ULONG)p[0] | ((ULONG)p[1] << 8) | ((ULONG)p[2] << 16) | ((ULONG)p[3] << 24);
}

static void writeLe32(UCHAR* p, ULONG v) {
    p[0] = (UCHAR)v;
    p[1] = (UCHAR)(v >> 8);
    p[2] = (UCHAR)(v >> 16);
    p[3] = (UCHAR)(v >> 24);
}

static void writeLe16(UCHAR* p, USHORT v) {
    p[0] = (UCHAR)v;
    p[1] = (UCHAR)(v >> 8);
}

static void setNotifyEvent(void) {
    if (notifyEvent) ZwSetEvent(notifyEvent, NULL);
}

/* The value of the registration call is a handle of the caller's process, which this driver,
 * living in a process of its own, cannot use: it opens the event by its name instead. */
static NTSTATUS openNotifyEvent(void) {
    HANDLE opened = NULL;
    NTSTATUS status = STATUS_OBJECT_NAME_NOT_FOUND;
    for (ULONG i = 0; i < sizeof eventNames / sizeof eventNames[0] && !opened; ++i) {
        UNICODE_STRING name;
        OBJECT_ATTRIBUTES attributes;
        RtlInitUnicodeString(&name, eventNames[i]);
        InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                                   NULL, NULL);
        status = ZwOpenEvent(&opened, EVENT_MODIFY_STATE, &attributes);
        if (!NT_SUCCESS(status)) opened = NULL;
    }
    if (!opened) return status;
    if (notifyEvent) ZwClose(notifyEvent);
    notifyEvent = opened;
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    const BOOLEAN waiting = pendingCount != 0;
    KeReleaseSpinLock(&lock, irql);
    /* Codes raised before anyone listened are told at once. */
    if (waiting) setNotifyEvent();
    return STATUS_SUCCESS;
}

/* One result in the layout of an ACPI method's output: header words, then type, data length
 * and as much of the data as fits. */
static NTSTATUS reply(UCHAR* out, ULONG outLength, USHORT type, const UCHAR* data, ULONG dataLength,
                      ULONG_PTR* returned) {
    if (outLength < REPLY_HEADER) return STATUS_BUFFER_TOO_SMALL;
    const ULONG fits = min(dataLength, outLength - REPLY_HEADER);
    writeLe32(out, REPLY_SIGNATURE);
    writeLe32(out + 4, REPLY_HEADER + dataLength);
    writeLe32(out + 8, 1);
    writeLe16(out + 12, type);
    writeLe16(out + 14, (USHORT)dataLength);
    RtlCopyMemory(out + REPLY_HEADER, data, fits);
    *returned = REPLY_HEADER + fits;
    return STATUS_SUCCESS;
}

static BOOLEAN isMethod(const UCHAR* name, const char* wanted) {
    return RtlCompareMemory(name, wanted, 4) == 4;
}

static NTSTATUS callMethod(UCHAR* buffer, ULONG inLength, ULONG outLength, ULONG_PTR* returned) {
    if (inLength != METHOD_REQUEST) return STATUS_INVALID_PARAMETER;
    UCHAR name[4];
    RtlCopyMemory(name, buffer + 4, 4);
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    methodLog[methodsCalled % ZRB_METHOD_LOG] = readLe32(name);
    ++methodsCalled;
    const ULONG answer = model;
    KeReleaseSpinLock(&lock, irql);

    UCHAR data[2 + sizeof levels];
    if (isMethod(name, "MBID")) {
        writeLe32(data, answer);
        return reply(buffer, outLength, INTEGER_RESULT, data, 4, returned);
    }
    if (isMethod(name, "QZLV")) {
        /* Two leading bytes that are not levels, then the levels. */
        data[0] = data[1] = 0;
        RtlCopyMemory(data + 2, levels, sizeof levels);
        return reply(buffer, outLength, BUFFER_RESULT, data, sizeof data, returned);
    }
    if (isMethod(name, "MXBR") || isMethod(name, "DEBR") || isMethod(name, "INBR") ||
        isMethod(name, "TLCD")) {
        writeLe32(data, 0);
        return reply(buffer, outLength, INTEGER_RESULT, data, 4, returned);
    }
    return STATUS_INVALID_PARAMETER;
}

static NTSTATUS takeNotifyCode(UCHAR* out, ULONG outLength, ULONG_PTR* returned) {
    if (outLength < 4) return STATUS_BUFFER_TOO_SMALL;
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    if (pendingCount == 0) {
        KeReleaseSpinLock(&lock, irql);
        return STATUS_NO_MORE_ENTRIES;
    }
    writeLe32(out, pending[pendingFirst]);
    pendingFirst = (pendingFirst + 1) % ZRB_PENDING_MAX;
    const BOOLEAN more = --pendingCount != 0;
    KeReleaseSpinLock(&lock, irql);
    /* One signal of the auto-reset event may stand for several codes. */
    if (more) setNotifyEvent();
    *returned = 4;
    return STATUS_SUCCESS;
}

/* Queues the codes, dropping the oldest beyond the queue's length, and sets the event once. */
static NTSTATUS raiseNotifyCodes(const UCHAR* codes, ULONG length) {
    if (length == 0 || length % 4 != 0 || length > 4 * ZRB_PENDING_MAX) {
        return STATUS_INVALID_PARAMETER;
    }
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    for (ULONG at = 0; at < length; at += 4) {
        if (pendingCount == ZRB_PENDING_MAX) {
            pendingFirst = (pendingFirst + 1) % ZRB_PENDING_MAX;
            --pendingCount;
        }
        pending[(pendingFirst + pendingCount) % ZRB_PENDING_MAX] = readLe32(codes + at);
        ++pendingCount;
    }
    KeReleaseSpinLock(&lock, irql);
    setNotifyEvent();
    return STATUS_SUCCESS;
}

static NTSTATUS readMethodLog(UCHAR* out, ULONG outLength, ULONG_PTR* returned) {
    if (outLength < 4) return STATUS_BUFFER_TOO_SMALL;
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    const ULONG called = methodsCalled;
    ULONG kept = min(called, ZRB_METHOD_LOG);
    kept = min(kept, (outLength - 4) / 4);
    writeLe32(out, called);
    UCHAR* at = out + 4;
    for (ULONG i = 0; i < kept; ++i, at += 4) {
        writeLe32(at, methodLog[(called - kept + i) % ZRB_METHOD_LOG]);
    }
    KeReleaseSpinLock(&lock, irql);
    *returned = 4 + 4 * kept;
    return STATUS_SUCCESS;
}

static NTSTATUS control(ULONG code, UCHAR* buffer, ULONG inLength, ULONG outLength,
                        ULONG_PTR* returned) {
    *returned = 0;
    switch (code) {
        case ZRB_IOCTL_INIT:
            return STATUS_SUCCESS;
        case ZRB_IOCTL_REGISTER_EVENT:
            if (inLength != 4) return STATUS_INVALID_PARAMETER;
            return openNotifyEvent();
        case ZRB_IOCTL_CALL_METHOD:
            return callMethod(buffer, inLength, outLength, returned);
        case ZRB_IOCTL_GET_NOTIFY_CODE:
            return takeNotifyCode(buffer, outLength, returned);
        case ZRB_IOCTL_TEST_SET_MODEL: {
            if (inLength != 4) return STATUS_INVALID_PARAMETER;
            KIRQL irql;
            KeAcquireSpinLock(&lock, &irql);
            model = readLe32(buffer);
            KeReleaseSpinLock(&lock, irql);
            return STATUS_SUCCESS;
        }
        case ZRB_IOCTL_TEST_NOTIFY:
            return raiseNotifyCodes(buffer, inLength);
        case ZRB_IOCTL_TEST_METHODS:
            return readMethodLog(buffer, outLength, returned);
        case ZRB_IOCTL_TEST_LISTENING:
            if (outLength < 4) return STATUS_BUFFER_TOO_SMALL;
            writeLe32(buffer, notifyEvent != NULL);
            *returned = 4;
            return STATUS_SUCCESS;
        default:
            return STATUS_INVALID_DEVICE_REQUEST;
    }
}

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? information : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS dispatchOpenClose(PDEVICE_OBJECT object, PIRP irp) {
    UNREFERENCED_PARAMETER(object);
    return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS dispatchControl(PDEVICE_OBJECT object, PIRP irp) {
    UNREFERENCED_PARAMETER(object);
    const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG_PTR returned = 0;
    const NTSTATUS status = control(
        stack->Parameters.DeviceIoControl.IoControlCode, (UCHAR*)irp->AssociatedIrp.SystemBuffer,
        stack->Parameters.DeviceIoControl.InputBufferLength,
        stack->Parameters.DeviceIoControl.OutputBufferLength, &returned);
    return complete(irp, status, returned);
}

static void unload(PDRIVER_OBJECT driver) {
    UNREFERENCED_PARAMETER(driver);
    if (notifyEvent) ZwClose(notifyEvent);
    notifyEvent = NULL;
    IoDeleteSymbolicLink(&linkName);
    if (device) IoDeleteDevice(device);
    device = NULL;
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNREFERENCED_PARAMETER(registryPath);
    KeInitializeSpinLock(&lock);
    NTSTATUS status =
        IoCreateDevice(driver, 0, &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) return status;
    status = IoCreateSymbolicLink(&linkName, &deviceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        device = NULL;
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = dispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatchOpenClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchControl;
    driver->DriverUnload = unload;
    return STATUS_SUCCESS;
}
