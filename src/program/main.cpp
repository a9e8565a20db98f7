// slipvel: slip-velocity function of a fault point, its histories, spectra
// and five-triangle time windows, from four answers on the console.
#include "program/driver.h"
#include "records/run.h"

int main() {
  start_run();
  run_driver();  // ends the process itself
}
