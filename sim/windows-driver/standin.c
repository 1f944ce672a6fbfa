/* orvanta-standin.sys: plays the Orvanta driver where the real one cannot run, such as under
 * Wine. It answers the monitor's codes on \\.\PhysicalDrive0 and the volume query on the drives
 * it is given, by the rules of the simulated driver (docs/simulated-machine.md), and takes its
 * orders through a device of its own (standin.h). */
#include <ntifs.h>

#include "sim/demo.h"
#include "sim/tabletaking.h"
#include "standin.h"

/* Requests kept unanswered at once; one more is refused. */
#define STANDIN_MAX_KEPT 8

/* The extension of a volume device. */
struct volume {
    WCHAR letter;
    ULONG query[2]; /* diskId and rating, as IOCTL_QUERY_VOLUME answers them */
};

/* The side door's extension holds everything, so the 2296-byte tables never go on the stack
 * (a frame over 4 KB would need __chkstk, which a driver linked without the C runtime lacks). */
struct standin {
    /* Not a fast mutex: the cache files are written while it is held, at PASSIVE_LEVEL. */
    KMUTEX lock;
    PDEVICE_OBJECT door, disk;
    PDEVICE_OBJECT volumes[STANDIN_MAX_VOLUMES];
    ULONG volumeCount;
    ULONG memoryUsed;
    LONGLONG statisticsSince;    /* system time, 100-ns units */
    ULONG stalling;              /* bit (1 << index): that code's requests are kept unanswered */
    PIRP kept[STANDIN_MAX_KEPT]; /* guarded by the I/O manager's cancel spin lock */
    /* Kept in the form the report hands over; its status is filled in when asked for. */
    struct standin_report rep;
    struct orvanta_cache_table received, next;
};

static struct standin *standin;

/* The header's KeQuerySystemTime reads the shared user data page, which Wine does not map in
 * the driver's host; the exported function works, but no import library of mingw-w64 has it. */
static VOID(NTAPI *query_system_time)(PLARGE_INTEGER);

static LONGLONG now(void) {
    LARGE_INTEGER time;
    query_system_time(&time);
    return time.QuadPart;
}

static ULONG64 saturating_add(ULONG64 a, ULONG64 b) {
    return a + b < a ? ~0ull : a + b;
}

static struct volume *volume_at(const struct standin *s, ULONG index) {
    return s->volumes[index]->DeviceExtension;
}

/* A steady workload since the statistics started: the demo machine's. */
static void status_now(const struct standin *s, UCHAR *out) {
    const LONGLONG ticks = now() - s->statisticsSince;
    const ULONG64 ms = ticks > 0 ? (ULONG64)ticks / 10000 : 0;
    struct orvanta_status_record record = {0};

    record.state = s->rep.state;
    record.failsafeReason = s->rep.failsafeReason;
    record.memoryUsed = s->memoryUsed;
    record.totalRequests = ms * ORVANTA_DEMO_REQUESTS_PER_SECOND / 1000;
    record.totalBytes = ms * (ORVANTA_DEMO_BYTES_PER_SECOND / 1000);
    record.elapsedMs = ms;
    RtlCopyMemory(out, &record, sizeof record);
}

/* Opens the root of a drive (number 0) or its cache file orvn#NNN.io. Below a drive letter Wine
 * goes straight to the folder the letter maps to, so this never comes back to our own device. */
