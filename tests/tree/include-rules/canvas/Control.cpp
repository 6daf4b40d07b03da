// A toolkit control that includes product code: the check must name it.
#include "plugin/Lumenfall.h"
