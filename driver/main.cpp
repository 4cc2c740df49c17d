#include "driver/driver.h"

int main(int argc, char** argv) {
  return egib::run_converter(argc, argv);
}
