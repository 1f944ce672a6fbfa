#include "gui/startup.h"

int main(int argc, char **argv) {
    return orvanta::runMonitor(argc, argv);
}
