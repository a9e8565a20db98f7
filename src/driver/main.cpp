// slipvel: slip-velocity function of a fault point, its histories, spectra
// and five-triangle time windows, from four answers on the console.
#include "driver/driver.h"
#include "records/run.h"

int main(int argc, char** argv) {
  start_run(argc, argv);
  run_driver();  // ends the process itself
}
