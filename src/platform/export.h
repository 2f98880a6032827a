#pragma once

// The shared library is built with -fvisibility=hidden: only names marked
// KESTO_API are exported. The public header defines the same mark for hosts.
#ifndef KESTO_API
#define KESTO_API __attribute__((visibility("default")))
#endif
