#pragma once

// The road from a device handle to its transport, and the boundary that every
// exported call runs through: no exception reaches the host, and a call that
// needs the printer gets its failure value when there is none.

#include "transport/communication.h"

// The one road from a device handle to its transport: null for a null handle
// or when the printer object cannot connect. May open the connection.
Communication* GetCommPtr(void* handle);

namespace kesto {

// Runs body() and returns its result; `failure` when it throws.
template <typename Result, typename Body>
Result Guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// The boundary of an exported call that needs the printer: body(comm) with
// the handle's transport, or `failure` for a null handle, a printer that
// cannot connect, or an exception.
template <typename Body>
int WithPrinter(void* handle, Body&& body, int failure = -1) noexcept {
    return Guarded(failure, [&] {
        Communication* comm = GetCommPtr(handle);
        return comm != nullptr ? body(*comm) : failure;
    });
}

}  // namespace kesto
