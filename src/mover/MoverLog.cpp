#include "mover/MoverLog.h"
