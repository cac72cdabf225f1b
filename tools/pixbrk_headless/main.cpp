// pixbrk-headless: the game run from a touch script, without a window or a sound device.
#include "headless/headless.h"
#include "pixbrk_version.h"

int main(int argc, char** argv) {
  if (pixbrk_answer_version(argc, argv, "pixbrk-headless")) return 0;
  return headless_main(argc, argv);
}
