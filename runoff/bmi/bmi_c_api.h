// How a program that loads the model as a shared library (librunoff_bmi.so) makes and ends an
// instance of its Basic Model Interface, without knowing its class:
//
//   void* lib = dlopen("librunoff_bmi.so", RTLD_NOW);
//   auto create = (runoff::Bmi* (*)())dlsym(lib, "runoff_bmi_create");
//   auto destroy = (void (*)(runoff::Bmi*))dlsym(lib, "runoff_bmi_destroy");
//   runoff::Bmi* model = create();
//   model->initialize("run.cfg"); ... model->finalize();
//   destroy(model);
//
// The symbols have C linkage, so their names are exactly these.
#ifndef RUNOFF_BMI_BMI_C_API_H_
#define RUNOFF_BMI_BMI_C_API_H_

#include "runoff/bmi/bmi.h"

extern "C" {

/// A new, uninitialized model; null only when memory runs out.
runoff::Bmi* runoff_bmi_create();

/// Ends a model made by runoff_bmi_create (a null pointer is ignored).
void runoff_bmi_destroy(runoff::Bmi* model);
}

#endif  // RUNOFF_BMI_BMI_C_API_H_
