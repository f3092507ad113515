#include "support/system_probe.h"

SystemFigures systemFigures;