static NTSTATUS open_on(WCHAR letter, ULONG number, ACCESS_MASK access, ULONG disposition,
                        ULONG options, HANDLE *handle) {
    WCHAR name[] = L"\\??\\X:\\orvn#000.io";
    UNICODE_STRING string = {number ? sizeof name - sizeof(WCHAR) : 7 * sizeof(WCHAR), sizeof name,
                             name};
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;

    name[4] = letter;
    name[12] = (WCHAR)(L'0' + number / 100);
    name[13] = (WCHAR)(L'0' + number / 10 % 10);
    name[14] = (WCHAR)(L'0' + number % 10);
    InitializeObjectAttributes(&attributes, &string, OBJ_KERNEL_HANDLE | OBJ_CASE_INSENSITIVE, NULL,
                               NULL);
    return ZwCreateFile(handle, access | SYNCHRONIZE, &attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, disposition,
                        options | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
}

/* What the caller may still take on a drive, as GetDiskFreeSpaceExW would answer. */
static BOOLEAN free_bytes(WCHAR letter, ULONG64 *bytes) {
    FILE_FS_FULL_SIZE_INFORMATION info;
    IO_STATUS_BLOCK io;
    HANDLE handle;

    if (!NT_SUCCESS(
            open_on(letter, 0, FILE_READ_ATTRIBUTES, FILE_OPEN, FILE_DIRECTORY_FILE, &handle)))
        return FALSE;
    const NTSTATUS status =
        ZwQueryVolumeInformationFile(handle, &io, &info, sizeof info, FileFsFullSizeInformation);
    ZwClose(handle);
    if (!NT_SUCCESS(status) || info.CallerAvailableAllocationUnits.QuadPart < 0)
        return FALSE;
    const ULONG64 unit = (ULONG64)info.SectorsPerAllocationUnit * info.BytesPerSector;
    const ULONG64 units = (ULONG64)info.CallerAvailableAllocationUnits.QuadPart;
    *bytes = unit && units > ~0ull / unit ? ~0ull : units * unit;
    return TRUE;
}

static ULONG64 cache_files_size(WCHAR letter) {
    ULONG64 total = 0;

    for (ULONG number = 1; number <= ORVANTA_CACHE_ENTRY_COUNT; number++) {
        FILE_STANDARD_INFORMATION info;
        IO_STATUS_BLOCK io;
        HANDLE handle;

        if (!NT_SUCCESS(open_on(letter, number, FILE_READ_ATTRIBUTES, FILE_OPEN,
                                FILE_NON_DIRECTORY_FILE, &handle)))
            continue;
        if (NT_SUCCESS(
                ZwQueryInformationFile(handle, &io, &info, sizeof info, FileStandardInformation)) &&
            info.EndOfFile.QuadPart > 0)
            total = saturating_add(total, (ULONG64)info.EndOfFile.QuadPart);
        ZwClose(handle);
    }
    return total;
}

/* Setting the end of file leaves the file sparse where the file system allows it. */
static NTSTATUS write_cache_file(WCHAR letter, ULONG number, LONGLONG size) {
    FILE_END_OF_FILE_INFORMATION end;
    IO_STATUS_BLOCK io;
    HANDLE handle;

    NTSTATUS status =
        open_on(letter, number, FILE_WRITE_DATA, FILE_OPEN_IF, FILE_NON_DIRECTORY_FILE, &handle);
    if (!NT_SUCCESS(status))
        return status;
    end.EndOfFile.QuadPart = size;
    status = ZwSetInformationFile(handle, &io, &end, sizeof end, FileEndOfFileInformation);
    ZwClose(handle);
    return status;
}

static void delete_cache_file(WCHAR letter, ULONG number) {
    FILE_DISPOSITION_INFORMATION disposition = {TRUE};
    IO_STATUS_BLOCK io;
    HANDLE handle;

    if (!NT_SUCCESS(open_on(letter, number, DELETE, FILE_OPEN, FILE_NON_DIRECTORY_FILE, &handle)))
        return;
    ZwSetInformationFile(handle, &io, &disposition, sizeof disposition, FileDispositionInformation);
    ZwClose(handle);
}

static LONG find_volume(const struct standin *s, ULONG letter) {
    for (ULONG index = 0; index < s->volumeCount; index++)
        if (volume_at(s, index)->letter == letter)
            return (LONG)index;
    return -1;
}

/* The given volume whose root the entry's path names exactly, "v:\" as "V:\"; -1 for none. */
static LONG volume_of(const struct standin *s, const struct orvanta_cache_entry *entry) {
    const char letter = orvanta_entry_letter(entry);
    return letter ? find_volume(s, (ULONG)letter) : -1;
}

/* What each letter's volume can take: its free bytes and our own cache files, as their space
 * would be reused; nothing where the free space cannot be asked. */
static void room_by_letter(const struct standin *s, ULONG64 room[ORVANTA_DRIVE_LETTERS]) {
    RtlZeroMemory(room, ORVANTA_DRIVE_LETTERS * sizeof *room);
    for (ULONG index = 0; index < s->volumeCount; index++) {
        const WCHAR letter = volume_at(s, index)->letter;
        ULONG64 bytes;
        room[letter - 'A'] =
            free_bytes(letter, &bytes) ? saturating_add(bytes, cache_files_size(letter)) : 0;
    }
}

/* The new files first: when one cannot be written, nothing has been taken away. */
static NTSTATUS place_cache_files(struct standin *s, ULONG count) {
    for (ULONG index = 0; index < count; index++) {
        const LONG volume = volume_of(s, &s->next.entries[index]);
        if (volume < 0)
            continue;
        const NTSTATUS status = write_cache_file(volume_at(s, (ULONG)volume)->letter, index + 1,
                                                 s->next.entries[index].sizeBytes);
        if (!NT_SUCCESS(status))
            return status;
    }
    for (ULONG index = 0; index < s->volumeCount; index++)
        for (ULONG number = 1; number <= ORVANTA_CACHE_ENTRY_COUNT; number++)
            if (number > count || volume_of(s, &s->next.entries[number - 1]) != (LONG)index)
                delete_cache_file(volume_at(s, index)->letter, number);
    return STATUS_SUCCESS;
}

/* A new layout, received in s->received, taken by the simulated driver's rule; *verdict is the
 * status the answer carries. */
static NTSTATUS take_table(struct standin *s, ULONG *verdict) {
    const int automatic = s->rep.tableStatus == STANDIN_AUTO;
    ULONG64 room[ORVANTA_DRIVE_LETTERS];
    int allFit;

    room_by_letter(s, room);
    const ULONG count = orvanta_keep_entries(&s->received, room, automatic, &s->next, &allFit);
    *verdict = automatic ? (ULONG)allFit : s->rep.tableStatus;
    const NTSTATUS status = place_cache_files(s, count);
    if (!NT_SUCCESS(status))
        return status;
    RtlCopyMemory(s->rep.heldTable, &s->next, sizeof s->next);
    return STATUS_SUCCESS;
}

/* The answer goes into the same buffer: all of the input is taken first. */
static NTSTATUS set_table(struct standin *s, UCHAR *buffer) {
    RtlCopyMemory(&s->received, buffer, ORVANTA_CACHE_TABLE_SIZE);
    RtlCopyMemory(s->rep.lastTable, buffer, ORVANTA_CACHE_TABLE_SIZE);
    s->rep.tableSets++;
    ULONG verdict;
    const NTSTATUS status = take_table(s, &verdict);
    if (!NT_SUCCESS(status))
        return status;
    s->received.status = verdict;
    RtlCopyMemory(buffer, &s->received, ORVANTA_CACHE_TABLE_SIZE);
    return STATUS_SUCCESS;
}

static void complete(PIRP irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

/* Called with the cancel spin lock held, when the caller ends or gives up on the request. */
static VOID NTAPI cancel_kept(PDEVICE_OBJECT device, PIRP irp) {
    UNREFERENCED_PARAMETER(device);
    for (ULONG at = 0; at < STANDIN_MAX_KEPT; at++)
        if (standin->kept[at] == irp)
            standin->kept[at] = NULL;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    complete(irp, STATUS_CANCELLED);
}

/* A request left unanswered, as by a driver stuck on a disk that never answers: the caller's
 * DeviceIoControl waits until its process ends (which cancels it), "stall none" or the stand-in's
 * stop. STATUS_PENDING when kept. */
static NTSTATUS keep(struct standin *s, PIRP irp) {
    NTSTATUS status = STATUS_DEVICE_BUSY;
    KIRQL irql;

    IoAcquireCancelSpinLock(&irql);
    for (ULONG at = 0; at < STANDIN_MAX_KEPT && !irp->Cancel; at++) {
        if (!s->kept[at]) {
            s->kept[at] = irp;
            IoMarkIrpPending(irp);
            IoSetCancelRoutine(irp, cancel_kept);
            status = STATUS_PENDING;
            break;
        }
    }
    IoReleaseCancelSpinLock(irql);
    return status;
}

/* Fails every kept request. A request in the list has not been handed to cancel_kept: that
 * takes it out under the same lock. */
static void let_go(struct standin *s) {
    for (ULONG at = 0; at < STANDIN_MAX_KEPT; at++) {
        KIRQL irql;
        IoAcquireCancelSpinLock(&irql);
        PIRP irp = s->kept[at];
        s->kept[at] = NULL;
        if (irp)
            IoSetCancelRoutine(irp, NULL);
        IoReleaseCancelSpinLock(irql);
        if (irp)
            complete(irp, STATUS_CANCELLED);
    }
}

/* The answer to a request of an accepted kind, whose buffers have the sizes it needs. */
static NTSTATUS answer_code(struct standin *s, PDEVICE_OBJECT device, ULONG index, UCHAR *buffer) {
    switch (index) {
    case ORVANTA_INDEX_GET_STATUS:
        status_now(s, buffer);
        break;
    case ORVANTA_INDEX_CLEAR_STATISTICS:
        s->statisticsSince = now();
        break;
    case ORVANTA_INDEX_SET_OPTIONS:
        RtlCopyMemory(s->rep.options, buffer, ORVANTA_OPTIONS_SIZE);
        RtlCopyMemory(s->rep.lastOptions, buffer, ORVANTA_OPTIONS_SIZE);
        s->rep.optionSets++;
        break;
    case ORVANTA_INDEX_GET_OPTIONS:
        RtlCopyMemory(buffer, s->rep.options, ORVANTA_OPTIONS_SIZE);
        break;
    case ORVANTA_INDEX_GET_CACHE_TABLE:
        RtlCopyMemory(buffer, s->rep.heldTable, ORVANTA_CACHE_TABLE_SIZE);
        break;
    case ORVANTA_INDEX_SET_CACHE_TABLE:
        return set_table(s, buffer);
    case ORVANTA_INDEX_QUERY_VOLUME:
        RtlCopyMemory(buffer, ((struct volume *)device->DeviceExtension)->query,
                      ORVANTA_VOLUME_QUERY_SIZE);
        break;
    }
    return STATUS_SUCCESS;
}

/* A request to PhysicalDrive0 or a volume device, counted whatever becomes of it; STATUS_PENDING
 * for one to keep unanswered. */
static NTSTATUS answer(struct standin *s, PDEVICE_OBJECT device, ULONG code, UCHAR *buffer,
                       ULONG inSize, ULONG outSize, ULONG_PTR *written) {
    static const ULONG in[ORVANTA_CODE_COUNT] = {
        0, 0, ORVANTA_OPTIONS_SIZE, 0, 0, ORVANTA_CACHE_TABLE_SIZE, 0};
    static const ULONG out[ORVANTA_CODE_COUNT] = {ORVANTA_STATUS_SIZE,
                                                  0,
                                                  0,
                                                  ORVANTA_OPTIONS_SIZE,
                                                  ORVANTA_CACHE_TABLE_SIZE,
                                                  ORVANTA_CACHE_TABLE_SIZE,
                                                  ORVANTA_VOLUME_QUERY_SIZE};
    const ULONG index = (code - ORVANTA_FIRST_CODE) / 4;

    if (code < ORVANTA_FIRST_CODE || code % 4 || index >= ORVANTA_CODE_COUNT)
        return STATUS_INVALID_DEVICE_REQUEST;
    s->rep.requests[index]++;
    if ((index == ORVANTA_INDEX_QUERY_VOLUME) != (device != s->disk))
        return STATUS_INVALID_DEVICE_REQUEST;
    if (s->rep.failing & (1u << index))
        return STATUS_UNSUCCESSFUL;
    if (s->stalling & (1u << index))
        return STATUS_PENDING;
    /* Exact input sizes catch a caller that swapped its input and output buffers. */
    if (inSize != in[index])
        return STATUS_INVALID_PARAMETER;
    if (outSize < out[index])
        return STATUS_BUFFER_TOO_SMALL;
    const NTSTATUS status = answer_code(s, device, index, buffer);
    if (NT_SUCCESS(status))
        *written = out[index];
    return status;
}

/* Wine already has links such as \??\PhysicalDrive0 and \??\V:, and IoCreateSymbolicLink does
 * not replace a link: the old one is made temporary, so that closing it removes it. */
static NTSTATUS take_link(PUNICODE_STRING link, PUNICODE_STRING target) {
    OBJECT_ATTRIBUTES attributes;
    HANDLE handle;

    InitializeObjectAttributes(&attributes, link, OBJ_KERNEL_HANDLE | OBJ_CASE_INSENSITIVE, NULL,
                               NULL);
    if (NT_SUCCESS(ZwOpenSymbolicLinkObject(&handle, DELETE, &attributes))) {
        ZwMakeTemporaryObject(handle);
        ZwClose(handle);
    }
    return IoCreateSymbolicLink(link, target);
}

static void volume_link(WCHAR letter, WCHAR name[7], UNICODE_STRING *string) {
    RtlCopyMemory(name, L"\\??\\X:", 7 * sizeof(WCHAR));
    name[4] = letter;
    RtlInitUnicodeString(string, name);
}

/* Adding a letter again only changes its answer to the volume query. */
static NTSTATUS add_volume(struct standin *s, ULONG letter, ULONG diskId, ULONG rating) {
    LONG index = find_volume(s, letter);

    if (index < 0) {
        WCHAR deviceName[] = L"\\Device\\OrvantaStandInVolumeX", linkName[7];
        UNICODE_STRING deviceString, linkString;
        PDEVICE_OBJECT device;

        /* C: stays Wine's: the prefix itself lives there. */
        if (letter < 'D' || letter > 'Z')
            return STATUS_INVALID_PARAMETER;
        if (s->volumeCount == STANDIN_MAX_VOLUMES)
            return STATUS_INSUFFICIENT_RESOURCES;
        deviceName[sizeof deviceName / sizeof(WCHAR) - 2] = (WCHAR)letter;
        RtlInitUnicodeString(&deviceString, deviceName);
        volume_link((WCHAR)letter, linkName, &linkString);
        NTSTATUS status = IoCreateDevice(s->door->DriverObject, sizeof(struct volume),
                                         &deviceString, FILE_DEVICE_DISK, 0, FALSE, &device);
        if (!NT_SUCCESS(status))
            return status;
        ((struct volume *)device->DeviceExtension)->letter = (WCHAR)letter;
        status = take_link(&linkString, &deviceString);
        if (!NT_SUCCESS(status)) {
            IoDeleteDevice(device);
            return status;
        }
        /* Only devices made in DriverEntry are made ready for us. */
        device->Flags &= ~DO_DEVICE_INITIALIZING;
        index = (LONG)s->volumeCount++;
        s->volumes[index] = device;
    }
    volume_at(s, (ULONG)index)->query[0] = diskId;
    volume_at(s, (ULONG)index)->query[1] = rating;
    return STATUS_SUCCESS;
}

/* A request on the side door: never counted, never seen by the monitor. */
static NTSTATUS obey(struct standin *s, ULONG code, UCHAR *buffer, ULONG inSize, ULONG outSize,
                     ULONG_PTR *written) {
    struct standin_command command;

    if (code != IOCTL_STANDIN_CONTROL)
        return STATUS_INVALID_DEVICE_REQUEST;
    if (inSize != sizeof command)
        return STATUS_INVALID_PARAMETER;
    RtlCopyMemory(&command, buffer, sizeof command);
    switch (command.kind) {
    case STANDIN_REPORT:
        if (outSize < sizeof s->rep)
            return STATUS_BUFFER_TOO_SMALL;
        status_now(s, s->rep.status);
        RtlCopyMemory(buffer, &s->rep, sizeof s->rep);
        *written = sizeof s->rep;
        return STATUS_SUCCESS;
    case STANDIN_SET_STATE:
        s->rep.state = command.a;
        s->rep.failsafeReason = (int)command.b;
        return STATUS_SUCCESS;
    case STANDIN_SET_FAILING:
        if (command.a >> ORVANTA_CODE_COUNT)
            return STATUS_INVALID_PARAMETER;
        s->rep.failing = command.a;
        return STATUS_SUCCESS;
    case STANDIN_SET_TABLE_STATUS:
        if (command.a > 1 && command.a != STANDIN_AUTO)
            return STATUS_INVALID_PARAMETER;
        s->rep.tableStatus = command.a;
        return STATUS_SUCCESS;
    case STANDIN_ADD_VOLUME:
        return add_volume(s, command.a, command.b, command.c);
    case STANDIN_FORGET:
        RtlZeroMemory(s->rep.requests, sizeof s->rep.requests);
        s->rep.refused = s->rep.optionSets = s->rep.tableSets = 0;
        RtlZeroMemory(s->rep.lastOptions, sizeof s->rep.lastOptions);
        RtlZeroMemory(s->rep.lastTable, sizeof s->rep.lastTable);
        return STATUS_SUCCESS;
    case STANDIN_SET_MEMORY:
        s->memoryUsed = command.a;
        return STATUS_SUCCESS;
    case STANDIN_SET_STALLING:
        if (command.a >> ORVANTA_CODE_COUNT)
            return STATUS_INVALID_PARAMETER;
        s->stalling = command.a;
        if (!command.a)
            let_go(s);
        return STATUS_SUCCESS;
    default:
        return STATUS_INVALID_PARAMETER;
    }
}

/* Wine's GetVolumeInformationW asks the device of the bare drive name for the label and the
 * file system; GetDriveTypeW and the free space come from the folder the letter maps to. */
static NTSTATUS describe_volume(PIO_STACK_LOCATION stack, void *buffer, ULONG_PTR *written) {
    static const WCHAR name[] = L"NTFS";
    FILE_FS_ATTRIBUTE_INFORMATION *attributes = buffer;
    ULONG size;

    switch (stack->Parameters.QueryVolume.FsInformationClass) {
    case FileFsVolumeInformation: /* no label */
        size = FIELD_OFFSET(FILE_FS_VOLUME_INFORMATION, VolumeLabel);
        if (stack->Parameters.QueryVolume.Length < size)
            return STATUS_BUFFER_TOO_SMALL;
        RtlZeroMemory(buffer, size);
        break;
    case FileFsAttributeInformation:
        size = FIELD_OFFSET(FILE_FS_ATTRIBUTE_INFORMATION, FileSystemName) + sizeof name -
               sizeof(WCHAR);
        if (stack->Parameters.QueryVolume.Length < size)
            return STATUS_BUFFER_TOO_SMALL;
        attributes->FileSystemAttributes = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES |
                                           FILE_UNICODE_ON_DISK | FILE_PERSISTENT_ACLS |
                                           FILE_SUPPORTS_SPARSE_FILES;
        attributes->MaximumComponentNameLength = 255;
        attributes->FileSystemNameLength = sizeof name - sizeof(WCHAR);
        RtlCopyMemory(attributes->FileSystemName, name, sizeof name - sizeof(WCHAR));
        break;
    default:
        return STATUS_INVALID_PARAMETER;
    }
    *written = size;
    return STATUS_SUCCESS;
}

static NTSTATUS NTAPI dispatch(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    struct standin *s = standin;
    void *buffer = irp->AssociatedIrp.SystemBuffer;
    ULONG_PTR written = 0;
    NTSTATUS status = STATUS_SUCCESS;

    switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
    case IRP_MJ_CLEANUP:
    case IRP_MJ_CLOSE:
        break;
    case IRP_MJ_QUERY_VOLUME_INFORMATION:
        if (device == s->door || device == s->disk)
            status = STATUS_INVALID_DEVICE_REQUEST;
        else
            status = describe_volume(stack, buffer, &written);
        break;
    case IRP_MJ_DEVICE_CONTROL:
        KeWaitForSingleObject(&s->lock, Executive, KernelMode, FALSE, NULL);
        if (device == s->door) {
            status = obey(s, stack->Parameters.DeviceIoControl.IoControlCode, buffer,
                          stack->Parameters.DeviceIoControl.InputBufferLength,
                          stack->Parameters.DeviceIoControl.OutputBufferLength, &written);
        } else {
            status = answer(s, device, stack->Parameters.DeviceIoControl.IoControlCode, buffer,
                            stack->Parameters.DeviceIoControl.InputBufferLength,
                            stack->Parameters.DeviceIoControl.OutputBufferLength, &written);
            if (status == STATUS_PENDING)
                status = keep(s, irp);
            if (!NT_SUCCESS(status))
                s->rep.refused++;
        }
        KeReleaseMutex(&s->lock, FALSE);
        if (status == STATUS_PENDING)
            return status;
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
    }
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? written : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* Also undoes a DriverEntry that failed half-way. The names the stand-in took over are gone
 * afterwards: the next start creates them afresh. */
static VOID NTAPI unload(PDRIVER_OBJECT driver) {
    struct standin *s = standin;
    UNICODE_STRING doorLink = RTL_CONSTANT_STRING(STANDIN_LINK);
    UNICODE_STRING diskLink = RTL_CONSTANT_STRING(STANDIN_DISK_LINK);
    UNICODE_STRING linkString;
    WCHAR linkName[7];

    UNREFERENCED_PARAMETER(driver);
    let_go(s);
    for (ULONG index = 0; index < s->volumeCount; index++) {
        volume_link(volume_at(s, index)->letter, linkName, &linkString);
        IoDeleteSymbolicLink(&linkString);
        IoDeleteDevice(s->volumes[index]);
    }
    if (s->disk) {
        IoDeleteSymbolicLink(&diskLink);
        IoDeleteDevice(s->disk);
    }
    IoDeleteSymbolicLink(&doorLink);
    IoDeleteDevice(s->door);
    standin = NULL;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING routine = RTL_CONSTANT_STRING(L"KeQuerySystemTime");
    UNICODE_STRING doorName = RTL_CONSTANT_STRING(STANDIN_DEVICE);
    UNICODE_STRING doorLink = RTL_CONSTANT_STRING(STANDIN_LINK);
    UNICODE_STRING diskName = RTL_CONSTANT_STRING(STANDIN_DISK_DEVICE);
    UNICODE_STRING diskLink = RTL_CONSTANT_STRING(STANDIN_DISK_LINK);
    PDEVICE_OBJECT door, disk;

    UNREFERENCED_PARAMETER(registryPath);
    query_system_time = (VOID(NTAPI *)(PLARGE_INTEGER))MmGetSystemRoutineAddress(&routine);
    if (!query_system_time)
        return STATUS_PROCEDURE_NOT_FOUND;
    NTSTATUS status =
        IoCreateDevice(driver, sizeof *standin, &doorName, FILE_DEVICE_UNKNOWN, 0, FALSE, &door);
    if (!NT_SUCCESS(status))
        return status;
    struct standin *s = standin = door->DeviceExtension;
    RtlZeroMemory(s, sizeof *s);
    KeInitializeMutex(&s->lock, 0);
    s->door = door;
    s->memoryUsed = ORVANTA_DEMO_MEMORY_USED;
    s->statisticsSince = now();
    s->rep.state = ORVANTA_RUNNING;
    s->rep.tableStatus = STANDIN_AUTO;
    s->rep.options[0] = 1; /* the prefetcher on, the rest off */

    status = take_link(&doorLink, &doorName);
    if (NT_SUCCESS(status))
        status = IoCreateDevice(driver, 0, &diskName, FILE_DEVICE_DISK, 0, FALSE, &disk);
    if (NT_SUCCESS(status)) {
        s->disk = disk;
        status = take_link(&diskLink, &diskName);
    }
    if (!NT_SUCCESS(status)) {
        unload(driver);
        return status;
    }
    /* Every other request is refused by dispatch. */
    for (ULONG major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; major++)
        driver->MajorFunction[major] = dispatch;
    driver->DriverUnload = unload;
    return STATUS_SUCCESS;
}
