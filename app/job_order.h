// One job at a time per printer, in the order they came (see job_order.cpp).
#pragma once

#include <pappl/pappl.h>

#include <mutex>

namespace kzapp {

// Held while a job of the printer is started and printed; again by the
// thread that holds it.  tryPrinterTurn: not held when another thread has it.
std::unique_lock<std::recursive_mutex> printerTurn(pappl_printer_t* printer);
std::unique_lock<std::recursive_mutex> tryPrinterTurn(pappl_printer_t* printer);
// The job a job thread of `printer` prints in its turn: the oldest still
// waiting, or nullptr.
pappl_job_t* oldestWaiting(pappl_printer_t* printer);

}  // namespace kzapp
