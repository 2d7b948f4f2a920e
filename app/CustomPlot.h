#pragma once

// QCustomPlot's header is written with Qt's keyword macros ("signals", "foreach"), which this project
// switches off because its acquisition arrays are called signals. Every file that needs QCustomPlot's classes
// includes it through here: the keywords exist only while the header is read.
#if defined(signals) || defined(slots) || defined(emit) || defined(foreach)
#include <qcustomplot.h>
#else
#define signals Q_SIGNALS
#define slots Q_SLOTS
#define emit Q_EMIT
#define foreach Q_FOREACH
#include <qcustomplot.h>
#undef signals
#undef slots
#undef emit
#undef foreach
#endif
