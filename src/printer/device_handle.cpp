#include "printer/device_handle.h"

#include "printer/printer.h"

Communication* GetCommPtr(void* handle) {
    if (handle == nullptr) return nullptr;
    Printer* printer = static_cast<Printer*>(handle);
    if (!printer->isConnected() && !printer->Connect()) return nullptr;
    return printer->getComm();
}
