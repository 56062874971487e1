#include "runoff/bmi/bmi_c_api.h"

#include <new>

#include "runoff/bmi/runoff_bmi.h"

extern "C" {

runoff::Bmi* runoff_bmi_create() { return new (std::nothrow) runoff::RunoffBmi(); }

void runoff_bmi_destroy(runoff::Bmi* model) { delete model; }
}
