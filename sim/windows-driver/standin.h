/* The Windows form of the simulated driver: what the kernel-mode stand-in and its console tool
 * agree on. The stand-in answers the monitor's seven control codes on \\.\PhysicalDrive0 and
 * the volume query on the bare names of the drives it is given; tests talk to it through a
 * device of its own, \\.\OrvantaStandIn, so what they ask is never counted as the monitor's. */
#ifndef ORVANTA_STANDIN_H
#define ORVANTA_STANDIN_H

#include "core/wire.h"

#define STANDIN_DEVICE L"\\Device\\OrvantaStandIn"
#define STANDIN_LINK L"\\??\\OrvantaStandIn"
#define STANDIN_DISK_DEVICE L"\\Device\\OrvantaStandInDisk"
#define STANDIN_DISK_LINK L"\\??\\PhysicalDrive0"

/* The monitor's codes and records are the core's (core/wire.h); a code's index in its list is
 * its index in the report's counts. */
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
    unsigned int requests[ORVANTA_CODE_COUNT];       /* received per code, refused ones included */
    unsigned int refused;                            /* requests answered with a failure */
    unsigned int optionSets;                         /* IOCTL_SET_OPTIONS requests taken */
    unsigned int tableSets;                          /* IOCTL_SET_CACHE_TABLE requests taken */
    unsigned char status[ORVANTA_STATUS_SIZE];       /* the status answer at this moment */
    unsigned char options[ORVANTA_OPTIONS_SIZE];     /* the options held */
    unsigned char lastOptions[ORVANTA_OPTIONS_SIZE]; /* the last options received, as sent */
    unsigned char lastTable[ORVANTA_CACHE_TABLE_SIZE]; /* the last table received, as sent */
    unsigned char heldTable[ORVANTA_CACHE_TABLE_SIZE]; /* what IOCTL_GET_CACHE_TABLE answers now */
};

#endif
