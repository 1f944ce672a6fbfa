/* The demo machine's driver, in C as well as C++: the simulated machine's demo, the kernel-mode
 * stand-in and the benchmarks all show this steady workload and this memory. Plain numbers, so
 * they can also be spelled into machine.json's text. */
#ifndef ORVANTA_DEMO_H
#define ORVANTA_DEMO_H

#define ORVANTA_DEMO_REQUESTS_PER_SECOND 900
#define ORVANTA_DEMO_BYTES_PER_SECOND 40000000
#define ORVANTA_DEMO_MEMORY_USED 52428800

#define ORVANTA_DEMO_TEXT_OF(number) #number
#define ORVANTA_DEMO_TEXT(number) ORVANTA_DEMO_TEXT_OF(number)

#endif
