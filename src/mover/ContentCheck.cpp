#include "mover/ContentCheck.h"
