// pixbrk-headless: the game run from a touch script, without a window or a sound device.
#include "headless/cli.h"

int main(int argc, char** argv) { return headless_main(argc, argv); }
