/* orvanta-standin.exe: reads and sets the stand-in driver's state through its side door, for
 * tests and for a person at a Wine console. Run without arguments for its usage. */
#include <windows.h>

#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "standin.h"

#define CODE_WORD(name, function, word) word,
static const char *const codeNames[ORVANTA_CODE_COUNT] = {ORVANTA_CONTROL_CODES(CODE_WORD)};
#undef CODE_WORD

static const char usage[] =
    "usage: orvanta-standin report\n"
    "       orvanta-standin state N [REASON]\n"
    "       orvanta-standin fail none | NAME...   (get-status clear-statistics set-options\n"
    "                                             get-options get-cache-table set-cache-table\n"
    "                                             query-volume)\n"
    "       orvanta-standin stall none | NAME...  (never answered until the caller ends)\n"
    "       orvanta-standin table-status 0|1|auto\n"
    "       orvanta-standin volume LETTER DISKID RATING\n"
    "       orvanta-standin forget\n"
    "       orvanta-standin memory BYTES\n";

static int usage_error(const char *message, const char *argument) {
    fprintf(stderr, "orvanta-standin: %s%s%s\n%s", message, argument ? ": " : "",
            argument ? argument : "", usage);
    return 2;
}

static int win32_error(const char *what) {
    const DWORD error = GetLastError();
    char text[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                  error, 0, text, sizeof text, NULL);

    while (length &&
           (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.'))
        text[--length] = '\0';
    fprintf(stderr, "orvanta-standin: %s: Win32 error %lu%s%s\n", what, (unsigned long)error,
            length ? ", " : "", text);
    return 1;
}

/* Decimal or 0x hexadecimal, the whole argument, within 32 bits; a sign only where allowed. */
static int parse_number(const char *text, int isSigned, unsigned int *value) {
    const char *digits = text + (isSigned && *text == '-');
    const int hex = digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    char *end;

    /* strtoll would also take leading blanks, a '+' and octal. */
    if (*digits < '0' || *digits > '9')
        return 0;
    errno = 0;
    const long long number = strtoll(text, &end, hex ? 16 : 10);
    if (errno || *end || number > (isSigned ? INT32_MAX : (long long)UINT32_MAX) ||
        number < (isSigned ? INT32_MIN : 0))
        return 0;
    *value = (unsigned int)number;
    return 1;
}

static void print_hex(const char *label, const unsigned char *bytes, size_t size) {
    size_t i;

    printf("%s ", label);
    for (i = 0; i < size; i++)
        printf("%02x", bytes[i]);
    printf("\n");
}

static uint64_t u64_at(const unsigned char *bytes) {
    uint64_t value;

    memcpy(&value, bytes, sizeof value);
    return value;
}

static void print_report(const struct standin_report *report) {
    int i;

    printf("state %u\nfailsafe-reason %d\nfailing 0x%x\n", report->state, report->failsafeReason,
           report->failing);
    if (report->tableStatus == STANDIN_AUTO)
        printf("table-status auto\n");
    else
        printf("table-status %u\n", report->tableStatus);
    printf("requests");
    for (i = 0; i < ORVANTA_CODE_COUNT; i++)
        printf(" %s=%u", codeNames[i], report->requests[i]);
    printf("\nrefused %u\n", report->refused);
    print_hex("status", report->status, sizeof report->status);
    printf("total-requests %" PRIu64 "\ntotal-bytes %" PRIu64 "\nelapsed-ms %" PRIu64 "\n",
           u64_at(report->status + 16), u64_at(report->status + 24), u64_at(report->status + 32));
    print_hex("options", report->options, sizeof report->options);
    printf("option-sets %u\n", report->optionSets);
    print_hex("last-options", report->lastOptions, sizeof report->lastOptions);
    printf("table-sets %u\n", report->tableSets);
    print_hex("last-table", report->lastTable, sizeof report->lastTable);
    print_hex("held-table", report->heldTable, sizeof report->heldTable);
}

/* Fills the command from the arguments after the command's name; 0 for a usage error. */
static int parse_command(int argc, char **argv, struct standin_command *command) {
    const char *name = argv[0];
    int i, code;

    if (!strcmp(name, "report") && argc == 1) {
        command->kind = STANDIN_REPORT;
    } else if (!strcmp(name, "forget") && argc == 1) {
        command->kind = STANDIN_FORGET;
    } else if (!strcmp(name, "state") && (argc == 2 || argc == 3)) {
        command->kind = STANDIN_SET_STATE;
        return parse_number(argv[1], 0, &command->a) &&
               (argc == 2 || parse_number(argv[2], 1, &command->b));
    } else if (!strcmp(name, "memory") && argc == 2) {
        command->kind = STANDIN_SET_MEMORY;
        return parse_number(argv[1], 0, &command->a);
    } else if (!strcmp(name, "table-status") && argc == 2) {
        command->kind = STANDIN_SET_TABLE_STATUS;
        command->a = !strcmp(argv[1], "auto") ? STANDIN_AUTO : !strcmp(argv[1], "1") ? 1u : 0u;
        return !strcmp(argv[1], "auto") || !strcmp(argv[1], "0") || !strcmp(argv[1], "1");
    } else if ((!strcmp(name, "fail") || !strcmp(name, "stall")) && argc >= 2) {
        command->kind = name[0] == 'f' ? STANDIN_SET_FAILING : STANDIN_SET_STALLING;
        if (argc == 2 && !strcmp(argv[1], "none"))
            return 1;
        for (i = 1; i < argc; i++) {
            for (code = 0; code < ORVANTA_CODE_COUNT && strcmp(argv[i], codeNames[code]); code++)
                ;
            if (code == ORVANTA_CODE_COUNT)
                return 0;
            command->a |= 1u << code;
        }
    } else if (!strcmp(name, "volume") && argc == 4) {
        const char *letter = argv[1];
        command->kind = STANDIN_ADD_VOLUME;
        command->a = (unsigned char)letter[0] & ~0x20u;
        if (command->a < 'A' || command->a > 'Z' || (letter[1] && strcmp(letter + 1, ":")))
            return 0;
        return parse_number(argv[2], 0, &command->b) && parse_number(argv[3], 0, &command->c);
    } else {
        return 0;
    }
    return 1;
}

int main(int argc, char **argv) {
    static struct standin_report report;
    struct standin_command command = {0};
    HANDLE device;
    DWORD returned = 0;
    BOOL ok;

    if (argc < 2)
        return usage_error("no command", NULL);
    if (!parse_command(argc - 1, argv + 1, &command))
        return usage_error("bad command or argument", argv[1]);

    device = CreateFileW(L"\\\\.\\OrvantaStandIn", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_EXISTING, 0, NULL);
    if (device == INVALID_HANDLE_VALUE)
        return win32_error("cannot open \\\\.\\OrvantaStandIn (is the driver started?)");
    ok = DeviceIoControl(device, IOCTL_STANDIN_CONTROL, &command, sizeof command,
                         command.kind == STANDIN_REPORT ? &report : NULL,
                         command.kind == STANDIN_REPORT ? sizeof report : 0, &returned, NULL);
    if (!ok) {
        win32_error("the request failed");
        CloseHandle(device);
        return 1;
    }
    CloseHandle(device);
    if (command.kind == STANDIN_REPORT) {
        if (returned != sizeof report) {
            fprintf(stderr, "orvanta-standin: the report has %lu bytes, not %u\n",
                    (unsigned long)returned, (unsigned)sizeof report);
            return 1;
        }
        print_report(&report);
    }
    return 0;
}
