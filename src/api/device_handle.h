#pragma once

#include "transport/communication.h"

// The one road from a device handle to its transport: null for a null handle
// or when the printer object cannot connect. May open the connection.
Communication* GetCommPtr(void* handle);
