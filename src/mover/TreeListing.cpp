#include "mover/TreeListing.h"
