#pragma once

#include "Doubles.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>

// Helpers shared by the fuzz targets. A broken expectation aborts, which
// libFuzzer records as a crash together with the input that caused it.

#define FUZZ_CHECK(condition)                                                                        \
    do {                                                                                             \
        if (!(condition)) {                                                                          \
            std::fprintf(stderr, "%s:%d: expectation failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                            \
        }                                                                                            \
    } while (false)

namespace tellvane::fuzz {

// The list, the logger and the status panel post their flushes to the event
// loop; one application for the whole run lets them, and processEvents() after
// every input keeps those posts from piling up.
inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "tellvane_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

using test::ErrorCollector;

}  // namespace tellvane::fuzz
