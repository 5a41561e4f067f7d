#include "mover/TreeQuickCompare.h"
