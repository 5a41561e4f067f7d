#include "mover/TreeHasher.h"
