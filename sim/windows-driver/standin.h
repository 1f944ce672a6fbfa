/* The Windows form of the simulated driver: what the kernel-mode stand-in and its console tool
 * agree on. The stand-in answers the monitor's seven control codes on \\.\PhysicalDrive0 and
 * the volume query on the bare names of the drives it is given; tests talk to it through a
 * device of its own, \\.\OrvantaStandIn, so what they ask is never counted as the monitor's. */
#ifndef ORVANTA_STANDIN_H
#define ORVANTA_STANDIN_H

#define STANDIN_DEVICE L"\\Device\\OrvantaStandIn"
#define STANDIN_LINK L"\\??\\OrvantaStandIn"
#define STANDIN_DISK_DEVICE L"\\Device\\OrvantaStandInDisk"
#define STANDIN_DISK_LINK L"\\??\\PhysicalDrive0"

/* The monitor's codes: device type 7 (disk), METHOD_BUFFERED, FILE_ANY_ACCESS, functions 0xA83
 * to 0xA89; (code - STANDIN_FIRST_CODE) / 4 is the code's index in the report's counts. */
#define STANDIN_FIRST_CODE 0x72A0Cu
#define STANDIN_CODE_COUNT 7
#define STANDIN_CODE(index) (STANDIN_FIRST_CODE + 4u * (index))
enum {
    STANDIN_GET_STATUS = 0,
    STANDIN_CLEAR_STATISTICS,
    STANDIN_SET_OPTIONS,
    STANDIN_GET_OPTIONS,
    STANDIN_GET_CACHE_TABLE,
    STANDIN_SET_CACHE_TABLE,
    STANDIN_QUERY_VOLUME
};

#define STANDIN_STATUS_SIZE 40
#define STANDIN_OPTIONS_SIZE 16
#define STANDIN_VOLUME_SIZE 8
#define STANDIN_TABLE_SIZE 2296
#define STANDIN_ENTRY_SIZE 88
#define STANDIN_ENTRY_COUNT 26
#define STANDIN_MAX_VOLUMES 24

/* The side door's one code: FILE_DEVICE_UNKNOWN (0x22), function 0x900, METHOD_BUFFERED,
 * FILE_ANY_ACCESS. Input: a standin_command; output: a standin_report for STANDIN_REPORT,
 * nothing for the others. */
#define IOCTL_STANDIN_CONTROL ((0x22u << 16) | (0x900u << 2))

enum standin_command_kind {
    STANDIN_REPORT = 0,           /* what the stand-in holds and what it was last sent */
    STANDIN_SET_STATE = 1,        /* a = the state the status answer carries, b = failsafe reason */
    STANDIN_SET_FAILING = 2,      /* a = bit (1 << index) for each code whose requests fail */
    STANDIN_SET_TABLE_STATUS = 3, /* a = 0 or 1, the answer to every new layout; or STANDIN_AUTO */
    STANDIN_ADD_VOLUME = 4,       /* a = drive letter ('D' to 'Z'), b = diskId, c = rating */
    STANDIN_FORGET = 5,           /* counts and last-sent records back to zero */
    STANDIN_SET_MEMORY = 6,       /* a = memoryUsed in bytes */
    STANDIN_SET_STALLING = 7      /* a = bit (1 << index) for each code whose requests are kept
                                     unanswered until cancelled; 0 lets go of those kept */
};
#define STANDIN_AUTO 0xFFFFFFFFu

struct standin_command {
    unsigned int kind;
    unsigned int a, b, c;
};

struct standin_report {
    unsigned int state;
    int failsafeReason;
    unsigned int failing;
    unsigned int tableStatus;                        /* 0, 1 or STANDIN_AUTO */
    unsigned int requests[STANDIN_CODE_COUNT];       /* received per code, refused ones included */
    unsigned int refused;                            /* requests answered with a failure */
    unsigned int optionSets;                         /* IOCTL_SET_OPTIONS requests taken */
    unsigned int tableSets;                          /* IOCTL_SET_CACHE_TABLE requests taken */
    unsigned char status[STANDIN_STATUS_SIZE];       /* the status answer at this moment */
    unsigned char options[STANDIN_OPTIONS_SIZE];     /* the options held */
    unsigned char lastOptions[STANDIN_OPTIONS_SIZE]; /* the last options received, as sent */
    unsigned char lastTable[STANDIN_TABLE_SIZE];     /* the last table received, as sent */
    unsigned char heldTable[STANDIN_TABLE_SIZE];     /* what IOCTL_GET_CACHE_TABLE answers now */
};

#endif
