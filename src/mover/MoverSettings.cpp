#include "mover/MoverSettings.h"
